#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

#include "base/Expected.h"

namespace wrenly {

// One program per user session. The first instance listens on a private local socket; a later
// launch asks it to bring its window forward and exits.
class SingleInstance {
 public:
  // The launch was handed to the instance already running.
  struct HandedOver {};

  // Needs the Qt application. For the first instance, `onShow` runs on the GUI thread at every
  // later launch.
  static Expected<std::unique_ptr<SingleInstance>, HandedOver> claim(std::function<void()> onShow);

  // $XDG_RUNTIME_DIR/wrenly/instance.sock (beside the sign-in callback socket).
  static QString socketPath();

 private:
  SingleInstance() = default;

  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

}  // namespace wrenly
