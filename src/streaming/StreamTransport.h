#pragma once

#include <boost/asio/strand.hpp>
#include <boost/system/error_code.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Asio.h"
#include "streaming/StreamAddress.h"
#include "streaming/StreamTrust.h"

namespace wrenly {

class Clock;

// One WebSocket over TLS, driven from a single strand. Every completion runs on that strand.
// The transport keeps itself alive while an operation is outstanding, so its owner may drop it
// at any time; `close` makes every outstanding operation finish promptly.
class StreamTransport {
 public:
  using Strand = asio::strand<asio::any_io_executor>;
  using Completion = std::function<void(boost::system::error_code)>;
  using Reception = std::function<void(boost::system::error_code, std::string)>;
  using Headers = std::vector<std::pair<std::string, std::string>>;

  virtual ~StreamTransport() = default;

  // The real transport. Fails (through `ec`) when the extra authorities cannot be loaded.
  // `clock` bounds the closing handshake and must outlive the transport.
  static std::shared_ptr<StreamTransport> make(Strand strand, const StreamTrust& trust,
                                               Clock& clock, boost::system::error_code& ec);

  // Resolves, connects, checks the certificate against the host name and upgrades.
  virtual void connect(const StreamAddress& address, Headers headers, Completion done) = 0;
  // One message at a time; the payload of a text or binary frame.
  virtual void receive(Reception done) = 0;
  // At most one send at a time.
  virtual void sendBinary(std::vector<uint8_t> payload, Completion done) = 0;
  virtual void sendText(std::string payload, Completion done) = 0;
  // Says goodbye with a normal closure, after the frame being written when there is one (within
  // the closing handshake's bound); during the upgrade, drops the connection at once.
  virtual void close() = 0;
};

// Makes the transport of one session: StreamTransport::make outside tests.
using StreamTransportFactory = std::function<std::shared_ptr<StreamTransport>(
    StreamTransport::Strand, const StreamTrust&, Clock&, boost::system::error_code&)>;

}  // namespace wrenly
