#include "audio/RecorderError.h"
#include "messages/Messages.h"

namespace wrenly {

std::string RecorderError::localizedDescription() const {
  switch (value()) {
    case Kind::permissionDenied:
      return Messages::microphonePermissionDenied;
    case Kind::unavailable:
      return Messages::microphoneUnavailable;
    case Kind::empty:
      break;
  }
  return Messages::noSpeech;
}

}  // namespace wrenly
