#pragma once

#include <string>

namespace wrenly {

// The service's answer to "may this token use the service?".
struct MacAccountStatus {
  bool active = false;
  friend bool operator==(const MacAccountStatus&, const MacAccountStatus&) = default;
};

// The first leg of sign-in: the page to open and the value its callback must carry back.
struct MacAppleLoginStart {
  std::string authorizationURL;
  std::string state;
  friend bool operator==(const MacAppleLoginStart&, const MacAppleLoginStart&) = default;
};

}  // namespace wrenly
