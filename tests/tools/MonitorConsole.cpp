// Runs the monitoring engine with a console owner:
//   orvella_monitor_console SERVER [--no-rdp] [--logs FOLDER] [--seconds N] [--stand-in-counters] [--quick-trace]
// Prints each error set and report name with a time stamp and stops cleanly
// on SIGINT or SIGTERM (Ctrl+C on Windows) or after N seconds; SIGUSR1 asks
// for a report. --stand-in-counters gives the load monitors a fixed value
// instead of the system's counters, for systems (Wine) that lack them.
// --quick-trace traces the route with one probe per hop instead of the
// system's full trace, for runs that are about what follows the trace.
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/MonThread.h"
#include "platform/Exceptions.h"
#include "tests/support/FakePerfCounters.h"
#include "tests/tools/ConsoleOwner.h"

using namespace orvella;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: orvella_monitor_console SERVER [--no-rdp] [--logs FOLDER] [--seconds N] "
               "[--stand-in-counters] [--quick-trace]\n");
  return 2;
}

#ifdef _WIN32
// Ctrl+C and Ctrl+Break end the loop; the watcher waits for either or the time limit.
HANDLE StopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  SetEvent(StopEvent);
  return TRUE;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  TMonThreadSettings settings{"", true};
  std::optional<std::string> logs;
  long seconds = -1;
  bool standInCounters = false;
  bool quickTrace = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-rdp") == 0)
      settings.LogRdp = false;
    else if (std::strcmp(argv[i], "--quick-trace") == 0)
      quickTrace = true;
    else if (std::strcmp(argv[i], "--logs") == 0 && i + 1 < argc)
      logs = argv[++i];
    else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      seconds = std::atol(argv[++i]);
    else if (std::strcmp(argv[i], "--stand-in-counters") == 0)
      standInCounters = true;
    else if (settings.RdpServer.empty() && argv[i][0] != '-')
      settings.RdpServer = argv[i];
    else
      return Usage();
  }
  if (settings.RdpServer.empty())
    return Usage();

  auto owner = std::make_shared<testing::TConsoleOwner>(settings, stdout);
#ifdef _WIN32
  StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  std::thread watcher([&] {
    WaitForSingleObject(StopEvent, seconds < 0 ? INFINITE : static_cast<DWORD>(seconds * 1000));
    owner->Terminate();
  });
#else
  // Signals are taken by one thread with sigwait; every other thread,
  // the loop's children included until they exec, has them blocked.
  sigset_t handled;
  sigemptyset(&handled);
  sigaddset(&handled, SIGINT);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGUSR1);
  sigaddset(&handled, SIGUSR2);
  sigaddset(&handled, SIGALRM);
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  if (seconds >= 0)
    alarm(static_cast<unsigned>(seconds));

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
#endif

  int rc = 0;
  try {
    const TLogsDir logsDir = logs ? TLogsDir(*logs) : TLogsDir::FromLocalAppData();
    owner->Print("started " + settings.RdpServer + " logs " + logsDir.Path());
    testing::TFakePerfCounters standIn;
    standIn.Answers = {testing::TFakePerfCounters::Value(1.5)};
    TMonThreadPlatform monitorPlatform{.LogsDir = logsDir,
                                       .Counters = standInCounters ? static_cast<platform::IPerfCounters&>(standIn)
                                                                   : platform::SystemPerfCounters()};
    if (quickTrace)
      monitorPlatform.TraceCommand = [](const std::string& AHost) {
        return std::vector<std::string>{"mtr", "--report", "--no-dns", "--report-cycles", "1", "--", AHost};
      };
    MonThreadRun(owner, monitorPlatform);
    owner->Print("stopped");
  } catch (const Exception& error) {
    owner->Print(std::string("failed ") + error.ClassName() + ": " + error.what());
    rc = 1;
  } catch (const std::exception& error) {
    owner->Print(std::string("failed ") + error.what());
    rc = 1;
  }
#ifdef _WIN32
  SetEvent(StopEvent);
  watcher.join();
  CloseHandle(StopEvent);
#else
  pthread_kill(watcher.native_handle(), SIGUSR2);
  watcher.join();
#endif
  return rc;
}
