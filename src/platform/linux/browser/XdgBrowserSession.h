#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/BrowserSession.h"

namespace wrenly {

// Sign-in through the user's default browser. xdg-open is given a private page (0600, next to
// the socket, removed when the session ends) that sends the browser on to the sign-in address,
// so the address and its state appear in no process's arguments. The browser hands the callback
// URL to our scheme handler (wrenly-auth-callback, registered by a .desktop file), which forwards
// it over a private local socket to the session waiting here.
class XdgBrowserSession final : public BrowserSession {
 public:
  // Asks the desktop to show the page in the file `path`; false when it could not even be asked.
  using Opener = std::function<bool(const std::string& path)>;

  XdgBrowserSession(asio::any_io_executor executor, std::filesystem::path socketPath,
                    Opener opener = openWithXdgOpen);

  asio::awaitable<std::string> authenticate(std::string url, std::string callbackScheme) override;

  // $XDG_RUNTIME_DIR/wrenly/auth.sock, or a per-user folder under /tmp without a runtime dir.
  static std::filesystem::path defaultSocketPath();
  static bool openWithXdgOpen(const std::string& url);

 private:
  asio::any_io_executor executor_;
  std::filesystem::path socketPath_;
  Opener opener_;
};

// Used by the scheme handler: passes `url` to the waiting session. False when none is waiting.
bool forwardAuthCallback(const std::filesystem::path& socketPath, std::string_view url);

}  // namespace wrenly
