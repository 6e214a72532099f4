#include "shell/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include "base/ExceptionReport.h"

namespace orvella {
namespace {

// What a later start says to the running instance.
constexpr char ShowSettingsRequest[] = "settings\n";

}  // namespace

QString TSingleInstance::RuntimeFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return folder.isEmpty() ? QDir::tempPath() : folder;
}

TSingleInstance::TSingleInstance(std::function<void()> AOnAnotherStart, const QString& AFolder, int AWaitMs)
    : FOnAnotherStart(std::move(AOnAnotherStart)), FChannel(AFolder + QStringLiteral("/orvella.socket")),
      FLock(AFolder + QStringLiteral("/orvella.lock")) {
  // The lock of an instance that died is taken over; no age makes a lock stale.
  FLock.setStaleLockTime(0);
  // The running instance may be just starting or just ending: try until it
  // answers, or is gone and leaves the place to us.
  const QDeadlineTimer deadline(AWaitMs);
  while (!TryListen() && !(FHandedOver = TryHandOver()) && !deadline.hasExpired())
    QThread::msleep(100);
}

TSingleInstance::~TSingleInstance() {
  if (FServer)
    FServer->close();
}

bool TSingleInstance::TryListen() {
  if (!FLock.tryLock(0))
    return false;
  // Holding the lock, whatever is left at the channel is a dead instance's.
  QLocalServer::removeServer(FChannel);
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(FChannel)) {
    FLock.unlock();
    return false;
  }
  connect(server.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = FServer->nextPendingConnection()) {
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      connect(client, &QLocalSocket::readyRead, this, [this, client] {
        if (!client->canReadLine())
          return;
        const bool showSettings = client->readLine() == ShowSettingsRequest;
        client->disconnectFromServer();
        if (showSettings)
          RunGuarded(FOnAnotherStart);
      });
    }
  });
  FServer = std::move(server);
  return true;
}

bool TSingleInstance::TryHandOver() {
  QLocalSocket socket;
  socket.connectToServer(FChannel);
  if (!socket.waitForConnected(500))
    return false;
  socket.write(ShowSettingsRequest);
  // Answered when the running instance has read the request and hung up.
  return socket.waitForBytesWritten(1000) &&
         (socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(2000));
}

}  // namespace orvella
