#include "service/RequestBodies.h"

#include <openssl/evp.h>

#include <boost/json/serialize.hpp>
#include <boost/json/string.hpp>
#include <boost/json/value.hpp>
#include <stdexcept>

namespace wrenly {

namespace {

std::string upperIdentifier(std::string_view id) {
  std::string result(id);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

// `text` as a JSON string literal, quotes included.
std::string quoted(std::string_view text) {
  return boost::json::serialize(boost::json::value(boost::json::string(text)));
}

size_t base64Length(size_t bytes) {
  return (bytes + 2) / 3 * 4;
}

// Encodes into `out`, which must have room for base64Length(bytes) characters plus one: the
// encoder always ends with a terminating zero.
void encodeBase64Into(std::span<const std::uint8_t> bytes, char* out) {
  // The encoder takes an int length; encode in chunks that are whole groups of three bytes.
  constexpr size_t chunk = size_t{3} << 20;
  size_t written = 0;
  for (size_t offset = 0; offset < bytes.size(); offset += chunk) {
    size_t length = std::min(chunk, bytes.size() - offset);
    written +=
        static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out + written),
                                            bytes.data() + offset, static_cast<int>(length)));
  }
  if (bytes.empty()) out[0] = '\0';
}

}  // namespace

std::string base64(std::span<const std::uint8_t> bytes) {
  std::string result(base64Length(bytes.size()) + 1, '\0');
  encodeBase64Into(bytes, result.data());
  result.pop_back();
  return result;
}

std::string transcribeBody(std::span<const std::uint8_t> wav, std::string_view languageCode,
                           const std::optional<std::string>& streamRecoveryID,
                           std::string_view requestID, std::string_view vocabulary) {
  const std::string head =
      "{\"requestID\":" + quoted(upperIdentifier(requestID)) + ",\"wavBase64\":\"";
  std::string tail = "\",\"language\":" + quoted(languageCode) + ",\"streamRecoveryID\":" +
                     quoted(upperIdentifier(streamRecoveryID.value_or("")));
  if (!vocabulary.empty()) tail += ",\"vocabulary\":" + quoted(vocabulary);
  tail += "}";
  const size_t encoded = base64Length(wav.size());
  std::string body;
  // The encoder's terminating zero lands where the tail starts and is overwritten by it.
  body.resize(head.size() + encoded + tail.size());
  std::copy(head.begin(), head.end(), body.begin());
  encodeBase64Into(wav, body.data() + head.size());
  std::copy(tail.begin(), tail.end(),
            body.begin() + static_cast<std::ptrdiff_t>(head.size() + encoded));
  return body;
}

std::string cleanBody(std::string_view requestID, const std::optional<std::string>& sourceRequestID,
                      std::string_view text) {
  return "{\"requestID\":" + quoted(upperIdentifier(requestID)) +
         ",\"operation\":\"macCleanupTraditional\",\"sourceRequestID\":" +
         quoted(upperIdentifier(sourceRequestID.value_or(""))) + ",\"text\":" + quoted(text) + "}";
}

std::string spokenTaskBody(std::string_view requestID,
                           const std::optional<std::string>& sourceRequestID,
                           std::string_view selectedText, std::string_view instruction) {
  return "{\"requestID\":" + quoted(upperIdentifier(requestID)) +
         ",\"operation\":\"selectedVoiceTask\",\"sourceRequestID\":" +
         quoted(upperIdentifier(sourceRequestID.value_or(""))) +
         ",\"text\":" + quoted(selectedText) + ",\"instruction\":" + quoted(instruction) + "}";
}

std::string signInStartBody(std::string_view token) {
  return "{\"token\":" + quoted(token) + "}";
}

}  // namespace wrenly
