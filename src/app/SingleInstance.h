#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

namespace wrenly {

// One program per user session. The first instance listens on a private local socket; a later
// launch asks it to bring its window forward and exits.
class SingleInstance {
 public:
  enum class Outcome { first, handedOver };

  // Needs the Qt application. On `first`, `onShow` runs on the GUI thread at every later launch.
  static Outcome claim(std::unique_ptr<SingleInstance>& instance, std::function<void()> onShow);

  // $XDG_RUNTIME_DIR/wrenly/instance.sock (beside the sign-in callback socket).
  static QString socketPath();

 private:
  SingleInstance() = default;

  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

}  // namespace wrenly
