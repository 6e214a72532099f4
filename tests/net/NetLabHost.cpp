// Holds a simulated network for a test written in another language.
//
//   orvella_netlab_host [--server-on-client-lan] [--mail]
//
// Builds the lab, prints one line of JSON with the namespaces and addresses,
// then obeys one command per line on standard input and answers each with
// "ok" or "error: <why>":
//
//   echo <address> reply <ms> | silent | unreachable
//   host <name> <address>        the client resolves <name> to <address>
//   connect | disconnect         the client's TCP connection to the server
//
// The lab goes away when standard input closes or on SIGTERM, SIGINT, SIGHUP.
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "tests/net/EngineRun.h"
#include "tests/net/NetLab.h"

using orvella::testing::TEchoRule;
using orvella::testing::TNetLab;
using orvella::testing::TRdpConnection;

namespace {

std::string Json(const TNetLab& ALab, bool AWithMail) {
  std::ostringstream text;
  auto field = [&text](const char* AName, const std::string& AValue) {
    text << (text.tellp() > 1 ? ", " : "") << '"' << AName << "\": \"" << AValue << '"';
  };
  text << '{';
  field("client", ALab.Namespace(TNetLab::THost::Client));
  field("router", ALab.Namespace(TNetLab::THost::Router));
  field("internet", ALab.Namespace(TNetLab::THost::Internet));
  field("server", ALab.Namespace(TNetLab::THost::Server));
  if (AWithMail) {
    field("mail", ALab.Namespace(TNetLab::THost::Mail));
    field("mail_ip", TNetLab::MailIp);
  }
  field("client_ip", TNetLab::ClientIp);
  field("gateway_ip", TNetLab::GatewayIp);
  field("internet_ip", TNetLab::InternetIp);
  field("dns_ip", TNetLab::DnsIp);
  field("server_ip", ALab.ServerIp());
  field("server_name", TNetLab::ServerName);
  text << '}';
  return text.str();
}

TEchoRule ParseRule(std::istringstream& AWords) {
  std::string mode;
  AWords >> mode;
  if (mode == "silent")
    return TEchoRule::Silent();
  if (mode == "unreachable")
    return TEchoRule::Unreachable();
  int delay = -1;
  if (mode != "reply" || !(AWords >> delay) || delay < 0)
    throw std::invalid_argument("expected: echo <address> reply <ms>|silent|unreachable");
  return TEchoRule::Reply(delay);
}

class TLabCommands {
public:
  explicit TLabCommands(TNetLab& ALab) : FLab(ALab) {}

  // Runs one command line; throws with the reason when it cannot.
  void Obey(const std::string& ALine) {
    std::istringstream words(ALine);
    std::string command;
    words >> command;
    if (command.empty()) {
      throw std::invalid_argument("empty command");
    } else if (command == "echo") {
      std::string address;
      words >> address;
      FLab.SetEcho(address, ParseRule(words));
    } else if (command == "host") {
      std::string name, address;
      if (!(words >> name >> address))
        throw std::invalid_argument("expected: host <name> <address>");
      FLab.AddHostName(name, address);
    } else if (command == "connect") {
      FConnection.reset();
      FConnection = std::make_unique<TRdpConnection>(FLab);
    } else if (command == "disconnect") {
      FConnection.reset();
    } else {
      throw std::invalid_argument("unknown command: " + command);
    }
  }

private:
  TNetLab& FLab;
  std::unique_ptr<TRdpConnection> FConnection;
};

// Reads commands until standard input closes or a stop signal arrives.
void Serve(TLabCommands& ACommands, int ASignals) {
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {ASignals, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (fds[1].revents != 0)
      return;
    char buffer[1024];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0)
      return;
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      try {
        ACommands.Obey(line);
        std::cout << "ok" << std::endl;
      } catch (const std::exception& AError) {
        std::cout << "error: " << AError.what() << std::endl;
      }
    }
  }
}

}  // namespace

int main(int AArgc, char** AArgv) {
  TNetLab::TOptions options;
  for (int i = 1; i < AArgc; ++i) {
    const std::string arg = AArgv[i];
    if (arg == "--server-on-client-lan") {
      options.ServerOnClientLan = true;
    } else if (arg == "--mail") {
      options.WithMail = true;
    } else {
      std::cerr << "usage: " << AArgv[0] << " [--server-on-client-lan] [--mail]\n";
      return 2;
    }
  }
  if (const std::string reason = TNetLab::SkipReason(); !reason.empty()) {
    std::cout << "{\"skip\": \"" << reason << "\"}" << std::endl;
    return 77;
  }
  // The stop signals are read in turn with the commands, so the lab is always
  // torn down by the destructors; a dying test takes us with it.
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP})
    sigaddset(&stops, signal);
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  const int signals = signalfd(-1, &stops, SFD_CLOEXEC);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  try {
    TNetLab lab(options);
    TLabCommands commands(lab);
    std::cout << Json(lab, options.WithMail) << std::endl;
    Serve(commands, signals);
  } catch (const std::exception& AError) {
    std::cout << "{\"error\": \"" << AError.what() << "\"}" << std::endl;
    return 1;
  }
  return 0;
}
