#pragma once

#include <string>

namespace wrenly {

// The service's answer to "may this token use the service?".
struct AccountStatus {
  bool active = false;
  friend bool operator==(const AccountStatus&, const AccountStatus&) = default;
};

// The first leg of sign-in: the page to open and the value its callback must carry back.
struct SignInStart {
  std::string authorizationURL;
  std::string state;
  friend bool operator==(const SignInStart&, const SignInStart&) = default;
};

}  // namespace wrenly
