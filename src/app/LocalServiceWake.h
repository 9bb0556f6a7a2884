#pragma once

#include "platform/Asio.h"

namespace wrenly {

struct ServiceConfiguration;

// The local speech service makes its certificate authority when it first starts, and it is
// started by the first connection to its socket; the client reads that authority before it
// connects, so on a fresh account the very first call could not trust the service. When the
// base URL is the local service and its authority does not exist yet (or, reached through its
// socket, the address of its pages is not written yet), this opens and closes one connection to
// the service's socket or port at launch, so both are there before they are needed. Does nothing
// otherwise; never waits.
void wakeNewLocalService(const ServiceConfiguration& configuration, asio::any_io_executor executor);

}  // namespace wrenly
