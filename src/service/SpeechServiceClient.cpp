#include "service/SpeechServiceClient.h"

#include <boost/asio/this_coro.hpp>
#include <chrono>

#include "base/Uuid.h"
#include "diagnostics/Diagnostics.h"
#include "platform/Clock.h"
#include "platform/SecretStore.h"
#include "platform/Settings.h"
#include "service/BackgroundCall.h"
#include "service/HttpTransport.h"
#include "service/ReplyDecoding.h"
#include "service/RequestBodies.h"
#include "service/ServiceEndpoint.h"
#include "service/ServiceError.h"
#include "service/UsableToken.h"

namespace wrenly {

const std::string_view SpeechServiceClient::defaultURL = builtInServiceURL;

namespace {

constexpr int maximumBusyResends = 3;
constexpr auto busyRetryDelay = std::chrono::milliseconds(500);

long long elapsedMilliseconds(const Clock& clock, Clock::Duration start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start).count();
}

}  // namespace

SpeechServiceClient::SpeechServiceClient(const Platform& platform,
                                         ServiceConfiguration configuration)
    : background_(platform.background),
      clock_(*platform.clock),
      settings_(*platform.settings),
      secrets_(*platform.secrets),
      configuration_(std::move(configuration)),
      endpoint_(canonicalEndpoint(configuration_.baseURLText)) {}

std::optional<std::string> SpeechServiceClient::readToken(const std::string& baseURL) const {
  // A store that cannot be asked reads as "no token": the caller then asks the user to sign in.
  return usableToken(secrets_.lookup(credentialService, baseURL).secret());
}

std::string SpeechServiceClient::flagKey(const std::string& baseURL) const {
  return std::string(activeFlagPrefix) + baseURL;
}

std::optional<std::string> SpeechServiceClient::streamingToken() const {
  if (!endpoint_) return std::nullopt;
  return readToken(*endpoint_);
}

bool SpeechServiceClient::isLocal() const {
  return endpoint_ && isLoopbackServiceURL(*endpoint_);
}

bool SpeechServiceClient::isActivated() const {
  if (!endpoint_) return false;
  if (!readToken(*endpoint_)) return false;
  return settings_.boolValue(flagKey(*endpoint_)).value_or(false);
}

asio::awaitable<std::string> SpeechServiceClient::request(Call call) {
  // (No conditional operator here: GCC 12 destroys its temporary twice inside coroutines.)
  std::optional<std::string> base = endpoint_;
  if (call.endpoint) base = call.endpoint;
  if (!base) throw ServiceError::invalidURL();

  auto prepared = std::make_shared<HttpRequest>();
  prepared->url = *base + call.path;
  prepared->method = call.method;
  prepared->headers = {"Content-Type: application/json", "Accept: application/json",
                       "Cache-Control: no-store"};
  if (call.authenticated) {
    std::optional<std::string> token = call.tokenOverride;
    if (!token) {
      // Lambdas are named before being awaited: GCC 12 mishandles captures made inside a
      // co_await expression.
      auto lookup = [this, url = *base] { return readToken(url); };
      std::optional<std::string> stored = co_await runInBackground(background_, std::move(lookup));
      token = std::move(stored);
    }
    token = usableToken(std::move(token));
    if (!token) throw ServiceError::missingInvitation();
    prepared->headers.push_back("Authorization: Bearer " + *token);
  }
  if (call.body) prepared->body = std::make_shared<const std::string>(std::move(*call.body));
  prepared->timeoutSeconds = call.timeout;
  prepared->extraTrustFile = configuration_.extraTrustFile;
  prepared->unixSocket = configuration_.localSocket;
  prepared->trustSystemAuthorities = configuration_.trustSystemAuthorities;
  std::shared_ptr<const HttpRequest> sent = std::move(prepared);

  const Clock::Duration start = clock_.now();
  int resends = 0;
  std::exception_ptr failure;
  for (;;) {
    HttpResponse reply;
    try {
      reply = co_await sendHttpRequest(background_, sent);
    } catch (...) {
      failure = std::current_exception();
      break;
    }
    Diagnostics::record("http stage=" + call.path + " status=" + std::to_string(reply.status) +
                        " elapsed_ms=" + std::to_string(elapsedMilliseconds(clock_, start)));
    if (reply.status >= 200 && reply.status <= 299) co_return std::move(reply.body);
    if (reply.status < 100) {
      failure = std::make_exception_ptr(ServiceError::invalidResponse());
      break;
    }

    std::optional<std::string> code = serviceErrorCode(reply.body);
    if (!code) {
      failure = std::make_exception_ptr(ServiceError::rejected(static_cast<int>(reply.status)));
      break;
    }
    if (call.retryBusy && *code == "request_busy" && resends < maximumBusyResends) {
      // A cancelled call does not resend.
      if (co_await pause(clock_, busyRetryDelay) == PauseEnd::cancelled) {
        failure =
            std::make_exception_ptr(boost::system::system_error(asio::error::operation_aborted));
        break;
      }
      ++resends;
      continue;
    }
    failure = std::make_exception_ptr(isValidServiceCode(*code)
                                          ? ServiceError::service(*code)
                                          : ServiceError::rejected(static_cast<int>(reply.status)));
    break;
  }
  Diagnostics::record("http failed stage=" + call.path +
                      " elapsed_ms=" + std::to_string(elapsedMilliseconds(clock_, start)) + " " +
                      Diagnostics::errorCode(failure));
  std::rethrow_exception(failure);
}

asio::awaitable<std::string> SpeechServiceClient::transcribe(
    std::span<const std::uint8_t> wav, std::string languageCode,
    std::optional<std::string> streamRecoveryID, std::string requestID, std::string vocabulary) {
  Call call("transcribe", "POST", 45);
  call.retryBusy = true;
  call.body = transcribeBody(wav, languageCode, streamRecoveryID, requestID, vocabulary);
  std::string reply = co_await request(std::move(call));
  co_return decodeText(reply);
}

asio::awaitable<std::string> SpeechServiceClient::clean(
    std::string text, std::optional<std::string> sourceRequestID) {
  Call call("text", "POST", 3);
  call.body = cleanBody(makeUuid(), sourceRequestID, text);
  std::string reply = co_await request(std::move(call));
  co_return decodeText(reply);
}

asio::awaitable<std::string> SpeechServiceClient::applySpokenTask(
    std::string selectedText, std::string instruction, std::optional<std::string> sourceRequestID) {
  Call call("text", "POST", 30);
  call.body = spokenTaskBody(makeUuid(), sourceRequestID, selectedText, instruction);
  std::string reply = co_await request(std::move(call));
  co_return decodeText(reply);
}

asio::awaitable<SignInStart> SpeechServiceClient::startSignIn(std::string token) {
  Call call(StoredNames::signInStartPath, "POST");
  call.authenticated = false;
  call.body = signInStartBody(token);
  std::string reply = co_await request(std::move(call));
  co_return decodeSignInStart(reply);
}

asio::awaitable<AccountStatus> SpeechServiceClient::completeSignIn(std::string token) {
  Call call("access", "GET");
  call.tokenOverride = token;
  std::string reply = co_await request(std::move(call));
  AccountStatus status = decodeAccountStatus(reply);
  if (!status.active) throw ServiceError::invalidResponse();
  if (!endpoint_) throw ServiceError::invalidResponse();

  std::string baseURL = *endpoint_;
  auto store = [this, baseURL, token] { return secrets_.store(credentialService, baseURL, token); };
  const std::optional<SecretStoreFailure> refused =
      co_await runInBackground(background_, std::move(store));
  if (refused) throw SecretStoreError(*refused);
  settings_.setBool(flagKey(baseURL), true);
  co_return status;
}

asio::awaitable<AccountStatus> SpeechServiceClient::accountStatus() {
  std::string reply = co_await request(Call("access", "GET"));
  co_return decodeAccountStatus(reply);
}

asio::awaitable<EngineInfo> SpeechServiceClient::engineInfo() {
  std::string reply = co_await request(Call("engine", "GET"));
  co_return decodeEngineInfo(reply);
}

asio::awaitable<void> SpeechServiceClient::forgetCredentials(std::string baseURL) {
  // The store's answer is not acted on: the service has already let go of the token.
  auto remove = [this, baseURL] {
    secrets_.remove(credentialService, baseURL);
    return true;
  };
  co_await runInBackground(background_, std::move(remove));
  settings_.remove(flagKey(baseURL));
}

asio::awaitable<void> SpeechServiceClient::signOut() {
  co_await request(Call("account/session", "DELETE"));
  if (endpoint_) co_await forgetCredentials(*endpoint_);
}

asio::awaitable<void> SpeechServiceClient::removeAccess() {
  if (!endpoint_) throw ServiceError::invalidURL();
  Call call("access", "DELETE");
  call.endpoint = endpoint_;
  co_await request(std::move(call));
  co_await forgetCredentials(*endpoint_);
}

}  // namespace wrenly
