#pragma once
// What the engine's runs in the simulated network need besides the lab: a TCP
// connection from the client to the server, and a program running in the
// client's namespace whose output lands in a file.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/FileDescriptor.h"
#include "tests/net/NetLab.h"

namespace orvella::testing {

inline constexpr uint16_t RdpPort = 3389;

// A TCP connection from the client to the server's remote-desktop port; the
// listener's backlog completes it, nobody needs to accept.
class TRdpConnection {
public:
  explicit TRdpConnection(const TNetLab& ALab) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(RdpPort);
    inet_pton(AF_INET, ALab.ServerIp().c_str(), &address.sin_addr);
    {
      const TNetLab::TEnter inServer(ALab, TNetLab::THost::Server);
      FListener = platform::TFd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
      const int yes = 1;
      setsockopt(FListener.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
      if (bind(FListener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
          listen(FListener.Get(), 4) != 0)
        throw std::runtime_error("cannot listen in the server");
    }
    const TNetLab::TEnter inClient(ALab, TNetLab::THost::Client);
    FClient = platform::TFd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (connect(FClient.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot connect to the server");
  }

private:
  platform::TFd FListener;
  platform::TFd FClient;
};

// A program in the client's namespace ("ip netns exec", which also gives it
// the client's hosts file), its standard output in a file.
class TClientProcess {
public:
  using Clock = std::chrono::steady_clock;

  TClientProcess(const TNetLab& ALab, const std::vector<std::string>& AArgs, const std::string& AOutput)
      : FOutput(AOutput) {
    std::vector<std::string> args = {"ip", "netns", "exec", ALab.Namespace(TNetLab::THost::Client)};
    args.insert(args.end(), AArgs.begin(), AArgs.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int output = open(AOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FPid = fork();
    if (FPid == 0) {
      dup2(output, STDOUT_FILENO);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(output);
  }
  ~TClientProcess() {
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
  }
  TClientProcess(const TClientProcess&) = delete;
  TClientProcess& operator=(const TClientProcess&) = delete;

  std::vector<std::string> LinesWith(const std::string& AText) const {
    std::ifstream file(FOutput);
    std::vector<std::string> found;
    for (std::string line; std::getline(file, line);)
      if (line.find(AText) != std::string::npos)
        found.push_back(line);
    return found;
  }
  bool WaitForLine(const std::string& AText, std::chrono::milliseconds ALimit) const {
    const auto deadline = Clock::now() + ALimit;
    while (LinesWith(AText).empty()) {
      if (Clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  void Signal(int ASignal) const { kill(FPid, ASignal); }
  pid_t Pid() const { return FPid; }
  // Sends ASignal and waits up to ALimit for the end: the exit code (128 plus
  // the signal for a killed process), -1 when it did not end in time.
  int Stop(int ASignal, std::chrono::milliseconds ALimit) {
    kill(FPid, ASignal);
    const auto deadline = Clock::now() + ALimit;
    int status = 0;
    while (wait4(FPid, &status, WNOHANG, &FUsage) == 0) {
      if (Clock::now() > deadline)
        return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FPid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // What the ended process used.
  const rusage& Usage() const { return FUsage; }

private:
  std::string FOutput;
  pid_t FPid = 0;
  rusage FUsage{};
};

}  // namespace orvella::testing
