#pragma once

#include <string>
#include <string_view>

namespace wrenly {

// Every sentence the core shows the user, in the one language of the interface (Traditional
// Chinese as written in Hong Kong). Texts with parts filled in are functions.
namespace Messages {

// A trigger press or retry refused while a sign-in, sign-out or account deletion runs.
inline constexpr const char* accountActionRunning = "帳戶操作仍在進行，完成後才可錄音。";
inline constexpr const char* accountActionRunningNotice = "帳戶操作進行中";

// Notices of a failed start or stop, also naming the failed step in a platform error.
inline constexpr const char* microphoneNotStarted = "麥克風無法啟動";
inline constexpr const char* recordingNotFinished = "錄音未完成";

// Errors that are not the program's own.
inline constexpr const char* unexpectedError = "發生未預期的錯誤，請稍後重試。";
inline constexpr const char* cancelled = "操作已取消。";
// What failed, for a platform error; the platform's own text follows in brackets.
inline constexpr const char* soundServerFailed = "音訊伺服器未能開啟麥克風";
inline constexpr const char* replyUnreadable = "未能讀取語音服務的回應";
inline constexpr const char* connectionFailed = "網絡連線發生錯誤";
inline constexpr const char* secureConnectionFailed = "無法與語音服務建立安全連線";
inline constexpr const char* systemFailed = "系統未能完成操作";
// The keyring, by the way it failed.
inline constexpr const char* keyringUnavailable = "找不到系統鑰匙圈服務，未能保存登入資料。";
inline constexpr const char* keyringLocked = "系統鑰匙圈已鎖定，未能保存登入資料；請先解鎖。";
inline constexpr const char* keyringTimedOut = "系統鑰匙圈沒有回應，未能保存登入資料。";
inline constexpr const char* keyringFailed = "系統鑰匙圈拒絕保存登入資料。";
inline std::string platformFailure(std::string_view whatFailed, std::string_view platformText) {
  std::string text(whatFailed);
  if (!platformText.empty()) text.append("（").append(platformText).append("）");
  return text.append("。");
}

}  // namespace Messages

}  // namespace wrenly
