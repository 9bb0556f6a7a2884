#include "server/LoopbackPeer.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace wrenly::speech {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Both ends of a connection, as seen from the side that accepted it.
struct Ends {
  sockaddr_storage peer{};
  sockaddr_storage local{};
};

std::uint16_t portOf(const sockaddr_storage& address) {  // in network order
  return address.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in&>(address).sin_port
                                      : reinterpret_cast<const sockaddr_in6&>(address).sin6_port;
}

// The address's bytes as the kernel's tables hold them: one word for IPv4, four for IPv6.
void copyAddress(const sockaddr_storage& address, __be32 (&words)[4]) {
  if (address.ss_family == AF_INET) {
    words[0] = reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr;
  } else {
    std::memcpy(words, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, 16);
  }
}

// Asks the kernel for the one socket whose own end is the peer's and whose other end is ours:
// the peer's socket, and its owner.
std::optional<unsigned> askSockDiag(const Ends& ends) {
  Descriptor diag(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (diag.get() < 0) return std::nullopt;
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = static_cast<std::uint8_t>(ends.peer.ss_family);
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  auto& id = message.request.id;
  id.idiag_sport = portOf(ends.peer);
  id.idiag_dport = portOf(ends.local);
  copyAddress(ends.peer, id.idiag_src);
  copyAddress(ends.local, id.idiag_dst);
  id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(diag.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
    return std::nullopt;
  }
  // The kernel answers a single-socket request before sendto returns.
  alignas(nlmsghdr) char reply[4096];
  const ssize_t size = ::recv(diag.get(), reply, sizeof reply, MSG_DONTWAIT);
  if (size <= 0) return std::nullopt;
  auto* header = reinterpret_cast<nlmsghdr*>(reply);
  int left = static_cast<int>(size);
  for (; NLMSG_OK(header, left); header = NLMSG_NEXT(header, left)) {
    if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) return std::nullopt;  // an error, or done
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return std::nullopt;
    const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
    if (found->id.idiag_sport == id.idiag_sport && found->id.idiag_dport == id.idiag_dport) {
      return found->idiag_uid;
    }
  }
  return std::nullopt;
}

// The same from /proc/net/tcp{,6}, whose addresses are the words above in hex and whose ports
// are in host order.
std::optional<unsigned> readProcTable(const Ends& ends) {
  auto endText = [](const sockaddr_storage& address) {
    __be32 words[4]{};
    copyAddress(address, words);
    char text[48];
    const unsigned port = ntohs(portOf(address));
    if (address.ss_family == AF_INET) {
      std::snprintf(text, sizeof text, "%08X:%04X", words[0], port);
    } else {
      std::snprintf(text, sizeof text, "%08X%08X%08X%08X:%04X", words[0], words[1], words[2],
                    words[3], port);
    }
    return std::string(text);
  };
  const std::string own = endText(ends.peer);
  const std::string other = endText(ends.local);
  std::ifstream table(ends.peer.ss_family == AF_INET ? "/proc/net/tcp" : "/proc/net/tcp6");
  std::string line;
  std::getline(table, line);  // the column names
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits;
    unsigned uid = 0;
    if (fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid &&
        local == own && remote == other) {
      return uid;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<unsigned> loopbackPeerUid(int connection) {
  if (auto uid = loopbackPeerUid(connection, SocketTable::sockDiag)) return uid;
  return loopbackPeerUid(connection, SocketTable::procNet);
}

std::optional<unsigned> loopbackPeerUid(int connection, SocketTable table) {
  Ends ends;
  socklen_t peerSize = sizeof ends.peer;
  socklen_t localSize = sizeof ends.local;
  if (::getpeername(connection, reinterpret_cast<sockaddr*>(&ends.peer), &peerSize) != 0 ||
      ::getsockname(connection, reinterpret_cast<sockaddr*>(&ends.local), &localSize) != 0) {
    return std::nullopt;
  }
  if (ends.peer.ss_family != ends.local.ss_family ||
      (ends.peer.ss_family != AF_INET && ends.peer.ss_family != AF_INET6)) {
    return std::nullopt;
  }
  return table == SocketTable::sockDiag ? askSockDiag(ends) : readProcTable(ends);
}

}  // namespace wrenly::speech
