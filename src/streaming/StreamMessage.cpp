#include "streaming/StreamMessage.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <boost/json/value.hpp>
#include <cstdint>
#include <limits>
#include <optional>

#include "service/JsonParsing.h"
#include "service/ReplyDecoding.h"

namespace wrenly {

namespace json = boost::json;

namespace {

std::optional<std::int64_t> integerField(const json::object& object, std::string_view key) {
  const json::value* value = object.if_contains(key);
  if (!value) return std::nullopt;
  if (value->is_int64()) return value->get_int64();
  if (value->is_uint64() &&
      value->get_uint64() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return static_cast<std::int64_t>(value->get_uint64());
  }
  return std::nullopt;
}

std::optional<std::string> stringField(const json::object& object, std::string_view key) {
  const json::value* value = object.if_contains(key);
  if (!value || !value->is_string()) return std::nullopt;
  return std::string(value->get_string());
}

std::optional<LiveRecognitionResult> decodeResult(const json::object& object) {
  auto transcript = stringField(object, "transcript");
  auto text = stringField(object, "text");
  auto segments = integerField(object, "segments");
  auto fallbackSegments = integerField(object, "fallbackSegments");
  if (!transcript || !text || !segments || !fallbackSegments) return std::nullopt;
  return LiveRecognitionResult{std::move(*transcript), std::move(*text), *segments,
                               *fallbackSegments};
}

}  // namespace

bool isBlank(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t offset = 0;
  while (offset < length) {
    UChar32 c;
    U8_NEXT(bytes, offset, length, c);
    if (c < 0 || !u_isUWhiteSpace(c)) return false;
  }
  return true;
}

StreamEvent interpretStreamMessage(std::string_view bytes, bool finishSent) {
  json::error_code ec;
  json::value message = parseJson(bytes, ec);
  if (ec || !message.is_object()) return StreamInvalid{};
  const json::object& object = message.get_object();
  const json::value* type = object.if_contains("type");
  if (!type || !type->is_string()) return StreamInvalid{};
  const json::string& kind = type->get_string();

  if (kind == "ready") return StreamReady{};
  if (kind == "result") {
    if (!finishSent) return StreamInvalid{};
    auto result = decodeResult(object);
    if (!result || isBlank(result->transcript) || isBlank(result->text)) return StreamInvalid{};
    return std::move(*result);
  }
  if (kind == "interim") {
    auto text = stringField(object, "text");
    if (!text) return StreamInvalid{};
    return StreamInterim{std::move(*text)};
  }
  if (kind == "error") {
    const json::value* code = object.if_contains("code");
    if (!code || !code->is_string()) return StreamServiceFailure{"unknown"};
    const std::string_view text = code->get_string();
    return StreamServiceFailure{isValidServiceCode(text) ? std::string(text) : "unknown"};
  }
  return StreamInvalid{};
}

}  // namespace wrenly
