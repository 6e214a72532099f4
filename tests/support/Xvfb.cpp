#include "tests/support/Xvfb.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace orvella::testing {

TXvfb::TXvfb(const std::string& AScreen) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return;
  FServer = std::make_unique<TChildRun>(
      std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", AScreen, "-nolisten",
                               "tcp"},
      TChildSetup{.Output = TChildSetup::TOutput::Quiet, .KeepFd = pipeFds[1], .DeathSignal = SIGTERM});
  close(pipeFds[1]);
  // The server writes its display number and a line break once it is ready.
  std::string number;
  char c = 0;
  while (read(pipeFds[0], &c, 1) == 1 && c != '\n')
    number += c;
  close(pipeFds[0]);
  if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos)
    FDisplay = ":" + number;
}

TXvfb::~TXvfb() {
  // SIGTERM, so that the server removes its lock file and socket.
  if (FServer)
    FServer->Stop(SIGTERM, std::chrono::seconds(10));
}

}  // namespace orvella::testing
