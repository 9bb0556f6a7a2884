#pragma once

#include <string>
#include <string_view>

namespace wrenly {

// Every sentence the core shows the user, in the interface's one language (Traditional Chinese
// as written in Hong Kong), so a wording or a translation changes one file. Texts with parts
// filled in are functions; `key` is a trigger key's title.
namespace Messages {

inline std::string withKey(std::string_view before, std::string_view key, std::string_view after) {
  return std::string(before).append(key).append(after);
}

// --- the trigger keys, as the desktop labels them ---
inline constexpr const char* rightAltTitle = "右 Alt";
inline constexpr const char* leftAltTitle = "左 Alt";
inline constexpr const char* rightShiftTitle = "右 Shift";
inline constexpr const char* leftShiftTitle = "左 Shift";
inline constexpr const char* rightControlTitle = "右 Control";
inline constexpr const char* leftControlTitle = "左 Control";
inline constexpr const char* rightSuperTitle = "右 Super";
inline constexpr const char* leftSuperTitle = "左 Super";
inline constexpr const char* altSuperRTitle = "Alt+Super+R";

// --- how the trigger key is used ---
inline constexpr const char* tapModeTitle = "按一下開始及停止";
inline constexpr const char* holdModeTitle = "按住說話";

// --- the status line and the overlay's notices during a dictation ---
inline constexpr const char* checkingService = "正在檢查語音服務…";
inline std::string ready(std::string_view key) {
  return withKey("按 ", key, " 開始語音輸入");
}
inline std::string readyHeld(std::string_view key) {
  return withKey("按住 ", key, " 說話，放開即完成");
}
// Nobody is signed in; the button it names is in the main window.
inline constexpr const char* signInPrompt =
    "請按下方的「使用 Apple 登入」按鈕登入，以啟用語音服務。";
inline constexpr const char* enableServiceNotice = "請先啟用語音服務";
inline constexpr const char* finishSetupFirst = "請先完成輔助使用權限與快捷鍵設定。";
inline constexpr const char* focusChanged = "輸入位置已變更，請在要輸入的文字框重新按錄音鍵。";
inline constexpr const char* selectionTooLong = "一次最多可處理 20,000 個字元，請縮小選取範圍。";
inline constexpr const char* selectionTooLongNotice = "請縮小選取範圍";
inline std::string noField(std::string_view key) {
  return withKey("請先點選要輸入文字的文字框，再按 ", key, "。");
}
inline constexpr const char* noFieldNotice = "請先點選文字輸入框";
inline constexpr const char* openingMicrophone = "正在開啟麥克風…";
inline constexpr const char* microphonePermissionNotice = "請開啟麥克風權限";
inline constexpr const char* microphoneNotStarted = "麥克風無法啟動";
inline constexpr const char* checkMicrophoneNotice = "請檢查麥克風連線";
inline constexpr const char* reconnectingMicrophone = "麥克風連線變更，正在重新連接…";
inline std::string recording(std::string_view key) {
  return withKey("錄音中；再按 ", key, " 完成");
}
inline std::string editingSelection(std::string_view key) {
  return withKey("已選取文字；請說出修改要求，再按 ", key, " 完成。");
}
// The same two while the key is held to talk.
inline std::string recordingHeld(std::string_view key) {
  return withKey("錄音中；放開 ", key, " 完成");
}
inline std::string editingSelectionHeld(std::string_view key) {
  return withKey("已選取文字；請說出修改要求，放開 ", key, " 完成。");
}
inline constexpr const char* recordingNotFinished = "錄音未完成";
// A take without speech is not sent: recognisers would invent words for it.
inline constexpr const char* noVoiceDetected = "未偵測到語音，錄音沒有送出；請對着麥克風再說一次。";
inline constexpr const char* noVoiceDetectedNotice = "未偵測到語音";
// A trigger press or retry refused while a sign-in, sign-out or account deletion runs.
inline constexpr const char* accountActionRunning = "帳戶操作仍在進行，完成後才可錄音。";
inline constexpr const char* accountActionRunningNotice = "帳戶操作進行中";

// --- processing and delivery ---
inline constexpr const char* recognizing = "正在辨識及整理文字…";
inline constexpr const char* recognizingTask = "正在辨識指令及修改選取文字…";
inline constexpr const char* streamFallback = "即時連線未完成，正在以完整錄音重新辨識…";
inline constexpr const char* retrying = "正在重新辨識保留的錄音…";
inline constexpr const char* pasteSent =
    "已向原本的輸入欄送出貼上；文字亦已複製，可按 Ctrl+V 重貼。";
inline constexpr const char* pasteSentNotice = "已送出貼上";
inline constexpr const char* copied = "未能確認原輸入欄；文字已複製，請按 Ctrl+V 貼上。";
inline constexpr const char* copiedNotice = "已複製，請按 Ctrl+V";
inline constexpr const char* copyFailed = "未能複製辨識文字；請在 Wrenly 視窗查看最近文字。";
inline constexpr const char* copyFailedNotice = "請查看最近文字";
inline constexpr const char* copiedLastText = "文字已複製；到輸入欄按 Ctrl+V 貼上。";
inline constexpr const char* cleanupIncomplete = " 語言整理未完成，已保留辨識內容。";
inline constexpr const char* recordingKept = " 錄音暫存在記憶體，可重試；結束 App 後會清除。";
inline constexpr const char* recordingKeptNotice = "未能完成，錄音已保留可重試";

// --- set-up and the accessibility permission ---
// Accessibility on Linux is the desktop's assistive technologies switch (the accessibility
// bus), found in its own settings, not a per-application permission.
inline constexpr const char* allowAccessibility =
    "請先在桌面設定開啟輔助技術（無障礙功能），讓 Wrenly 可以使用，完成後返回設定。";
inline constexpr const char* rightAltNeedsAccessibility =
    "右 Alt 鍵需要輔助使用權限；請在下方開啟權限，然後返回 Wrenly。";
inline constexpr const char* permissionGranted = " · 已取得輔助使用權限，可以設定錄音鍵。";
inline constexpr const char* permissionStillMissing =
    " · 仍未取得權限。請在桌面設定開啟輔助技術（無障礙功能），然後重新檢查。";
// The desktops share no link to their accessibility settings; empty means nothing is opened.
inline constexpr const char* accessibilitySettingsURL = "";
inline std::string setupDone(std::string_view key) {
  return withKey("設定完成。請先點選文字輸入框，再按 ", key, " 錄音。");
}

// --- the account ---
inline constexpr const char* openingSignIn = "正在開啟 Apple 登入…";
inline constexpr const char* signedIn = "登入成功。";
inline constexpr const char* signInFailed = "未能完成 Apple 登入，請再試一次。";
inline constexpr const char* signedOut = "已登出。";
inline constexpr const char* accountDeleted = "帳戶及本機登入資料已刪除。";

// --- the recorder's errors ---
// Microphone access on Linux is refused by the desktop's privacy settings (or a sandbox).
inline constexpr const char* microphonePermissionDenied =
    "請在桌面的私隱設定允許 Wrenly 使用麥克風。";
inline constexpr const char* microphoneUnavailable =
    "麥克風無法持續錄音，請檢查目前的音訊輸入裝置是否已連接。";
inline constexpr const char* noSpeech = "沒有收到語音，請重新錄音。";

// --- the speech service's errors ---
inline constexpr const char* credentialsRejected = "登入或使用資格已失效，請重新登入或聯絡支援。";
inline constexpr const char* anotherRequestRunning = "另一段語音仍在處理，請稍後重試。";
inline constexpr const char* serviceBusy = "語音服務繁忙，請稍後重試。";
inline constexpr const char* serviceUnavailable = "語音服務暫時無法使用，請稍後重試。";
inline constexpr const char* appleLoginFailed = "Apple 登入未完成，請再試一次。";
inline constexpr const char* accountDisabled = "此帳戶已停用，請聯絡支援。";
inline constexpr const char* signInExpired = "登入已失效，請重新登入。";
inline constexpr const char* previousRequestEnding = "上一段語音仍在結束，請稍後再試。";
inline constexpr const char* providerBusy = "語音供應商目前繁忙，請稍後再試。";
// The service's recognition engine failed or did not answer (`recognition_failed`).
inline constexpr const char* engineFailed = "語音引擎未能回應，錄音已保留，可稍後重試。";
inline constexpr const char* serviceFailed = "語音服務未能完成，請稍後重試。";
inline constexpr const char* invalidServiceURL = "請設定有效的 HTTPS 語音服務網址。";
inline constexpr const char* signInFirst = "請先使用 Apple 登入以啟用語音服務。";
inline constexpr const char* invalidResponse = "語音服務回應異常，請稍後重試。";
inline constexpr const char* emptyTranscript = "未能辨識語音，請重新錄音。";

// Signing in, named for what the user sees: Apple's page for a service that signs in there, or
// the local speech service's own page in the browser.
struct SignInWording {
  const char* prompt;        // nobody is signed in
  const char* opening;       // the browser is being opened
  const char* failed;        // the sign-in did not complete
  const char* notCompleted;  // the service answered "login_failed"
  const char* first;         // a call was made without a stored sign-in
};
inline constexpr SignInWording appleSignIn{signInPrompt, openingSignIn, signInFailed,
                                           appleLoginFailed, signInFirst};
inline constexpr SignInWording serviceSignIn{
    "請按下方的「登入語音服務」按鈕，在瀏覽器登入，以啟用語音服務。", "正在開啟瀏覽器登入語音服務…",
    "未能完成語音服務登入，請再試一次。", "語音服務登入未完成，請再試一次。",
    "請先在瀏覽器登入語音服務，以啟用語音服務。"};
inline constexpr const SignInWording& signInWording(bool localService) {
  return localService ? serviceSignIn : appleSignIn;
}
inline constexpr const char* replyUnreadable = "未能讀取語音服務的回應";

// --- the connection ---
inline constexpr const char* cannotConnect = "無法連線到語音服務，請檢查網絡連線後再試。";
// Nothing answers on this machine's service port: the local service is stopped or not installed.
inline constexpr const char* localServiceNotRunning =
    "本機語音服務未有運行，未能連線。請啟動 wrenly-speech-service（例如執行 "
    "systemctl --user start wrenly-speech-service.socket），然後再試。";
inline constexpr const char* connectionTimedOut = "連線逾時，請稍後重試。";
inline constexpr const char* connectionCancelled = "連線已取消。";
inline constexpr const char* connectionFailed = "網絡連線發生錯誤";
inline constexpr const char* secureConnectionFailed = "無法與語音服務建立安全連線";
inline constexpr const char* streamInvalidResponse = "即時語音服務回應異常。";
inline constexpr const char* streamStartTimeout = "即時語音服務未能及時連線。";
inline constexpr const char* streamFinalTimeout = "即時語音服務未能及時回覆。";
inline constexpr const char* streamBackpressure = "網絡太慢，即時語音未能及時傳送。";

// --- the browser and the keyring ---
inline constexpr const char* browserRefused = "未能開啟瀏覽器登入頁面。";
inline constexpr const char* signInCancelled = "登入已取消。";
inline constexpr const char* keyringUnavailable = "找不到系統鑰匙圈服務，未能保存登入資料。";
inline constexpr const char* keyringLocked = "系統鑰匙圈已鎖定，未能保存登入資料；請先解鎖。";
inline constexpr const char* keyringTimedOut = "系統鑰匙圈沒有回應，未能保存登入資料。";
inline constexpr const char* keyringFailed = "系統鑰匙圈拒絕保存登入資料。";

// --- errors that are not the program's own ---
inline constexpr const char* unexpectedError = "發生未預期的錯誤，請稍後重試。";
inline constexpr const char* cancelled = "操作已取消。";
// What failed, for a platform error; the platform's own text follows in brackets.
inline constexpr const char* soundServerFailed = "音訊伺服器未能開啟麥克風";
inline constexpr const char* systemFailed = "系統未能完成操作";
inline std::string platformFailure(std::string_view whatFailed, std::string_view platformText) {
  std::string text(whatFailed);
  if (!platformText.empty()) text.append("（").append(platformText).append("）");
  return text.append("。");
}

// --- the desktop session ---
// Why the desktop's windows, fields and keys cannot be reached (the program needs an X11
// session, or XWayland under a Wayland one).
inline constexpr const char* noXDisplay =
    "找不到 X 視窗系統（未設定 DISPLAY）；Wrenly 需要 X11 桌面或 XWayland 才能貼上文字及偵測按鍵。";
inline constexpr const char* xDisplayUnreachable = "無法連接 X 視窗系統；請確認桌面仍在運行。";
inline constexpr const char* noXInput2 = "X 視窗系統缺少 XInput 2.2 擴充，Wrenly 無法偵測觸發鍵。";
inline constexpr const char* noXTest = "X 視窗系統缺少 XTEST 擴充，Wrenly 無法送出貼上按鍵。";

// --- the own words (the window's word list and its file) ---
inline std::string ownWordsAdded(int count) {
  return "已加入 " + std::to_string(count) + " 項。";
}
// `lines` lists line numbers ("3、7"); empty for an entry typed in the window.
inline std::string ownWordsRefused(std::string_view lines, std::string_view reason) {
  if (lines.empty()) return std::string(reason).append("，未有加入。");
  return std::string("第 ").append(lines).append(" 行").append(reason).append("，未有加入。");
}
inline constexpr const char* ownWordsMalformed = "格式不符";
inline constexpr const char* ownWordsTooLong = "太長（每邊最多 60 字）";
inline constexpr const char* ownWordsOverLimit = "超出上限（字詞及替換各最多 200 項）";
inline std::string ownWordsFileBadLines(std::string_view lines) {
  return std::string("字詞檔案第 ").append(lines).append(" 行未能讀取，已原樣保留在檔案中。");
}
inline constexpr const char* ownWordsNotSaved = "未能儲存自訂字詞；更改只在這次執行期間有效。";
// The first lines of the words file and of an export.
inline constexpr const char* ownWordsFileHeader =
    "# Wrenly 自訂字詞：每行一項。\n"
    "# 字詞或名稱：直接寫，例如 Kowloon Tong\n"
    "# 替換：原文 => 替換文字（亦可用 -> 或 →），例如 github => GitHub\n";

}  // namespace Messages

}  // namespace wrenly
