#include "shell/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "base/ExceptionReport.h"
#include "platform/SystemError.h"
#include "platform/linux/FileDescriptor.h"

namespace orvella {
namespace {

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

// A handler may only write to a pipe; the GUI thread reads the other end.
int GWriteEnd = -1;

void OnSignal(int) {
  const int savedErrno = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(GWriteEnd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

struct TTerminationSignals::TImpl {
  platform::TFd ReadEnd;
  platform::TFd WriteEnd;
  std::unique_ptr<QSocketNotifier> Notifier;

  ~TImpl() {
    for (const int signal : Signals)
      ::signal(signal, SIG_DFL);
    GWriteEnd = -1;
    Notifier.reset();
  }
};

TTerminationSignals::TTerminationSignals(std::function<void()> AOnRequest) : FImpl(std::make_unique<TImpl>()) {
  int pipe[2];
  if (pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    platform::RaiseLastOSError();
  FImpl->ReadEnd = platform::TFd(pipe[0]);
  FImpl->WriteEnd = platform::TFd(pipe[1]);
  GWriteEnd = FImpl->WriteEnd.Get();
  FImpl->Notifier = std::make_unique<QSocketNotifier>(FImpl->ReadEnd.Get(), QSocketNotifier::Read);
  QObject::connect(FImpl->Notifier.get(), &QSocketNotifier::activated, FImpl->Notifier.get(),
                   [readEnd = FImpl->ReadEnd.Get(), onRequest = std::move(AOnRequest)] {
                     char bytes[16];
                     while (read(readEnd, bytes, sizeof bytes) > 0) {
                     }
                     RunGuarded(onRequest);
                   });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : Signals)
    if (sigaction(signal, &action, nullptr) != 0)
      platform::RaiseLastOSError();
}

TTerminationSignals::~TTerminationSignals() = default;

}  // namespace orvella
