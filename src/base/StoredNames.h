#pragma once

#include <string_view>

namespace wrenly {

// Names that installed copies and the speech service already rely on: keys and values in the
// user's settings file, the keyring item, the request paths. They keep their first spelling
// byte for byte and must never change, whatever the code around them is called; a new name
// here means a migration of what users have stored. (The JSON field names of requests and
// replies are fixed in the same way, where they are read and written.)
namespace StoredNames {

// Settings keys.
inline constexpr const char* setupCompleteKey = "macShortcutSetupComplete";
inline constexpr const char* streamingConsentKey = "macStreamingConsentV1";
inline constexpr const char* triggerKeyKey = "recordingShortcut";
// The history of dictations is kept on disk, in its own file beside the settings file.
inline constexpr const char* historyOnDiskKey = "dictationHistoryOnDiskV1";
inline constexpr const char* historyFileName = "history.json";
inline constexpr const char* triggerModeKey = "triggerMode";
// The signed-in flag of a service is this prefix followed by its canonical base URL.
inline constexpr std::string_view activeFlagPrefix = "active.";

// The trigger keys as the settings file stores them.
inline constexpr std::string_view rightAlt = "rightOption";
inline constexpr std::string_view leftAlt = "leftOption";
inline constexpr std::string_view rightShift = "rightShift";
inline constexpr std::string_view leftShift = "leftShift";
inline constexpr std::string_view rightControl = "rightControl";
inline constexpr std::string_view leftControl = "leftControl";
inline constexpr std::string_view rightSuper = "rightCommand";
inline constexpr std::string_view leftSuper = "leftCommand";
inline constexpr std::string_view altSuperR = "optionCommandR";

// How the trigger key is used, as the settings file stores it.
inline constexpr std::string_view tapMode = "tap";
inline constexpr std::string_view holdMode = "hold";

// The keyring item's `service` attribute (its `account` is the canonical base URL).
inline constexpr std::string_view credentialService = "app.tervane.voice.mac.invitation";

// The service's sign-in call.
inline constexpr const char* signInStartPath = "account/mac/start";

}  // namespace StoredNames

}  // namespace wrenly
