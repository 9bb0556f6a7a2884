#include "engine/ChatRewriter.h"

#include <curl/curl.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <chrono>

#include "server/ServiceLog.h"

namespace wrenly::speech {

namespace json = boost::json;

namespace {

// Fixed, so that what the user says is only ever the instruction, never the system's rules.
constexpr std::string_view systemPrompt =
    "You edit text for a dictation program. The user message holds an instruction the user "
    "spoke and the text they selected. Apply the instruction to the text and answer with the "
    "edited text only: no preamble, no explanation, no quotation marks or code fences around "
    "it. Keep the text's language, script and line breaks unless the instruction asks "
    "otherwise. If the instruction asks to delete the text, answer with nothing.";

}  // namespace

std::string chatRequestBody(const EndpointSettings& settings, std::string_view selection,
                            std::string_view instruction) {
  const std::string user =
      "Instruction:\n" + std::string(instruction) + "\n\nSelected text:\n" + std::string(selection);
  return json::serialize(json::object{
      {"model", settings.model},
      {"messages", json::array{json::object{{"role", "system"}, {"content", systemPrompt}},
                               json::object{{"role", "user"}, {"content", user}}}},
      {"max_tokens", settings.maximumTokens},
      {"temperature", 0},
      {"stream", false}});
}

std::variant<std::string, EngineFault> rewrittenTextOf(std::string_view body) {
  boost::system::error_code ec;
  const json::value reply = json::parse(body, ec);
  const auto* object = ec ? nullptr : reply.if_object();
  const auto* choices = object ? object->if_contains("choices") : nullptr;
  const auto* list = choices ? choices->if_array() : nullptr;
  const auto* first = list && !list->empty() ? list->front().if_object() : nullptr;
  const auto* message = first ? first->if_contains("message") : nullptr;
  const auto* fields = message ? message->if_object() : nullptr;
  const auto* content = fields ? fields->if_contains("content") : nullptr;
  if (!content || !content->is_string()) return EngineFault::malformedReply;
  // An answer cut at the token limit is not the whole text: better none than half of it.
  const auto* reason = first->if_contains("finish_reason");
  if (reason && reason->is_string() && reason->as_string() == "length") {
    return EngineFault::oversizedReply;
  }
  return std::string(content->as_string());
}

std::variant<std::string, EngineFault> ChatRewriter::rewrite(std::string_view selection,
                                                             std::string_view instruction) const {
  const auto started = std::chrono::steady_clock::now();
  const std::string body = chatRequestBody(settings_, selection, instruction);
  static const std::atomic<bool> never{false};
  auto reply = postToEndpoint(
      settings_, "chat/completions", "application/json",
      [&](CURL* easy) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
      },
      never);
  std::variant<std::string, EngineFault> outcome =
      std::holds_alternative<EngineFault>(reply) ? reply
                                                 : rewrittenTextOf(std::get<std::string>(reply));
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  std::string line = "rewrite elapsed_ms=" + std::to_string(elapsed.count());
  if (auto* fault = std::get_if<EngineFault>(&outcome)) {
    line += " fault=" + std::string(faultName(*fault));
  }
  log_.line(line);
  return outcome;
}

}  // namespace wrenly::speech
