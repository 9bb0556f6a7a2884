#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <variant>

#include "engine/EngineSettings.h"

typedef void CURL;

namespace wrenly::speech {

// Why a server gave no usable answer. Only these names reach the log.
enum class EngineFault {
  unreachable,     // no connection, or TLS refused
  timedOut,        // no answer within the request timeout
  busy,            // 429 or 503: the server asks to come back later
  refused,         // another 4xx: key, model or request not accepted
  failed,          // another status
  malformedReply,  // not the JSON expected
  oversizedReply,  // longer than largestReply
  cancelled,       // the request was given up
};

std::string_view faultName(EngineFault fault);

// The fault a status other than 2xx stands for; none for 2xx.
std::optional<EngineFault> faultOfStatus(long status);

// POST {base}/`path` with the key as a bearer token, certificates checked, no redirects, the
// timeouts and reply size of `settings`; `setBody` puts the body on the handle, `contentType`
// (when not empty) is sent as such. The 2xx reply body, or the fault. Each call has a
// connection of its own.
std::variant<std::string, EngineFault> postToEndpoint(const EndpointSettings& settings,
                                                      std::string_view path,
                                                      std::string_view contentType,
                                                      const std::function<void(CURL*)>& setBody,
                                                      const std::atomic<bool>& cancel);

}  // namespace wrenly::speech
