#pragma once

#include <string_view>

namespace wrenly::speech {

// Every text the service shows a person: the sign-in pages, in Traditional Chinese as written
// in Hong Kong.
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
}  // namespace texts

}  // namespace wrenly::speech
