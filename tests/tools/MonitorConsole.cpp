// Runs the monitoring engine with a console owner:
//   orvella_monitor_console SERVER [--no-rdp] [--logs FOLDER] [--quick-trace]
// Prints each error set and report name with a time stamp and stops cleanly
// on SIGINT or SIGTERM; SIGUSR1 asks for a report. --quick-trace traces the
// route with one probe per hop instead of the system's full trace, for runs
// that are about what follows the trace.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/MonThread.h"
#include "platform/Exceptions.h"
#include "tests/tools/ConsoleOwner.h"

using namespace orvella;

namespace {

int Usage() {
  std::fprintf(stderr, "usage: orvella_monitor_console SERVER [--no-rdp] [--logs FOLDER] [--quick-trace]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  TMonThreadSettings settings{"", true};
  std::optional<std::string> logs;
  bool quickTrace = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-rdp") == 0)
      settings.LogRdp = false;
    else if (std::strcmp(argv[i], "--quick-trace") == 0)
      quickTrace = true;
    else if (std::strcmp(argv[i], "--logs") == 0 && i + 1 < argc)
      logs = argv[++i];
    else if (settings.RdpServer.empty() && argv[i][0] != '-')
      settings.RdpServer = argv[i];
    else
      return Usage();
  }
  if (settings.RdpServer.empty())
    return Usage();

  // Signals are taken by one thread with sigwait; every other thread,
  // the loop's children included until they exec, has them blocked.
  sigset_t handled;
  sigemptyset(&handled);
  sigaddset(&handled, SIGINT);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGUSR1);
  sigaddset(&handled, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);

  auto owner = std::make_shared<testing::TConsoleOwner>(settings, stdout);
  std::thread watcher([&] {
    for (;;) {
      int signal = 0;
      sigwait(&handled, &signal);
      if (signal == SIGUSR1) {
        owner->RequestReport();
        continue;
      }
      if (signal == SIGUSR2)
        return;  // the loop has ended
      owner->Terminate();
      return;
    }
  });

  int rc = 0;
  try {
    const TLogsDir logsDir = logs ? TLogsDir(*logs) : TLogsDir::FromLocalAppData();
    owner->Print("started " + settings.RdpServer + " logs " + logsDir.Path());
    TMonThreadPlatform platform{.LogsDir = logsDir};
    if (quickTrace)
      platform.TraceCommand = [](const std::string& AHost) {
        return std::vector<std::string>{"mtr", "--report", "--no-dns", "--report-cycles", "1", "--", AHost};
      };
    MonThreadRun(owner, platform);
    owner->Print("stopped");
  } catch (const Exception& error) {
    owner->Print(std::string("failed ") + error.ClassName() + ": " + error.what());
    rc = 1;
  } catch (const std::exception& error) {
    owner->Print(std::string("failed ") + error.what());
    rc = 1;
  }
  pthread_kill(watcher.native_handle(), SIGUSR2);
  watcher.join();
  return rc;
}
