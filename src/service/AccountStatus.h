#pragma once

#include <string>
#include <vector>

#include "text/VoiceLanguage.h"

namespace wrenly {

// The service's answer to "may this token use the service?".
struct AccountStatus {
  bool active = false;
  friend bool operator==(const AccountStatus&, const AccountStatus&) = default;
};

// Which engine a local service recognises with, and the languages it serves ("auto" aside).
struct EngineInfo {
  bool builtIn = false;  // the service's own engine, English only
  std::vector<VoiceLanguage> languages;
  friend bool operator==(const EngineInfo&, const EngineInfo&) = default;
};

// The first leg of sign-in: the page to open and the value its callback must carry back.
struct SignInStart {
  std::string authorizationURL;
  std::string state;
  friend bool operator==(const SignInStart&, const SignInStart&) = default;
};

}  // namespace wrenly
