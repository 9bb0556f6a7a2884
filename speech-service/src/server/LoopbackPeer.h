#pragma once

#include <optional>

namespace wrenly::speech {

// Where the kernel's socket table is read: its sock_diag answer (the exact connection asked
// for), or /proc/net/tcp{,6} (where netlink is not allowed, as under the installed unit).
enum class SocketTable { sockDiag, procNet };

// The user owning the other end of an accepted TCP connection on loopback, as the kernel's
// socket table records it: from sock_diag, or /proc/net where that does not answer. Nothing
// when it cannot be told: the other end already gone, or not on this machine.
std::optional<unsigned> loopbackPeerUid(int connection);
std::optional<unsigned> loopbackPeerUid(int connection, SocketTable table);

}  // namespace wrenly::speech
