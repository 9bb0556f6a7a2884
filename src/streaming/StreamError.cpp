#include "streaming/StreamError.h"
#include "messages/Messages.h"

namespace wrenly {

std::string StreamError::localizedDescription() const {
  switch (value()) {
    case Kind::invalidResponse:
      break;
    case Kind::startTimeout:
      return Messages::streamStartTimeout;
    case Kind::finalTimeout:
      return Messages::streamFinalTimeout;
    case Kind::backpressure:
      return Messages::streamBackpressure;
  }
  return Messages::streamInvalidResponse;
}

}  // namespace wrenly
