#pragma once

#include "platform/Asio.h"

namespace wrenly {

struct ServiceConfiguration;

// The local speech service makes its certificate authority when it first starts, and it is
// started by the first connection to its socket; the client reads that authority before it
// connects, so on a fresh account the very first call could not trust the service. When the
// base URL is the local service and its authority does not exist yet, this opens and closes one
// connection to the service's port at launch, so the authority is there before the first
// dictation. Does nothing otherwise; never waits.
void wakeNewLocalService(const ServiceConfiguration& configuration, asio::any_io_executor executor);

}  // namespace wrenly
