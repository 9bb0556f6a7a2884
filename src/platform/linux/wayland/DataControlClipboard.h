#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Clipboard.h"

struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace wrenly {

class WaylandConnection;

// The clipboard through the compositor's data-control extension (wlroots-based compositors and
// KWin offer it), which sets it without a focused window or a prior input event. The connection's
// thread serves the text to readers until another program takes the clipboard. Any thread may
// write.
class DataControlClipboard final : public Clipboard {
 public:
  // None when the compositor does not offer data control. Borrows `connection`, which must
  // outlive the adapter; call before the connection starts dispatching.
  static std::unique_ptr<DataControlClipboard> open(WaylandConnection& connection);
  ~DataControlClipboard() override;

  // True only when reading the clipboard back gives `text`.
  bool writeString(const std::string& text) override;

 private:
  explicit DataControlClipboard(WaylandConnection& connection) : connection_(connection) {}
  std::optional<std::string> readSelection(std::unique_lock<std::mutex>& lock);

  static void dataOffer(void* self, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*);
  static void selection(void* self, zwlr_data_control_device_v1*,
                        zwlr_data_control_offer_v1* offer);
  static void finished(void* self, zwlr_data_control_device_v1*);
  static void primarySelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
  static void send(void* self, zwlr_data_control_source_v1* source, const char* mimeType, int fd);
  static void cancelled(void* self, zwlr_data_control_source_v1* source);

  WaylandConnection& connection_;
  zwlr_data_control_device_v1* device_ = nullptr;
  std::mutex mutex_;  // the connection's thread and the writers share what follows
  std::condition_variable selectionChanged_;
  zwlr_data_control_offer_v1* selection_ = nullptr;              // what the clipboard holds now
  uint64_t selections_ = 0;                                      // how many times it changed
  std::map<zwlr_data_control_source_v1*, std::string> sources_;  // ours still being served
};

}  // namespace wrenly
