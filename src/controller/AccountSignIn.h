#pragma once

#include "platform/Asio.h"
#include "service/MacAccountStatus.h"

// The sign-in as the controller drives it: one browser sign-in at a time, which the user may
// abandon. Lives on the main loop.
class AccountSignIn {
 public:
  virtual ~AccountSignIn() = default;

  // Runs a whole sign-in and gives the new account status; throws when it fails, is cancelled
  // or is abandoned.
  virtual asio::awaitable<MacAccountStatus> signIn() = 0;
  // Ends a waiting sign-in as cancelled.
  virtual void cancel() = 0;
  virtual bool isSigningIn() const = 0;
};
