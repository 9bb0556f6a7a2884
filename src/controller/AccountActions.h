#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "controller/ControllerContext.h"

namespace wrenly {

class SpeechService;
class TriggerKeySetup;

// The service state and the account actions: the credential check, the account status,
// sign-in, sign-out and removal of access. Owns the account part of the state. The awaitable
// actions run on the main loop; their caller keeps the controller alive while they run.
class AccountActions {
 public:
  // `forgetDictations` drops what the dictation cycle keeps of earlier dictations.
  AccountActions(ControllerContext& context, const TriggerKeySetup& triggerKey,
                 std::function<void()> forgetDictations);

  // Starts a credential check on the background pool; returns at once.
  void refreshServiceState();
  asio::awaitable<void> updateAccountStatus();
  // The same, spawned on the main loop.
  void spawnAccountStatusUpdate();
  asio::awaitable<void> signIn();
  // Ends a sign-in that waits for the browser, as cancelled.
  void cancelSignIn();
  asio::awaitable<void> signOut();
  asio::awaitable<void> removeAccess();

 private:
  static asio::awaitable<void> checkService(std::weak_ptr<const void> owner, SpeechService& service,
                                            asio::any_io_executor background,
                                            AccountActions& actions);
  void finishServiceRefresh(bool active);
  // Runs one account call with activationInProgress set around it; returns its failure.
  asio::awaitable<std::exception_ptr> runAccountCall(asio::awaitable<void> call);
  // A sign-out or removal that went through leaves the user signed out.
  void signedOut();

  ControllerContext& context_;
  const TriggerKeySetup& triggerKey_;
  std::function<void()> forgetDictations_;
  bool refreshInProgress_ = false;
};

}  // namespace wrenly
