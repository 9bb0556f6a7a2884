#include "controller/AccountActions.h"

#include "controller/TriggerKeySetup.h"
#include "diagnostics/Diagnostics.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "service/BackgroundCall.h"
#include "service/BrowserSignIn.h"
#include "service/SpeechService.h"

namespace wrenly {

AccountActions::AccountActions(ControllerContext& context, const TriggerKeySetup& triggerKey,
                               std::function<void()> forgetDictations)
    : context_(context), triggerKey_(triggerKey), forgetDictations_(std::move(forgetDictations)) {}

void AccountActions::refreshServiceState() {
  // A running check is neither repeated nor queued.
  if (refreshInProgress_) return;
  refreshInProgress_ = true;
  context_.spawn(checkService(context_.owner, context_.ports.service,
                              context_.ports.platform.background, *this));
}

asio::awaitable<void> AccountActions::checkService(std::weak_ptr<const void> owner,
                                                   SpeechService& service,
                                                   asio::any_io_executor background,
                                                   AccountActions& actions) {
  // The keyring may wait for the user: off the main loop, and nothing of the controller is
  // touched there.
  const bool active = co_await runInBackground(background, [&service] {
    try {
      return service.isActivated();
    } catch (const std::exception&) {
      return false;  // an unreadable keyring means signed out
    }
  });
  if (auto alive = owner.lock()) actions.finishServiceRefresh(active);
}

void AccountActions::finishServiceRefresh(bool active) {
  auto& state = context_.state;
  ControllerChange change(context_);
  state.accessActive = active;
  state.serviceAvailable = active;
  state.serviceStatusLoaded = true;
  if (active) spawnAccountStatusUpdate();
  refreshInProgress_ = false;

  if (state.phase != DictationPhase::idle) return;  // a running dictation owns the message
  if (triggerKey_.rightAltUnavailable()) {
    state.message = Messages::rightAltNeedsAccessibility;
    return;
  }
  state.message =
      active ? triggerKey_.readyMessage() : Messages::signInWording(state.localService).prompt;
}

void AccountActions::spawnAccountStatusUpdate() {
  context_.spawn(keepAlive(context_.owner.lock(), updateAccountStatus()));
}

asio::awaitable<void> AccountActions::updateAccountStatus() {
  auto& state = context_.state;
  if (!state.accessActive) co_return;
  std::optional<AccountStatus> status;
  try {
    status = co_await context_.ports.service.accountStatus();
  } catch (const std::exception&) {
    co_return;  // the previous status stays; nothing is reported
  }
  // A sign-out that finished meanwhile wins over the late answer.
  if (!state.accessActive) co_return;
  {
    ControllerChange change(context_);
    state.accountStatus = status;
  }
  if (!context_.ports.service.isLocal()) co_return;
  // Only the local service is asked which engine listens; an older one without the call shows
  // nothing.
  std::optional<EngineInfo> engine;
  try {
    engine = co_await context_.ports.service.engineInfo();
  } catch (const std::exception&) {
    co_return;
  }
  ControllerChange change(context_);
  state.engine = engine;
}

asio::awaitable<void> AccountActions::signIn() {
  auto& state = context_.state;
  if (state.activationInProgress || state.phase != DictationPhase::idle) co_return;
  {
    ControllerChange change(context_);
    state.activationInProgress = true;
    state.activationFeedback = Messages::signInWording(state.localService).opening;
  }
  std::optional<AccountStatus> status;
  std::exception_ptr error;
  try {
    status = co_await context_.ports.browserSignIn.signIn();
  } catch (...) {
    error = std::current_exception();
  }
  ControllerChange change(context_);
  if (status) {
    state.accountStatus = status;
    state.accessActive = true;
    state.serviceAvailable = true;
    state.activationFeedback.clear();
    state.message = Messages::signedIn;
  } else {
    state.activationFeedback = Messages::signInWording(state.localService).failed;
    Diagnostics::record("apple_login failed " + Diagnostics::errorCode(error));
  }
  state.activationInProgress = false;
}

void AccountActions::cancelSignIn() {
  context_.ports.browserSignIn.cancel();
}

asio::awaitable<std::exception_ptr> AccountActions::runAccountCall(asio::awaitable<void> call) {
  {
    ControllerChange change(context_);
    context_.state.activationInProgress = true;
  }
  try {
    co_await std::move(call);
  } catch (...) {
    co_return std::current_exception();
  }
  co_return nullptr;
}

void AccountActions::signedOut() {
  auto& state = context_.state;
  state.accountStatus.reset();
  state.accessActive = false;
  state.serviceAvailable = false;
}

asio::awaitable<void> AccountActions::signOut() {
  auto& state = context_.state;
  if (state.phase != DictationPhase::idle || state.activationInProgress) co_return;
  const std::exception_ptr error = co_await runAccountCall(context_.ports.service.signOut());
  ControllerChange change(context_);
  if (error) {
    state.message = describe(error, {}, state.localService);  // still signed in
  } else {
    signedOut();
    state.message = Messages::signedOut;
  }
  state.activationInProgress = false;
}

asio::awaitable<void> AccountActions::removeAccess() {
  auto& state = context_.state;
  if (state.phase != DictationPhase::idle || state.activationInProgress) co_return;
  const std::exception_ptr error = co_await runAccountCall(context_.ports.service.removeAccess());
  ControllerChange change(context_);
  if (error) {
    state.message = describe(error, {}, state.localService);  // nothing local is removed
  } else {
    forgetDictations_();
    signedOut();
    state.message = Messages::accountDeleted;
  }
  state.activationInProgress = false;
}

}  // namespace wrenly
