#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include "base/ExceptionReport.h"

namespace orvella {
namespace {

// What a later start says to the running instance, and its answers.
constexpr char ShowSettingsRequest[] = "settings\n";
constexpr char TakenAnswer[] = "ok\n";
constexpr char EndingAnswer[] = "ending\n";

}  // namespace

QString TSingleInstance::RuntimeFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return folder.isEmpty() ? QDir::tempPath() : folder;
}

TSingleInstance::TSingleInstance(std::function<bool()> AOnAnotherStart, const QString& AFolder, int AWaitMs,
                                 int AEndingWaitMs)
    : FOnAnotherStart(std::move(AOnAnotherStart)), FChannel(AFolder + QStringLiteral("/orvella.socket")),
      FLock(AFolder + QStringLiteral("/orvella.lock")) {
  // The lock of an instance that died is taken over; no age makes a lock stale.
  FLock.setStaleLockTime(0);
  // The running instance may be just starting or just ending: try until it
  // answers, or is gone and leaves the place to us.
  const QDeadlineTimer answerDeadline(AWaitMs);
  QDeadlineTimer endDeadline;
  while (!TryListen()) {
    switch (TryHandOver()) {
    case THandOver::Taken:
      FHandedOver = true;
      return;
    case THandOver::Refused:
      if (!FSawItEnding)
        endDeadline.setRemainingTime(AEndingWaitMs);
      FSawItEnding = true;
      break;
    case THandOver::NoAnswer:
      break;
    }
    if (FSawItEnding ? endDeadline.hasExpired() : answerDeadline.hasExpired())
      return;
    QThread::msleep(100);
  }
}

TSingleInstance::~TSingleInstance() {
  if (FServer)
    FServer->close();
}

bool TSingleInstance::TryListen() {
  if (!FLock.tryLock(0)) {
    // A lock in this process's own number that this process does not hold
    // was left by a dead one whose number came round again (Wine numbers its
    // processes alike in every session, a restarted PC may too): it is stale.
    qint64 holder = 0;
    QString host, application;
    if (FLock.error() != QLockFile::LockFailedError || !FLock.getLockInfo(&holder, &host, &application) ||
        holder != QCoreApplication::applicationPid() || !FLock.removeStaleLockFile() || !FLock.tryLock(0))
      return false;
  }
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
        if (client->readLine() != ShowSettingsRequest) {
          client->disconnectFromServer();
          return;
        }
        bool taken = false;
        RunGuarded([this, &taken] { taken = FOnAnotherStart(); });
        client->write(taken ? TakenAnswer : EndingAnswer);
        client->disconnectFromServer();
      });
    }
  });
  FServer = std::move(server);
  return true;
}

TSingleInstance::THandOver TSingleInstance::TryHandOver() {
  QLocalSocket socket;
  socket.connectToServer(FChannel);
  if (!socket.waitForConnected(500))
    return THandOver::NoAnswer;
  socket.write(ShowSettingsRequest);
  if (!socket.waitForBytesWritten(1000))
    return THandOver::NoAnswer;
  // The running instance answers once it has read the request, and hangs up.
  while (!socket.canReadLine() && socket.waitForReadyRead(2000)) {
  }
  const QByteArray answer = socket.readLine();
  if (answer == TakenAnswer)
    return THandOver::Taken;
  return answer == EndingAnswer ? THandOver::Refused : THandOver::NoAnswer;
}

}  // namespace orvella
