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

constexpr std::string_view tidyPrompt =
    "You tidy text for a dictation program. The user message is what the user dictated, as a "
    "speech recogniser wrote it. Add punctuation, sentence capitals and paragraph breaks where "
    "they belong, and answer with the text only. Never change, add or drop a word, and keep its "
    "language and script.";

std::string requestBody(const EndpointSettings& settings, std::string_view system,
                        std::string_view user) {
  return json::serialize(
      json::object{{"model", settings.model},
                   {"messages", json::array{json::object{{"role", "system"}, {"content", system}},
                                            json::object{{"role", "user"}, {"content", user}}}},
                   {"max_tokens", settings.maximumTokens},
                   {"temperature", 0},
                   {"stream", false}});
}

}  // namespace

std::string chatRequestBody(const EndpointSettings& settings, std::string_view selection,
                            std::string_view instruction) {
  return requestBody(settings, systemPrompt,
                     "Instruction:\n" + std::string(instruction) + "\n\nSelected text:\n" +
                         std::string(selection));
}

std::string tidyRequestBody(const EndpointSettings& settings, std::string_view dictation) {
  return requestBody(settings, tidyPrompt, dictation);
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
  return ask(chatRequestBody(settings_, selection, instruction), "rewrite");
}

std::variant<std::string, EngineFault> ChatRewriter::tidy(std::string_view dictation) const {
  auto tidied = ask(tidyRequestBody(settings_, dictation), "tidy");
  // A model that drops the whole dictation has failed, not tidied it.
  if (auto* text = std::get_if<std::string>(&tidied); text && text->empty()) {
    return EngineFault::malformedReply;
  }
  return tidied;
}

std::variant<std::string, EngineFault> ChatRewriter::ask(const std::string& body,
                                                         std::string_view what) const {
  const auto started = std::chrono::steady_clock::now();
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
  std::string line = std::string(what) + " elapsed_ms=" + std::to_string(elapsed.count());
  if (auto* fault = std::get_if<EngineFault>(&outcome)) {
    line += " fault=" + std::string(faultName(*fault));
  }
  log_.line(line);
  return outcome;
}

}  // namespace wrenly::speech
