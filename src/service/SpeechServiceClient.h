#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/StoredNames.h"
#include "platform/Asio.h"
#include "platform/Platform.h"
#include "service/AccountStatus.h"
#include "service/ServiceEndpoint.h"
#include "service/SpeechService.h"

namespace wrenly {

class Clock;
class Settings;
class SecretStore;

// The speech service client: base URL, the recognition and text calls, the account calls and
// the stored credential. Every HTTPS call runs on the background pool and resumes the awaiting
// coroutine on its own executor; the object keeps no state between calls, so one instance may
// serve several calls at once from any executor.
//
// Errors: ServiceError for what the client itself detects; TransportError (below HTTP),
// boost::system::system_error (a text reply that is not JSON), ReplyDecodingError (an account
// reply that does not decode) and asio::error::operation_aborted (a busy wait cancelled) pass
// through unchanged.
//
// Arguments of the awaitable calls are read when the call is first awaited; a caller that
// co_awaits it directly keeps them alive long enough.
class SpeechServiceClient : public SpeechService {
 public:
  // The key of the stored credential, with the canonical base URL as the account.
  static constexpr std::string_view credentialService = StoredNames::credentialService;
  static constexpr std::string_view activeFlagPrefix = StoredNames::activeFlagPrefix;
  static const std::string_view defaultURL;

  static std::optional<std::string> canonicalEndpoint(std::string_view text) {
    return canonicalServiceEndpoint(text);
  }

  // Uses platform.background, .clock, .settings and .secrets, which must outlive this object.
  explicit SpeechServiceClient(
      const Platform& platform,
      ServiceConfiguration configuration = ServiceConfiguration::fromEnvironment());

  // The canonical base URL text (https://HOST[:PORT]/wrenly/v1/), or none when the configured
  // one is not valid.
  std::optional<std::string> endpoint() const { return endpoint_; }

  // The stored token for the base URL, or none. Blocks on the secret store (bounded); any thread.
  std::optional<std::string> streamingToken() const;
  // A token is stored and the signed-in flag is set. Blocks like streamingToken().
  bool isActivated() const override;
  bool isLocal() const override;

  // Recognition and text calls: the service's text, trimmed.
  asio::awaitable<std::string> transcribe(std::span<const std::uint8_t> wav,
                                          std::string languageCode,
                                          std::optional<std::string> streamRecoveryID,
                                          std::string requestID, std::string vocabulary) override;
  asio::awaitable<std::string> clean(std::string text,
                                     std::optional<std::string> sourceRequestID) override;
  asio::awaitable<std::string> applySpokenTask(std::string selectedText, std::string instruction,
                                               std::optional<std::string> sourceRequestID) override;

  // Account calls.
  asio::awaitable<SignInStart> startSignIn(std::string token);
  asio::awaitable<AccountStatus> completeSignIn(std::string token);
  asio::awaitable<AccountStatus> accountStatus() override;
  asio::awaitable<EngineInfo> engineInfo() override;
  asio::awaitable<void> signOut() override;
  asio::awaitable<void> removeAccess() override;

  const ServiceConfiguration& configuration() const { return configuration_; }

 private:
  struct Call {
    Call(std::string p, std::string m, double t = 20)
        : path(std::move(p)), method(std::move(m)), timeout(t) {}
    std::string path;
    std::string method;
    std::optional<std::string> body;
    std::optional<std::string> endpoint;
    bool authenticated = true;
    double timeout;
    bool retryBusy = false;
    std::optional<std::string> tokenOverride;
  };
  asio::awaitable<std::string> request(Call call);

  std::optional<std::string> readToken(const std::string& baseURL) const;
  std::string flagKey(const std::string& baseURL) const;
  asio::awaitable<void> forgetCredentials(std::string baseURL);

  asio::any_io_executor background_;
  Clock& clock_;
  Settings& settings_;
  SecretStore& secrets_;
  ServiceConfiguration configuration_;
  std::optional<std::string> endpoint_;
};

}  // namespace wrenly
