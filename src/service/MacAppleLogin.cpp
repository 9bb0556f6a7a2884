#include "service/MacAppleLogin.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/url/parse.hpp>
#include <exception>
#include <variant>

#include "platform/BrowserSession.h"
#include "platform/Clock.h"
#include "service/MacServiceError.h"
#include "service/MacVoiceService.h"

using namespace boost::asio::experimental::awaitable_operators;

// What a running sign-in needs for cancel(): the timer whose cancellation ends the browser wait.
struct MacAppleLogin::Session {
  asio::steady_timer userCancel;
};

MacAppleLogin::MacAppleLogin(MacVoiceService& service, BrowserSession& browser, Clock& clock)
    : service_(service), browser_(browser), clock_(clock) {}

std::string MacAppleLogin::urlSafeToken(const unsigned char (&bytes)[32]) {
  unsigned char encoded[48] = {};
  const int length = EVP_EncodeBlock(encoded, bytes, 32);
  std::string token;
  for (int i = 0; i < length; ++i) {
    const char c = static_cast<char>(encoded[i]);
    if (c == '+') {
      token.push_back('-');
    } else if (c == '/') {
      token.push_back('_');
    } else if (c != '=') {
      token.push_back(c);
    }
  }
  return token;
}

bool MacAppleLogin::isAuthorizationURL(const std::string& text) {
  auto parsed = boost::urls::parse_absolute_uri(text);
  if (!parsed) return false;
  // Compared exactly as written: no other page than Apple's is ever shown.
  return parsed->scheme() == "https" && parsed->host_type() == boost::urls::host_type::name &&
         parsed->encoded_host() == authorizationHost;
}

bool MacAppleLogin::isValidCallback(const std::string& url, const std::string& state) {
  auto parsed = boost::urls::parse_absolute_uri(url);
  if (!parsed) return false;
  if (parsed->scheme() != callbackScheme) return false;
  if (parsed->encoded_host() != callbackHost) return false;
  if (!parsed->has_query()) return false;
  auto params = parsed->params();
  auto first = params.find("state");
  if (first == params.end() || !(*first).has_value || (*first).value != state) return false;
  return params.find("error") == params.end();
}

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
  if (!isAuthorizationURL(start.authorizationURL)) throw MacServiceError::invalidResponse();

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
