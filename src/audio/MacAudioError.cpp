#include "audio/MacAudioError.h"

#include "platform/DesktopWording.h"

namespace wrenly {

std::string MacAudioError::localizedDescription() const {
  switch (value()) {
    case Kind::permissionDenied:
      return DesktopWording::microphonePermissionDenied;
    case Kind::unavailable:
      return "麥克風無法持續錄音，請檢查目前的音訊輸入裝置是否已連接。";
    case Kind::empty:
      return "沒有收到語音，請重新錄音。";
  }
  return "沒有收到語音，請重新錄音。";
}

}  // namespace wrenly
