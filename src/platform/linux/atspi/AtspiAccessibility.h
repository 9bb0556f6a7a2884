#pragma once

#include <atomic>
#include <map>
#include <memory>

#include "platform/Accessibility.h"
#include "platform/linux/atspi/AtspiHomeThread.h"
#include "platform/linux/atspi/GObjectRef.h"

typedef struct _AtspiAccessible AtspiAccessible;
typedef struct _AtspiEvent AtspiEvent;
typedef struct _AtspiEventListener AtspiEventListener;
typedef struct _GDBusConnection GDBusConnection;

namespace wrenly {

// Other applications' text fields through the accessibility bus (AT-SPI). An application in
// the background reports no focused element there, so the last element each application
// focused is remembered from the bus's focus events; a search of the application's tree is the
// fall-back, begun in the background when a window of a toolkit that hides its focus from quick
// searches (GTK 4) becomes active, so the first capture there finds the field too.
class AtspiAccessibility final : public Accessibility {
 public:
  // Whether keys can be watched and sent (XInput2 and XTEST present); trust needs both.
  enum class KeyAccess { available, missing };

  explicit AtspiAccessibility(KeyAccess keyAccess);
  ~AtspiAccessibility() override;
  AtspiAccessibility(const AtspiAccessibility&) = delete;
  AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

  bool isTrusted() const override;
  void requestTrust() override;
  ElementHandle focusedElement(int32_t processID, Timeout timeout) override;
  int prepareApplication(int32_t processID, Timeout timeout) override;

  // The one thread libatspi may run on, for the other adapters of the bus.
  std::shared_ptr<AtspiHomeThread> homeThread() const { return home_; }

 private:
  // Everything below is touched on the home thread only.
  struct HomeState;
  static void focusChanged(AtspiEvent* event, void* state);
  static void activeChanged(AtspiEvent* event, void* state);
  static void busStatusChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                               GVariant* parameters, void* state);

  KeyAccess keyAccess_;
  std::shared_ptr<AtspiHomeThread> home_;
  std::shared_ptr<std::atomic<bool>> busEnabled_ = std::make_shared<std::atomic<bool>>(false);
  std::unique_ptr<HomeState> state_;
};

}  // namespace wrenly
