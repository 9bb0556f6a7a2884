#include "platform/linux/browser/XdgBrowserSession.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffers_iterator.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace wrenly {

namespace fs = std::filesystem;
using local = asio::local::stream_protocol;

namespace {

constexpr size_t maximumCallbackBytes = 8192;

// Removes the socket file however the session ends.
struct SocketFileGuard {
  fs::path path;
  ~SocketFileGuard() {
    std::error_code ec;
    fs::remove(path, ec);
  }
};

// The page the browser is given instead of the sign-in address: that address holds the state,
// and whatever is on a command line can be read by every user through /proc/*/cmdline.
class ForwardingPage {
 public:
  explicit ForwardingPage(fs::path path) : path_(std::move(path)) {}
  ~ForwardingPage() {
    if (written_) ::unlink(path_.c_str());
  }
  ForwardingPage(const ForwardingPage&) = delete;
  ForwardingPage& operator=(const ForwardingPage&) = delete;

  bool write(std::string_view url) {
    ::unlink(path_.c_str());  // one an earlier run left behind when it was killed
    // Only a new file of ours: never through a link planted in its place.
    const int fd =
        ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    written_ = true;
    const std::string target = attributeEscaped(url);
    const std::string text =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"refresh\" content=\"0; url=" +
        target + "\"></head><body><a href=\"" + target + "\">" + target + "</a></body></html>\n";
    bool complete = true;
    for (size_t done = 0; complete && done < text.size();) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      complete = n > 0;
      if (complete) done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && complete;
  }

 private:
  static std::string attributeEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&#39;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        default:
          out += c;
      }
    }
    return out;
  }

  fs::path path_;
  bool written_ = false;
};

bool peerIsSameUser(local::socket& socket) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(socket.native_handle(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
    return false;
  }
  return credentials.uid == ::getuid();
}

}  // namespace

XdgBrowserSession::XdgBrowserSession(asio::any_io_executor executor, fs::path socketPath,
                                     Opener opener)
    : executor_(std::move(executor)),
      socketPath_(std::move(socketPath)),
      opener_(std::move(opener)) {}

fs::path XdgBrowserSession::defaultSocketPath() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    return fs::path(runtime) / "wrenly" / "auth.sock";
  }
  return fs::temp_directory_path() / ("wrenly-" + std::to_string(::getuid())) / "auth.sock";
}

bool XdgBrowserSession::openWithXdgOpen(const std::string& url) {
  // The shell starts xdg-open in the background and exits at once, so nothing here waits for
  // the browser. The URL is an argument, never part of the script.
  const char* script =
      "command -v xdg-open >/dev/null 2>&1 || exit 127; "
      "xdg-open \"$1\" >/dev/null 2>&1 </dev/null & exit 0";
  std::string name = "wrenly-open";
  std::vector<char*> argv{const_cast<char*>("sh"),        const_cast<char*>("-c"),
                          const_cast<char*>(script),      name.data(),
                          const_cast<char*>(url.c_str()), nullptr};
  pid_t child = 0;
  if (::posix_spawnp(&child, "sh", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

asio::awaitable<std::string> XdgBrowserSession::authenticate(std::string url,
                                                             std::string callbackScheme) {
  std::error_code fsError;
  fs::create_directories(socketPath_.parent_path(), fsError);
  fs::permissions(socketPath_.parent_path(), fs::perms::owner_all, fsError);
  fs::remove(socketPath_, fsError);  // a stale socket of an earlier run

  local::acceptor acceptor(executor_);
  boost::system::error_code ec;
  acceptor.open(local(), ec);
  if (!ec) acceptor.bind(local::endpoint(socketPath_.string()), ec);
  if (!ec) acceptor.listen(4, ec);
  if (ec) throw BrowserSessionError(BrowserSessionFailure::startRefused);
  SocketFileGuard guard{socketPath_};
  ::chmod(socketPath_.c_str(), 0600);

  // The page stays for as long as the session waits: a browser may read it late.
  const fs::path pagePath = socketPath_.parent_path() / "sign-in.html";
  ForwardingPage page(pagePath);
  if (!page.write(url) || !opener_(pagePath.string())) {
    throw BrowserSessionError(BrowserSessionFailure::startRefused);
  }

  const std::string prefix = callbackScheme + ":";
  for (;;) {
    local::socket peer = co_await acceptor.async_accept(asio::use_awaitable);
    if (!peerIsSameUser(peer)) continue;
    asio::streambuf buffer(maximumCallbackBytes);
    auto [readError, n] =
        co_await asio::async_read_until(peer, buffer, '\n', asio::as_tuple(asio::use_awaitable));
    if (readError && readError != asio::error::eof) continue;
    std::string line(asio::buffers_begin(buffer.data()), asio::buffers_end(buffer.data()));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.starts_with(prefix)) co_return line;
    // Anything else on the socket is not an answer to this sign-in: keep waiting.
  }
}

bool forwardAuthCallback(const fs::path& socketPath, std::string_view url) {
  if (url.size() >= maximumCallbackBytes || url.find('\n') != std::string_view::npos) return false;
  asio::io_context context;
  local::socket socket(context);
  boost::system::error_code ec;
  socket.connect(local::endpoint(socketPath.string()), ec);
  if (ec) return false;
  std::string line(url);
  line.push_back('\n');
  asio::write(socket, asio::buffer(line), ec);
  return !ec;
}

}  // namespace wrenly
