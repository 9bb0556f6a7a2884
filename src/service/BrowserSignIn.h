#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/Asio.h"
#include "service/AccountStatus.h"

namespace wrenly {

class BrowserSession;
class Clock;
class SpeechServiceClient;

// The whole Sign in with Apple exchange: propose a fresh token to the service, show Apple's page
// in the browser, check the callback, then have the service confirm the account with that token,
// which becomes the stored credential. Runs on the main loop; one sign-in at a time.
class BrowserSignIn {
 public:
  static constexpr const char* callbackScheme = "wrenly-auth";
  static constexpr const char* callbackHost = "complete";
  static constexpr const char* authorizationHost = "appleid.apple.com";
  // A browser tells nobody when its tab is closed: a sign-in left alone this long ends as
  // cancelled, so the interface never stays on "signing in" for good.
  static constexpr std::chrono::minutes abandonAfter{10};

  BrowserSignIn(SpeechServiceClient& service, BrowserSession& browser, Clock& clock);
  BrowserSignIn(const BrowserSignIn&) = delete;
  BrowserSignIn& operator=(const BrowserSignIn&) = delete;

  // Throws ServiceError (invalidResponse, service "login_failed" / "login_unavailable"), the
  // service's own errors, or BrowserSessionError(cancelled) when the user cancels or abandons.
  asio::awaitable<AccountStatus> signIn();

  // Ends a running sign-in, at whatever step, as cancelled; no page opens after it. Main loop
  // only.
  void cancel();
  bool isSigningIn() const { return session_.has_value(); }

  // Helpers with their own rules, public for tests.
  static std::string urlSafeToken(const unsigned char (&bytes)[32]);
  // Apple's page; or, for the local service only (a loopback base URL), a page on the
  // service's own origin, which is where that service signs users in: the origin of its pages
  // (`localPages`) when it is reached through its socket, else the base URL's.
  static bool isAuthorizationURL(const std::string& text, const std::string& serviceBaseURL,
                                 const std::optional<std::string>& localPages = std::nullopt);
  static bool isValidCallback(const std::string& url, const std::string& state);

 private:
  struct Session;
  static asio::awaitable<void> userCancellation(Session& session);
  SpeechServiceClient& service_;
  BrowserSession& browser_;
  Clock& clock_;
  std::optional<Session*> session_;
};

}  // namespace wrenly
