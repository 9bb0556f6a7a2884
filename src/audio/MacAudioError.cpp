#include "audio/MacAudioError.h"
#include "messages/Messages.h"

namespace wrenly {

std::string MacAudioError::localizedDescription() const {
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
