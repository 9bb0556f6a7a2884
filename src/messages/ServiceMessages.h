#pragma once

// Texts about reaching the speech service that the program writes itself.
namespace wrenly::ServiceMessages {

// Nothing answers on this machine's service port: the local service is stopped or not installed.
inline constexpr const char* localServiceNotRunning =
    "本機語音服務未有運行，未能連線。請啟動 wrenly-speech-service（例如執行 "
    "systemctl --user start wrenly-speech-service.socket），然後再試。";

}  // namespace wrenly::ServiceMessages
