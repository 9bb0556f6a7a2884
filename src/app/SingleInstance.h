#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

#include "base/Expected.h"

namespace wrenly {

// What a launch asks of the program already running.
enum class LaunchRequest {
  show,    // bring the window forward
  toggle,  // start or stop a dictation, as a tap of the trigger key would (`wrenly --toggle`, for
           // a desktop's own shortcut where keys cannot be watched)
};

// One program per user session. The first instance listens on a private local socket; a later
// launch hands it its request and exits.
class SingleInstance {
 public:
  // The launch was handed to the instance already running.
  struct HandedOver {};
  using OnRequest = std::function<void(LaunchRequest)>;

  // Needs the Qt application. For the first instance, `onRequest` runs on the GUI thread at every
  // later launch; `request` is this launch's own, handed over when an instance runs already.
  static Expected<std::unique_ptr<SingleInstance>, HandedOver> claim(LaunchRequest request,
                                                                     OnRequest onRequest);

  // $XDG_RUNTIME_DIR/wrenly/instance.sock (beside the sign-in callback socket).
  static QString socketPath();

 private:
  SingleInstance() = default;

  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

}  // namespace wrenly
