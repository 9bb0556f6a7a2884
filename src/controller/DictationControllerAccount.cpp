#include <boost/asio/co_spawn.hpp>

#include "controller/ControllerChange.h"
#include "controller/DictationController.h"
#include "diagnostics/Diagnostics.h"
#include "diagnostics/ReportableError.h"
#include "messages/Messages.h"
#include "service/BackgroundCall.h"
#include "service/BrowserSignIn.h"
#include "service/SpeechServiceClient.h"

namespace wrenly {

void DictationController::refreshServiceState() {
  // A running check is neither repeated nor queued.
  if (refreshInProgress_) return;
  refreshInProgress_ = true;
  spawn(checkService(weak_from_this(), dependencies_.service, dependencies_.platform.background));
}

asio::awaitable<void> DictationController::checkService(std::weak_ptr<DictationController> weak,
                                                        SpeechServiceClient& service,
                                                        asio::any_io_executor background) {
  // The keyring may wait for the user: off the main loop, and nothing of the controller is
  // touched there.
  const bool active = co_await runInBackground(background, [&service] {
    try {
      return service.isActivated();
    } catch (const std::exception&) {
      return false;  // an unreadable keyring means signed out
    }
  });
  if (auto self = weak.lock()) self->finishServiceRefresh(active, active);
}

void DictationController::finishServiceRefresh(bool active, bool available) {
  ControllerChange change(*this);
  state_.accessActive = active;
  state_.serviceAvailable = available;
  state_.serviceStatusLoaded = true;
  if (active) spawn(updateAccountStatus());
  refreshInProgress_ = false;

  if (state_.phase != Phase::idle) return;  // a running dictation owns the message
  if (!state_.triggerKeyAvailable && installedTriggerKey_ == TriggerKey::rightAlt) {
    state_.message = Messages::rightAltNeedsAccessibility;
    return;
  }
  state_.message = available ? Messages::ready(keyTitle()) : Messages::signInPrompt;
}

asio::awaitable<void> DictationController::updateAccountStatus() {
  return updateAccountStatus(shared_from_this());
}

asio::awaitable<void> DictationController::updateAccountStatus(
    [[maybe_unused]] std::shared_ptr<DictationController> self) {
  if (!state_.accessActive) co_return;
  std::optional<AccountStatus> status;
  try {
    status = co_await dependencies_.service.accountStatus();
  } catch (const std::exception&) {
    co_return;  // the previous status stays; nothing is reported
  }
  // A sign-out that finished meanwhile wins over the late answer.
  if (!state_.accessActive) co_return;
  ControllerChange change(*this);
  state_.accountStatus = status;
}

asio::awaitable<void> DictationController::signIn() {
  return signIn(shared_from_this());
}

asio::awaitable<void> DictationController::signIn(
    [[maybe_unused]] std::shared_ptr<DictationController> self) {
  if (state_.activationInProgress || state_.phase != Phase::idle) co_return;
  {
    ControllerChange change(*this);
    state_.activationInProgress = true;
    state_.activationFeedback = Messages::openingSignIn;
  }
  std::optional<AccountStatus> status;
  std::exception_ptr error;
  try {
    status = co_await dependencies_.appleLogin.signIn();
  } catch (...) {
    error = std::current_exception();
  }
  ControllerChange change(*this);
  if (status) {
    state_.accountStatus = status;
    state_.accessActive = true;
    state_.serviceAvailable = true;
    state_.activationFeedback.clear();
    state_.message = Messages::signedIn;
  } else {
    state_.activationFeedback = Messages::signInFailed;
    Diagnostics::record("apple_login failed " + Diagnostics::errorCode(error));
  }
  state_.activationInProgress = false;
}

asio::awaitable<std::exception_ptr> DictationController::runAccountCall(
    asio::awaitable<void> call) {
  {
    ControllerChange change(*this);
    state_.activationInProgress = true;
  }
  try {
    co_await std::move(call);
  } catch (...) {
    co_return std::current_exception();
  }
  co_return nullptr;
}

void DictationController::cancelSignIn() {
  dependencies_.appleLogin.cancel();
}

asio::awaitable<void> DictationController::signOut() {
  return signOut(shared_from_this());
}

asio::awaitable<void> DictationController::signOut(
    [[maybe_unused]] std::shared_ptr<DictationController> self) {
  if (state_.phase != Phase::idle || state_.activationInProgress) co_return;
  auto call = dependencies_.service.signOut();
  const std::exception_ptr error = co_await runAccountCall(std::move(call));
  ControllerChange change(*this);
  if (error) {
    state_.message = localizedDescriptionOf(error);  // still signed in
  } else {
    state_.accountStatus.reset();
    state_.accessActive = false;
    state_.serviceAvailable = false;
    state_.message = Messages::signedOut;
  }
  state_.activationInProgress = false;
}

asio::awaitable<void> DictationController::removeAccess() {
  return removeAccess(shared_from_this());
}

asio::awaitable<void> DictationController::removeAccess(
    [[maybe_unused]] std::shared_ptr<DictationController> self) {
  if (state_.phase != Phase::idle || state_.activationInProgress) co_return;
  auto call = dependencies_.service.removeAccess();
  const std::exception_ptr error = co_await runAccountCall(std::move(call));
  ControllerChange change(*this);
  if (error) {
    state_.message = localizedDescriptionOf(error);  // nothing local is removed
  } else {
    state_.lastText.clear();
    retryRecording_.reset();
    state_.hasRetryRecording = false;
    state_.accountStatus.reset();
    state_.accessActive = false;
    state_.serviceAvailable = false;
    state_.message = Messages::accountDeleted;
  }
  state_.activationInProgress = false;
}

}  // namespace wrenly
