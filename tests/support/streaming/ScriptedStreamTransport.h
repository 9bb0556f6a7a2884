#pragma once

#include <memory>
#include <string>

#include "streaming/StreamTransport.h"
#include "support/FailCount.h"

namespace wrenly {

// Transports that play the speech service without a network: "ready" on the first receive and
// `result` once the finish frame is sent. The `failures`' chosen operation (a connect, receive
// or send of any session) fails with a reset connection instead.
StreamTransportFactory scriptedStreamTransports(std::shared_ptr<FailCount> failures,
                                                std::string result);

}  // namespace wrenly
