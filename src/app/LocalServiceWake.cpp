#include "app/LocalServiceWake.h"

#include <QUrl>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <memory>
#include <system_error>

#include "service/ServiceEndpoint.h"

namespace wrenly {

void wakeNewLocalService(const ServiceConfiguration& configuration,
                         asio::any_io_executor executor) {
  std::error_code ignored;
  if (configuration.localSocket) {
    // Its pages' address is only known once it runs, and the privacy link needs it.
    if (std::filesystem::exists(localServiceAuthorityFile(), ignored) &&
        localServicePagesOrigin()) {
      return;
    }
    auto socket = std::make_shared<asio::local::stream_protocol::socket>(executor);
    socket->async_connect(
        asio::local::stream_protocol::endpoint(configuration.localSocket->string()),
        [socket](const boost::system::error_code&) {
          boost::system::error_code closed;
          socket->close(closed);
        });
    return;
  }
  if (!isLoopbackServiceURL(configuration.baseURLText) ||
      std::filesystem::exists(localServiceAuthorityFile(), ignored)) {
    return;
  }
  const QUrl url(QString::fromStdString(configuration.baseURLText));
  boost::system::error_code ec;
  // QUrl gives an IPv6 host without its brackets, as the address parser wants it.
  const auto address = asio::ip::make_address(url.host().toStdString(), ec);
  if (ec) return;  // "localhost": its service is started by the first call instead
  auto socket = std::make_shared<asio::ip::tcp::socket>(executor);
  socket->async_connect({address, static_cast<unsigned short>(url.port(443))},
                        [socket](const boost::system::error_code&) {
                          boost::system::error_code closed;
                          socket->close(closed);
                        });
}

}  // namespace wrenly
