#pragma once

#include <string>

#include "base/ReportableError.h"
#include "platform/Asio.h"

namespace wrenly {

enum class BrowserSessionFailure { startRefused, cancelled };

// The log's code of each failure (EnumeratedError), fixed whatever the order of the cases.
constexpr int logCode(BrowserSessionFailure failure) {
  switch (failure) {
    case BrowserSessionFailure::startRefused:
      return 0;
    case BrowserSessionFailure::cancelled:
      return 1;
  }
  return -1;
}

// A sign-in page that could not be shown, or a sign-in the user abandoned.
class BrowserSessionError final : public EnumeratedError<BrowserSessionFailure> {
 public:
  using EnumeratedError::EnumeratedError;
};

// Shows a web page in the user's browser and waits for the browser to be sent back to this
// program through a URL of its own scheme.
class BrowserSession {
 public:
  virtual ~BrowserSession() = default;

  // Opens `url` and completes with the first callback URL of `callbackScheme`. Throws
  // BrowserSessionError(startRefused) when the page cannot be shown. A browser gives no "window
  // closed" event, so the caller ends an abandoned session by cancelling the coroutine (its
  // cancellation slot), which throws operation_aborted.
  virtual asio::awaitable<std::string> authenticate(std::string url,
                                                    std::string callbackScheme) = 0;
};

}  // namespace wrenly
