#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "engine/EndpointHttp.h"

namespace wrenly::speech {

class ServiceLog;

// Rewrites a selection as a spoken instruction asks, with an OpenAI-compatible chat endpoint:
// POST {base}/chat/completions, a fixed system prompt, the instruction and the selection as the
// user's message, the answer bounded by maximumTokens and the request timeout. Thread-safe.
class ChatRewriter {
 public:
  ChatRewriter(EndpointSettings settings, ServiceLog& log)
      : settings_(std::move(settings)), log_(log) {}

  std::variant<std::string, EngineFault> rewrite(std::string_view selection,
                                                 std::string_view instruction) const;
  // A dictation punctuated and capitalised, its words kept; only when the user asked for it.
  std::variant<std::string, EngineFault> tidy(std::string_view dictation) const;
  bool tidiesDictations() const { return settings_.tidiesDictations; }

 private:
  std::variant<std::string, EngineFault> ask(const std::string& body, std::string_view what) const;

  EndpointSettings settings_;
  ServiceLog& log_;
};

// The body of the chat request, and the text of its reply.
std::string chatRequestBody(const EndpointSettings& settings, std::string_view selection,
                            std::string_view instruction);
std::string tidyRequestBody(const EndpointSettings& settings, std::string_view dictation);
std::variant<std::string, EngineFault> rewrittenTextOf(std::string_view body);

}  // namespace wrenly::speech
