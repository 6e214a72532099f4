#pragma once
// One running instance per user: two monitors would append interleaved lines
// to the same daily files and show every window twice. The running instance
// holds a lock in the user's runtime folder and listens on a local channel
// beside it; a later start hands over to it through that channel and ends.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace orvella {

class TSingleInstance : public QObject {
  Q_OBJECT
public:
  // The user's runtime folder ($XDG_RUNTIME_DIR on Linux).
  static QString RuntimeFolder();

  // Claims the user's instance in AFolder. When another instance holds it,
  // asks that one to run its AOnAnotherStart instead, waiting at most
  // AWaitMs for it to answer or to end.
  TSingleInstance(std::function<void()> AOnAnotherStart, const QString& AFolder = RuntimeFolder(),
                  int AWaitMs = 5000);
  ~TSingleInstance() override;
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // True when this process is the user's running instance.
  bool Claimed() const { return FServer != nullptr; }
  // True when the running instance took the hand-over.
  bool HandedOver() const { return FHandedOver; }

private:
  bool TryListen();
  bool TryHandOver();

  const std::function<void()> FOnAnotherStart;
  const QString FChannel;
  QLockFile FLock;
  std::unique_ptr<QLocalServer> FServer;
  bool FHandedOver = false;
};

}  // namespace orvella
