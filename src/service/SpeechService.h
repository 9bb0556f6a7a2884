#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/Asio.h"
#include "service/AccountStatus.h"

namespace wrenly {

// The speech service as the controller calls it: the stored credential, recognition, the text
// calls and the account calls. SpeechServiceClient is the real one; errors and argument
// lifetimes are as it documents them.
class SpeechService {
 public:
  virtual ~SpeechService() = default;

  // A credential is stored and marked signed in. May block on the keyring; any thread.
  virtual bool isActivated() const = 0;
  // The service runs on this machine and signs users in on its own page.
  virtual bool isLocal() const = 0;

  // `vocabulary`: words the user says often, as a hint for the engine; empty: none.
  virtual asio::awaitable<std::string> transcribe(std::span<const std::uint8_t> wav,
                                                  std::string languageCode,
                                                  std::optional<std::string> streamRecoveryID,
                                                  std::string requestID,
                                                  std::string vocabulary) = 0;
  virtual asio::awaitable<std::string> clean(std::string text,
                                             std::optional<std::string> sourceRequestID) = 0;
  virtual asio::awaitable<std::string> applySpokenTask(
      std::string selectedText, std::string instruction,
      std::optional<std::string> sourceRequestID) = 0;

  virtual asio::awaitable<AccountStatus> accountStatus() = 0;
  // The local service's engine; a service without the call answers an error.
  virtual asio::awaitable<EngineInfo> engineInfo() = 0;
  virtual asio::awaitable<void> signOut() = 0;
  virtual asio::awaitable<void> removeAccess() = 0;
};

}  // namespace wrenly
