#include "app/SingleInstance.h"

#include <sys/stat.h>
#include <QLocalSocket>

#include "platform/linux/browser/XdgBrowserSession.h"

namespace wrenly {
namespace {

constexpr int handOverWaitMs = 1000;

bool askRunningInstance(const QString& path, LaunchRequest request) {
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(handOverWaitMs)) return false;
  socket.write(request == LaunchRequest::toggle ? "toggle\n" : "show\n");
  return socket.waitForBytesWritten(handOverWaitMs);
}

// Anything but a known word, from an older or newer launcher, just shows the window.
void answer(QLocalSocket* peer, const SingleInstance::OnRequest& onRequest) {
  while (peer->canReadLine()) {
    const QByteArray line = peer->readLine(64).trimmed();
    onRequest(line == "toggle" ? LaunchRequest::toggle : LaunchRequest::show);
  }
}

}  // namespace

QString SingleInstance::socketPath() {
  const auto folder = XdgBrowserSession::defaultSocketPath().parent_path();
  return QString::fromStdString((folder / "instance.sock").string());
}

Expected<std::unique_ptr<SingleInstance>, SingleInstance::HandedOver> SingleInstance::claim(
    LaunchRequest request, OnRequest onRequest) {
  const QString path = socketPath();
  std::unique_ptr<SingleInstance> made(new SingleInstance);
  const std::filesystem::path folder = std::filesystem::path(path.toStdString()).parent_path();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  ::chmod(folder.c_str(), 0700);
  // Two launches at the same moment: the lock lets one of them decide at a time.
  made->lock_ = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
  made->lock_->lock();
  if (askRunningInstance(path, request)) return HandedOver{};
  QLocalServer::removeServer(path);  // a socket left by an instance that crashed
  made->server_.setSocketOptions(QLocalServer::UserAccessOption);
  made->server_.listen(path);
  made->lock_->unlock();
  QObject::connect(&made->server_, &QLocalServer::newConnection, &made->server_,
                   [server = &made->server_, onRequest = std::move(onRequest)] {
                     while (QLocalSocket* peer = server->nextPendingConnection()) {
                       QObject::connect(peer, &QLocalSocket::disconnected, peer,
                                        &QObject::deleteLater);
                       QObject::connect(peer, &QLocalSocket::readyRead, peer,
                                        [peer, onRequest] { answer(peer, onRequest); });
                     }
                   });
  return Expected<std::unique_ptr<SingleInstance>, HandedOver>(std::move(made));
}

}  // namespace wrenly
