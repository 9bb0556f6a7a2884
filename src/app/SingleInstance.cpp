#include "app/SingleInstance.h"

#include <sys/stat.h>
#include <QLocalSocket>

#include "platform/linux/browser/XdgBrowserSession.h"

namespace wrenly {
namespace {

constexpr int handOverWaitMs = 1000;

bool askRunningInstance(const QString& path) {
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(handOverWaitMs)) return false;
  socket.write("show\n");
  return socket.waitForBytesWritten(handOverWaitMs);
}

}  // namespace

QString SingleInstance::socketPath() {
  const auto folder = XdgBrowserSession::defaultSocketPath().parent_path();
  return QString::fromStdString((folder / "instance.sock").string());
}

Expected<std::unique_ptr<SingleInstance>, SingleInstance::HandedOver> SingleInstance::claim(
    std::function<void()> onShow) {
  const QString path = socketPath();
  std::unique_ptr<SingleInstance> made(new SingleInstance);
  const std::filesystem::path folder = std::filesystem::path(path.toStdString()).parent_path();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  ::chmod(folder.c_str(), 0700);
  // Two launches at the same moment: the lock lets one of them decide at a time.
  made->lock_ = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
  made->lock_->lock();
  if (askRunningInstance(path)) return HandedOver{};
  QLocalServer::removeServer(path);  // a socket left by an instance that crashed
  made->server_.setSocketOptions(QLocalServer::UserAccessOption);
  made->server_.listen(path);
  made->lock_->unlock();
  QObject::connect(&made->server_, &QLocalServer::newConnection, &made->server_,
                   [server = &made->server_, onShow = std::move(onShow)] {
                     while (QLocalSocket* peer = server->nextPendingConnection()) {
                       QObject::connect(peer, &QLocalSocket::disconnected, peer,
                                        &QObject::deleteLater);
                       onShow();
                     }
                   });
  return Expected<std::unique_ptr<SingleInstance>, HandedOver>(std::move(made));
}

}  // namespace wrenly
