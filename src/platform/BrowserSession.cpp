#include "platform/BrowserSession.h"
#include "messages/Messages.h"

namespace wrenly {

std::string BrowserSessionError::localizedDescription() const {
  switch (value()) {
    case BrowserSessionFailure::startRefused:
      return Messages::browserRefused;
    case BrowserSessionFailure::cancelled:
      break;
  }
  return Messages::signInCancelled;
}

}  // namespace wrenly
