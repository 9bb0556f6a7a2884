#pragma once

#include <string_view>

namespace wrenly::speech {

// Every text the service shows a person: the sign-in and privacy pages, in Traditional Chinese
// as written in Hong Kong.
namespace texts {
inline constexpr std::string_view signInTitle = "登入 Wrenly 本機語音服務";
inline constexpr std::string_view signInExplanation =
    "Wrenly 想使用這部電腦上的語音服務。語音只在本機辨識，不會傳送到其他地方。"
    "允許後，Wrenly 便可在你聽寫時使用這項服務。";
inline constexpr std::string_view allowButton = "允許並登入";
inline constexpr std::string_view denyButton = "取消";
inline constexpr std::string_view expiredTitle = "登入連結已失效";
inline constexpr std::string_view expiredExplanation =
    "這個登入連結已失效或已經用過。請回到 Wrenly 再按一次「登入」。";
inline constexpr std::string_view doneTitle = "已完成";
inline constexpr std::string_view doneExplanation = "你可以關閉這個頁面，回到 Wrenly。";
inline constexpr std::string_view returnLink = "回到 Wrenly";
inline constexpr std::string_view privacyTitle = "私隱說明";
inline constexpr std::string_view privacyParagraphs[] = {
    "Wrenly 本機語音服務在這部電腦上運行。你的錄音只在記憶體中辨識，辨識完畢即棄掉，"
    "不會寫入磁碟，也不會傳送到其他地方。",
    "服務只保存登入所需的資料：登入憑證的雜湊值（不保存憑證本身），以及每次請求的編號、"
    "類別和時間，用來處理重複或中斷的請求。辨識出的文字和你選取的文字都不會保存。",
    "服務的記錄檔只記下請求的路徑、結果代碼和所需時間，不含任何語音內容、文字或憑證。",
    "在 Wrenly 按「刪除帳戶及資料」，便會刪除你的帳戶和所有請求記錄。"};
}  // namespace texts

}  // namespace wrenly::speech
