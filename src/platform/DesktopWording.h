#pragma once

namespace wrenly {

// The few interface texts that name keys or places differently on a Linux desktop. They are kept
// together so a translation or a later desktop (Wayland, another layout) changes one file.
namespace DesktopWording {

inline constexpr const char* rightAltTitle = "右 Alt";
inline constexpr const char* leftAltTitle = "左 Alt";
inline constexpr const char* rightSuperTitle = "右 Super";
inline constexpr const char* leftSuperTitle = "左 Super";
inline constexpr const char* altSuperRTitle = "Alt+Super+R";
inline constexpr const char* pasteKeys = "Ctrl+V";

// Dictation outcomes that tell the user which keys paste.
inline constexpr const char* copiedLastText = "文字已複製；到輸入欄按 Ctrl+V 貼上。";
inline constexpr const char* pasteSentMessage =
    "已向原本的輸入欄送出貼上；文字亦已複製，可按 Ctrl+V 重貼。";
inline constexpr const char* copiedMessage = "未能確認原輸入欄；文字已複製，請按 Ctrl+V 貼上。";
inline constexpr const char* copiedNotice = "已複製，請按 Ctrl+V";

// Accessibility on Linux is the desktop's assistive technologies switch (the accessibility
// bus), found in its own settings, not a per-application permission.
inline constexpr const char* allowAccessibility =
    "請先在桌面設定開啟輔助技術（無障礙功能），讓 Wrenly 可以使用，完成後返回設定。";
inline constexpr const char* rightAltNeedsAccessibility =
    "右 Alt 鍵需要輔助使用權限；請在下方開啟權限，然後返回 Wrenly。";
inline constexpr const char* permissionStillMissing =
    " · 仍未取得權限。請在桌面設定開啟輔助技術（無障礙功能），然後重新檢查。";
// The desktops share no link to their accessibility settings; empty means nothing is opened.
inline constexpr const char* accessibilitySettingsURL = "";

// Microphone access on Linux is refused by the desktop's privacy settings (or a sandbox), not by
// a system settings pane of its own.
inline constexpr const char* microphonePermissionDenied =
    "請在桌面的私隱設定允許 Wrenly 使用麥克風。";

// The prompt shown while nobody is signed in; the button it names is in the main window.
inline constexpr const char* signInPrompt =
    "請按下方的「使用 Apple 登入」按鈕登入，以啟用語音服務。";

// Why the desktop's windows, fields and keys cannot be reached (the program needs an X11
// session, or XWayland under a Wayland one).
inline constexpr const char* noXDisplay =
    "找不到 X 視窗系統（未設定 DISPLAY）；Wrenly 需要 X11 桌面或 XWayland 才能貼上文字及偵測按鍵。";
inline constexpr const char* xDisplayUnreachable = "無法連接 X 視窗系統；請確認桌面仍在運行。";
inline constexpr const char* noXInput2 = "X 視窗系統缺少 XInput 2.2 擴充，Wrenly 無法偵測觸發鍵。";
inline constexpr const char* noXTest = "X 視窗系統缺少 XTEST 擴充，Wrenly 無法送出貼上按鍵。";

}  // namespace DesktopWording

}  // namespace wrenly
