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

  // How long a later start waits for a running instance that is ending: its
  // end waits for report mails, each bounded to about 90 s.
  static constexpr int EndingWaitMs = 120000;

  // Claims the user's instance in AFolder. When another instance holds it,
  // asks that one to run its AOnAnotherStart instead, waiting at most AWaitMs
  // for it to answer. AOnAnotherStart answers false when that instance is
  // ending: the hand-over is refused, and this start waits up to AEndingWaitMs
  // for the lock, to become the running instance itself.
  TSingleInstance(std::function<bool()> AOnAnotherStart, const QString& AFolder = RuntimeFolder(), int AWaitMs = 5000,
                  int AEndingWaitMs = EndingWaitMs);
  ~TSingleInstance() override;
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // True when this process is the user's running instance.
  bool Claimed() const { return FServer != nullptr; }
  // True when the running instance took the hand-over.
  bool HandedOver() const { return FHandedOver; }
  // True when the running instance refused the hand-over because it was ending.
  bool SawItEnding() const { return FSawItEnding; }

private:
  enum class THandOver { NoAnswer, Taken, Refused };

  bool TryListen();
  THandOver TryHandOver();

  const std::function<bool()> FOnAnotherStart;
  const QString FChannel;
  QLockFile FLock;
  std::unique_ptr<QLocalServer> FServer;
  bool FHandedOver = false;
  bool FSawItEnding = false;
};

}  // namespace orvella
