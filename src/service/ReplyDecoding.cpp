#include "service/ReplyDecoding.h"

#include <boost/json/value.hpp>
#include <boost/system/system_error.hpp>

#include "service/JsonParsing.h"
#include "service/ServiceError.h"
#include "service/TextTrimming.h"

namespace wrenly {

std::string decodeText(std::string_view body) {
  boost::system::error_code error;
  boost::json::value reply = parseJson(body, error);
  if (error) throw boost::system::system_error(error);  // the parser's own error
  const auto* object = reply.if_object();
  const boost::json::value* text = object ? object->if_contains("text") : nullptr;
  const boost::json::string* string = text ? text->if_string() : nullptr;
  if (!string) throw ServiceError::emptyTranscript();
  std::string_view trimmed = trimWhitespaceAndNewlines(*string);
  if (trimmed.empty()) throw ServiceError::emptyTranscript();
  return std::string(trimmed);
}

std::optional<std::string> serviceErrorCode(std::string_view body) {
  boost::system::error_code ignored;
  boost::json::value reply = parseJson(body, ignored);
  if (ignored) return std::nullopt;
  const auto* object = reply.if_object();
  const boost::json::value* error = object ? object->if_contains("error") : nullptr;
  const auto* errorObject = error ? error->if_object() : nullptr;
  const boost::json::value* code = errorObject ? errorObject->if_contains("code") : nullptr;
  const boost::json::string* string = code ? code->if_string() : nullptr;
  if (!string) return std::nullopt;
  return std::string(*string);
}

bool isValidServiceCode(std::string_view code) {
  if (code.size() > 80) return false;
  for (char c : code) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

namespace {

boost::json::object parseObject(std::string_view body) {
  boost::system::error_code error;
  boost::json::value reply = parseJson(body, error);
  if (error) throw ReplyDecodingError(ReplyDecodingFailure::notJson);
  if (!reply.is_object()) throw ReplyDecodingError(ReplyDecodingFailure::notAnObject);
  return std::move(reply.as_object());
}

const boost::json::value& member(const boost::json::object& object, std::string_view name) {
  const boost::json::value* value = object.if_contains(name);
  if (!value) throw ReplyDecodingError(ReplyDecodingFailure::missingMember);
  return *value;
}

std::string stringMember(const boost::json::object& object, std::string_view name) {
  const auto* string = member(object, name).if_string();
  if (!string) throw ReplyDecodingError(ReplyDecodingFailure::wrongType);
  return std::string(*string);
}

}  // namespace

AccountStatus decodeAccountStatus(std::string_view body) {
  boost::json::object object = parseObject(body);
  const auto* active = member(object, "active").if_bool();
  if (!active) throw ReplyDecodingError(ReplyDecodingFailure::wrongType);
  return AccountStatus{*active};
}

EngineInfo decodeEngineInfo(std::string_view body) {
  boost::json::object object = parseObject(body);
  const auto* languages = member(object, "languages").if_array();
  if (!languages) throw ReplyDecodingError(ReplyDecodingFailure::wrongType);
  EngineInfo info{stringMember(object, "engine") == "built-in", {}};
  for (const boost::json::value& language : *languages) {
    const auto* raw = language.if_string();
    const auto known = raw ? VoiceLanguage::fromRaw(*raw) : std::nullopt;
    if (known && *known != VoiceLanguage::automatic) info.languages.push_back(*known);
  }
  return info;
}

SignInStart decodeSignInStart(std::string_view body) {
  boost::json::object object = parseObject(body);
  return SignInStart{stringMember(object, "authorizationURL"), stringMember(object, "state")};
}

}  // namespace wrenly
