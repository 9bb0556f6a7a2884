#pragma once

// Every text of the window, the tray and the overlay. The controller's own texts (status line,
// notices, feedback) arrive already written in its state.
namespace wrenly::ShellMessages {

inline constexpr const char* appName = "Wrenly";
inline constexpr const char* edition = "Linux 預覽版";

// Set-up, step 1: the desktop's assistive technologies.
inline constexpr const char* step1Heading = "步驟 1／2 · 啟用輔助使用";
inline constexpr const char* step1Why =
    "Wrenly 需要桌面的輔助技術（無障礙功能），才能偵測您指定的錄音鍵，並將文字貼回原來的輸入框。"
    "沒有啟用就不能進入下一步。";
inline constexpr const char* step1How =
    "在桌面設定的「無障礙功能」（或「輔助技術」）打開輔助技術，完成後返回這個視窗。"
    "如果開關原本已亮起，但這裏仍顯示未授權，請先關閉再打開該開關。輔助技術必須由您親自開啟。";
inline constexpr const char* openAccessibilitySettings = "開啟桌面輔助使用設定";
inline constexpr const char* recheckPermission = "我已開啟，重新檢查";
inline constexpr const char* waitingForPermission = "等待系統授權";

// Set-up, step 2: the trigger key.
inline constexpr const char* step2Heading = "步驟 2／2 · 按一次錄音鍵";
inline constexpr const char* step2Suggestion =
    "建議按鍵：鍵盤右邊的 Alt。請現在按一下，Wrenly 偵測成功會亮綠燈。";
inline constexpr const char* step2Alternatives =
    "如果右 Alt 已有其他用途，也可直接按您想用的左／右 Alt、Shift、Ctrl 或 "
    "Super；左右鍵會分開辨識。";
inline constexpr const char* waitingForKey = "等待您按鍵…";
inline constexpr const char* detectedPrefix = "已偵測到 ";
inline constexpr const char* keyDetectionOff = "按鍵偵測尚未啟動。請重新檢查輔助使用權限。";
inline constexpr const char* restartKeyDetection = "重新啟用按鍵偵測";
inline constexpr const char* confirmTriggerKey = "確認並開始使用";
// Set-up, step 2, on a Wayland session, in two halves: how keys are read (or the remedy when they
// cannot be), then how text is pasted.
inline constexpr const char* waylandKeysFromDevices = "Wayland 工作階段：按鍵由鍵盤裝置直接讀取；";
inline constexpr const char* waylandKeysFromCompositor =
    "Wayland 工作階段：錄音鍵經 sway 的按鍵綁定傳來（單獨按放修飾鍵）；";
inline constexpr const char* waylandKeysUnreadable =
    "Wayland 工作階段：未能讀取鍵盤裝置，錄音鍵只在 X11（XWayland）視窗有效。"
    "請執行「sudo usermod -aG input $USER」後登出再登入，或把桌面的自訂快捷鍵設為「wrenly "
    "--toggle」；";
inline constexpr const char* waylandPasteByCompositor = "文字經混成器的虛擬鍵盤貼上。";
// The desktop (GNOME) may ask once per program session, at the first paste, in a dialog.
inline constexpr const char* waylandPasteByPortal =
    "文字經桌面的「遠端桌面」服務以鍵盤貼上：第一次貼上時桌面可能詢問，請勾選「允許遠端操作」並按"
    "「分享」（該次文字先複製到剪貼簿，之後直接貼上）；拒絕時文字只會複製到剪貼簿。";
inline constexpr const char* waylandPasteX11Only = "自動貼上只適用於 X11（XWayland）視窗。";
inline constexpr const char* loneTapOnly =
    "只有單獨按一下選定的鍵才會觸發；配合其他鍵輸入時不會觸發。您可隨時重新設定。";
inline constexpr const char* holdToTalkHint =
    "設定完成後，可在主視窗改用「按住說話」：按住錄音鍵時錄音，放開即完成；按不足 0.3 秒不算。";

inline constexpr const char* quit = "結束 Wrenly";

// Main view.
inline constexpr const char* checkingKeyring =
    "正在檢查密碼匙圈；若桌面要求解鎖或詢問是否允許 Wrenly 讀取，請在系統視窗確認。";
inline constexpr const char* meterLabel = "正在錄音，音量隨聲音變化";
inline constexpr const char* finishRecording = "完成錄音";
inline constexpr const char* startDictation = "開始語音輸入";
inline constexpr const char* howToDictate =
    "在輸入框按一次開始，再按一次完成；每段最多 3 分鐘。錄音時畫面底部中央會顯示聲波。";
inline constexpr const char* autoPasteOff =
    "自動貼回輸入欄尚未啟用：請在「服務設定及權限」開啟輔助使用權限。";
inline constexpr const char* triggerKeyLabel = "錄音鍵：";
inline constexpr const char* resetTriggerKey = "重新設定按鍵";
inline constexpr const char* triggerModeLabel = "錄音方式：";
// Where sway's bindings bring the keys, each tap arrives whole at the key's release.
inline constexpr const char* holdUnavailable =
    "sway 的按鍵綁定只在放開按鍵時通知 "
    "Wrenly，因此未能按住說話；錄音鍵會按一下開始、再按一下停止。";
inline constexpr const char* liveRecognition = "啟用即時語音辨識";
inline constexpr const char* liveRecognitionCaption =
    "開啟後，您按錄音鍵時會即時傳送音訊至語音服務，邊說邊辨識；停止後立即釋放麥克風。"
    "未開啟時仍於停止後上傳。";
inline constexpr const char* retryLastRecording = "重試上一段錄音";
inline constexpr const char* languageCaption =
    "語音語言自動辨認；廣東話輸出粵語繁體，普通話輸出台灣繁體，其他語言保留原文。";
inline constexpr const char* signIn = "使用 Apple 登入";
inline constexpr const char* signingIn = "正在登入…";
inline constexpr const char* privacy = "私隱說明";
inline constexpr const char* signOut = "登出 Apple 帳戶";
// The same two buttons for the local speech service, which signs in on its own page.
inline constexpr const char* signInToService = "登入語音服務";
inline constexpr const char* signOutOfService = "登出語音服務帳戶";
inline constexpr const char* deleteAccount = "刪除帳戶及資料";
inline constexpr const char* deleteTitle = "刪除帳戶及資料？";
inline constexpr const char* deleteConfirm = "確認刪除";
inline constexpr const char* deleteCancel = "取消";
inline constexpr const char* deleteExplanation =
    "您的帳戶、登入憑證及使用記錄將會從語音服務永久刪除，無法復原。";
inline constexpr const char* servicesAndPermissions = "服務設定及權限";
// Which engine the local service recognises with.
inline constexpr const char* builtInEngine =
    "語音引擎：本機內置引擎，只辨識英語。如要辨識中文，請為本機語音服務連接其他辨識引擎（見 "
    "README）。";
inline constexpr const char* otherEnginePrefix = "語音引擎：已連接的辨識引擎，語言：";
inline constexpr const char* languageSeparator = "、";
inline constexpr const char* cantoneseName = "粵語";
inline constexpr const char* mandarinName = "普通話";
inline constexpr const char* englishName = "英語";
inline constexpr const char* servicesExplanation =
    "開啟即時辨識時，音訊會在錄音期間送往語音服務；連線中斷時可能於停止後以上傳完整錄音重試。"
    "未開啟時於停止後上傳。若有選取文字，所選文字與口述修改要求亦會一併送出。"
    "自動填字需要桌面的輔助技術（無障礙功能）。";
inline constexpr const char* requestAccessibility = "開啟輔助使用權限";
inline constexpr const char* showDiagnostics = "顯示診斷記錄";
inline constexpr const char* diagnosticsCaption =
    "診斷記錄只記下每個步驟的時間及錯誤代碼，從不記錄語音內容或錄音。";
inline constexpr const char* copyLastText = "複製最近文字";

// The history of dictations.
inline constexpr const char* historyTitle = "最近的聽寫記錄";
inline constexpr const char* historyEmpty = "未有記錄。";
inline constexpr const char* copyEntry = "複製";
inline constexpr const char* pasteEntry = "再貼上";
inline constexpr const char* clearHistory = "清除記錄";
inline constexpr const char* historyOnDisk = "在這部電腦保留記錄（重新啟動後仍在）";
inline constexpr const char* historyCaption =
    "保留最近 20 段聽寫。預設只留在記憶體，結束 Wrenly 便會消失；「再貼上」會貼到目前的輸入欄。";
inline constexpr const char* historyEntrySeparator = " · ";
inline constexpr const char* historyDateFormat = "M月d日 HH:mm";
inline constexpr const char* historyTimeFormat = "HH:mm";

// Selected-text help.
inline constexpr const char* selectionHelpTitle = "反白文字後，用語音改寫或翻譯";
inline constexpr const char* selectionHelpBody =
    "在其他 App 反白文字，按錄音鍵，說出想要的效果，例如改寫風格、整理格式或翻譯成任何語言；"
    "再按一次錄音鍵，Wrenly 就會依照口述要求處理並取代所選文字。";

// Overlay.
inline constexpr const char* overlayRecording = "正在錄音";
inline constexpr const char* overlayProcessing = "正在轉寫";
inline constexpr const char* overlayStarting = "準備麥克風";
inline constexpr const char* overlayIdle = "Wrenly";
inline constexpr const char* overlayEditPrefix = "說出修改要求；再按 ";
inline constexpr const char* overlayStopPrefix = "再按 ";
inline constexpr const char* overlayStopSuffix = " 停止";
// The same, while the key is held to talk.
inline constexpr const char* overlayReleasePrefix = "放開 ";
inline constexpr const char* overlayEditReleasePrefix = "說出修改要求；放開 ";
inline constexpr const char* overlayWait = "請稍候…";
inline constexpr const char* waveformLabel = "錄音聲波，隨用戶音量變化";
inline constexpr const char* overlayWordsDescription = "說話期間辨識到的文字";

// The own words: a collapsible section of the main view.
inline constexpr const char* ownWords = "自訂字詞";
inline constexpr const char* ownWordsExplanation =
    "常說的字詞及名稱會作為辨識提示送往語音服務（引擎支援時）。替換會在貼上前套用於每段結果："
    "英文等拼音文字按整個字詞比對，小寫的原文不分大小寫；中日韓文字按原文比對。";
inline constexpr const char* ownWordsFormat =
    "每行一項：字詞或名稱直接寫；替換寫成「原文 => 替換文字」。匯入及匯出使用同一格式的文字檔。";
inline constexpr const char* ownWordsList = "自訂字詞清單";
inline constexpr const char* ownWordsEntry = "新字詞或替換";
inline constexpr const char* ownWordsPlaceholder = "字詞，或 原文 => 替換文字";
inline constexpr const char* ownWordsAdd = "加入";
inline constexpr const char* ownWordsRemove = "移除所選";
inline constexpr const char* ownWordsImport = "匯入…";
inline constexpr const char* ownWordsExport = "匯出…";
inline constexpr const char* ownWordsImportTitle = "匯入自訂字詞";
inline constexpr const char* ownWordsExportTitle = "匯出自訂字詞";
inline constexpr const char* ownWordsFileFilter = "文字檔 (*.txt);;所有檔案 (*)";
inline constexpr const char* ownWordsExportName = "wrenly-words.txt";
inline constexpr const char* ownWordsUnreadable = "未能讀取所選檔案。";
inline constexpr const char* ownWordsTooLarge = "檔案太大，自訂字詞檔案最多 256 KB。";
inline constexpr const char* ownWordsExportFailed = "未能寫入所選檔案：";
inline constexpr const char* ownWordsExported = "已匯出自訂字詞。";

// Start-up failures, printed before the program exits.
inline constexpr const char* noDisplay =
    "Wrenly 無法啟動：連接不到圖形顯示。請在桌面工作階段內啟動（需要 X11，並已設定 DISPLAY）。";
inline constexpr const char* noTray =
    "Wrenly 無法啟動：這個桌面沒有系統匣。請開啟桌面的系統匣（通知區域）後再試。";
inline constexpr const char* noSoundServer =
    "Wrenly 無法啟動：連接不到聲音伺服器（PulseAudio 或 PipeWire）。請確認聲音服務正在執行。";
inline constexpr const char* noKeyring =
    "Wrenly 無法啟動：連接不到密碼匙圈（Secret Service，例如 GNOME 密碼匙圈或 KWallet）。"
    "請確認密碼匙圈服務正在執行。";
inline constexpr const char* startFailedPrefix = "Wrenly 無法啟動：";

}  // namespace wrenly::ShellMessages
