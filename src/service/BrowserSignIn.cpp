#include "service/BrowserSignIn.h"

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
#include "service/ServiceError.h"
#include "service/SpeechServiceClient.h"

namespace wrenly {

using namespace boost::asio::experimental::awaitable_operators;

// What a running sign-in needs for cancel(): the flag for steps not yet begun and the timer
// whose cancellation ends the step that waits.
struct BrowserSignIn::Session {
  asio::steady_timer userCancel;
  bool cancelled = false;
};

BrowserSignIn::BrowserSignIn(SpeechServiceClient& service, BrowserSession& browser, Clock& clock)
    : service_(service), browser_(browser), clock_(clock) {}

namespace {

struct BrowserOutcome {
  std::string callback;
  std::exception_ptr failure;
};

struct BeginOutcome {
  SignInStart start;
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

// Never throws either: a failure of the call is carried to the caller, not lost in the race.
asio::awaitable<BeginOutcome> beginLogin(SpeechServiceClient& service, std::string token) {
  try {
    SignInStart start = co_await service.startSignIn(std::move(token));
    co_return BeginOutcome{std::move(start), {}};
  } catch (...) {
    co_return BeginOutcome{{}, std::current_exception()};
  }
}

}  // namespace

asio::awaitable<void> BrowserSignIn::userCancellation(Session& session) {
  // A cancel that came before this wait began is not missed.
  if (!session.cancelled) {
    co_await session.userCancel.async_wait(asio::as_tuple(asio::use_awaitable));
  }
}

asio::awaitable<AccountStatus> BrowserSignIn::signIn() {
  // The session exists from the first step: a cancel during the opening call counts too.
  auto executor = co_await asio::this_coro::executor;
  Session session{asio::steady_timer(executor, asio::steady_timer::time_point::max())};
  session_ = &session;
  struct Clear {
    std::optional<Session*>& slot;
    ~Clear() { slot.reset(); }
  } clear{session_};
  const auto cancelled = [] { return BrowserSessionError(BrowserSessionFailure::cancelled); };

  unsigned char bytes[32];
  if (RAND_bytes(bytes, sizeof bytes) != 1) throw ServiceError::invalidResponse();
  const std::string token = urlSafeToken(bytes);

  auto begun = co_await (beginLogin(service_, token) || userCancellation(session));
  if (begun.index() != 0 || session.cancelled) throw cancelled();
  BeginOutcome& opened = std::get<0>(begun);
  if (opened.failure) std::rethrow_exception(opened.failure);
  const SignInStart start = std::move(opened.start);
  const ServiceConfiguration& configuration = service_.configuration();
  const auto localPages =
      configuration.localSocket ? localServicePagesOrigin() : std::optional<std::string>();
  if (!isAuthorizationURL(start.authorizationURL, configuration.baseURLText, localPages)) {
    throw ServiceError::invalidResponse();
  }

  auto page = showPage(browser_, start.authorizationURL);
  auto abandoned = pause(clock_, abandonAfter);
  auto raced = co_await (std::move(page) || std::move(abandoned) || userCancellation(session));
  if (raced.index() != 0 || session.cancelled) throw cancelled();
  const BrowserOutcome& outcome = std::get<0>(raced);
  if (outcome.failure) {
    try {
      std::rethrow_exception(outcome.failure);
    } catch (const BrowserSessionError& e) {
      if (e.value() == BrowserSessionFailure::startRefused) {
        throw ServiceError::service("login_unavailable");
      }
      throw;
    }
  }
  if (!isValidCallback(outcome.callback, start.state)) {
    throw ServiceError::service("login_failed");
  }
  // Once Apple's side approved, the short confirming call runs to its end: cutting it off could
  // leave a stored credential the interface does not know about.
  co_return co_await service_.completeSignIn(token);
}

void BrowserSignIn::cancel() {
  if (!session_) return;
  (*session_)->cancelled = true;
  (*session_)->userCancel.cancel();
}

}  // namespace wrenly
