#pragma once

#include <string>

#include "base/Expected.h"

namespace wrenly::speech {

// Why the service could not set one of its parts up; the message is the platform's own. Every
// factory of the service returns Expected<T, StartupError>.
enum class StartupFailure {
  dataFolder,
  certificates,
  accountStore,
  recogniser,
  textConversion,
  listener
};

struct StartupError {
  StartupFailure failure;
  std::string message;
};

}  // namespace wrenly::speech
