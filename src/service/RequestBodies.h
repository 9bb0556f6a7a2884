#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace wrenly {

// The JSON bodies of the recognition and text calls. Identifiers are sent in upper case; an
// absent one as the empty string.

// Built straight into one string: the WAV is Base64-encoded in place, so a three-minute
// recording costs one output buffer and no intermediate copies. A vocabulary hint is sent as the
// member "vocabulary" only when there is one: services that know no hint ignore the member, and
// without one the body is as it always was.
std::string transcribeBody(std::span<const std::uint8_t> wav, std::string_view languageCode,
                           const std::optional<std::string>& streamRecoveryID,
                           std::string_view requestID, std::string_view vocabulary = {});

std::string cleanBody(std::string_view requestID, const std::optional<std::string>& sourceRequestID,
                      std::string_view text);

std::string spokenTaskBody(std::string_view requestID,
                           const std::optional<std::string>& sourceRequestID,
                           std::string_view selectedText, std::string_view instruction);

std::string signInStartBody(std::string_view token);

// Standard Base64 (with padding, no line breaks) of `bytes`.
std::string base64(std::span<const std::uint8_t> bytes);

}  // namespace wrenly
