#include "service/MacAppleLogin.h"

#include <openssl/rand.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <exception>
#include <variant>

#include "platform/BrowserSession.h"
#include "platform/Clock.h"
#include "service/MacServiceError.h"
#include "service/MacVoiceService.h"

namespace wrenly {

using namespace boost::asio::experimental::awaitable_operators;

// What a running sign-in needs for cancel(): the timer whose cancellation ends the browser wait.
struct MacAppleLogin::Session {
  asio::steady_timer userCancel;
};

MacAppleLogin::MacAppleLogin(MacVoiceService& service, BrowserSession& browser, Clock& clock)
    : service_(service), browser_(browser), clock_(clock) {}

namespace {

struct BrowserOutcome {
  std::string callback;
  std::exception_ptr failure;
};

// Never throws, so the race below ends with whichever branch finishes first, failures included.
asio::awaitable<BrowserOutcome> showPage(BrowserSession& browser, std::string url) {
  try {
    // Named steps: GCC 12 mishandles co_await inside an aggregate initialiser.
    std::string callback = co_await browser.authenticate(std::move(url), "wrenly-auth");
    co_return BrowserOutcome{std::move(callback), {}};
  } catch (...) {
    co_return BrowserOutcome{{}, std::current_exception()};
  }
}

asio::awaitable<void> abandonment(Clock& clock, Clock::Duration delay) {
  try {
    co_await clock.sleep(delay);
  } catch (...) {
  }
}

asio::awaitable<void> userCancellation(asio::steady_timer& timer) {
  co_await timer.async_wait(asio::as_tuple(asio::use_awaitable));
}

}  // namespace

asio::awaitable<MacAccountStatus> MacAppleLogin::signIn() {
  unsigned char bytes[32];
  if (RAND_bytes(bytes, sizeof bytes) != 1) throw MacServiceError::invalidResponse();
  const std::string token = urlSafeToken(bytes);

  const MacAppleLoginStart start = co_await service_.beginAppleLogin(token);
  if (!isAuthorizationURL(start.authorizationURL, service_.configuration().baseURLText))
    throw MacServiceError::invalidResponse();

  auto executor = co_await asio::this_coro::executor;
  Session session{asio::steady_timer(executor, asio::steady_timer::time_point::max())};
  session_ = &session;
  struct Clear {
    std::optional<Session*>& slot;
    ~Clear() { slot.reset(); }
  } clear{session_};

  auto page = showPage(browser_, start.authorizationURL);
  auto abandoned = abandonment(clock_, abandonAfter);
  auto cancelled = userCancellation(session.userCancel);
  auto raced = co_await (std::move(page) || std::move(abandoned) || std::move(cancelled));
  if (raced.index() != 0) throw BrowserSessionError(BrowserSessionFailure::cancelled);
  const BrowserOutcome& outcome = std::get<0>(raced);
  if (outcome.failure) {
    try {
      std::rethrow_exception(outcome.failure);
    } catch (const BrowserSessionError& e) {
      if (e.value() == BrowserSessionFailure::startRefused) {
        throw MacServiceError::service("login_unavailable");
      }
      throw;
    }
  }
  if (!isValidCallback(outcome.callback, start.state)) {
    throw MacServiceError::service("login_failed");
  }
  co_return co_await service_.completeAppleLogin(token);
}

void MacAppleLogin::cancel() {
  if (session_) (*session_)->userCancel.cancel();
}

}  // namespace wrenly
