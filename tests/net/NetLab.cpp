#include "tests/net/NetLab.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace orvella::testing {

namespace {

constexpr const char* LabPrefix = "orvnet";
constexpr const char* NetnsEtc = "/etc/netns";

// Runs a program without a shell; its standard output, or the exit status in
// AStatus.
std::string Execute(const std::vector<std::string>& AArgs, int& AStatus, const std::string& ANamespace = {}) {
  TChildRun child(AArgs, {.Namespace = ANamespace.empty() ? std::string() : "/run/netns/" + ANamespace});
  AStatus = child.Wait();
  return child.Output();
}

void Ip(const std::vector<std::string>& AArgs) {
  std::vector<std::string> args = {"ip"};
  args.insert(args.end(), AArgs.begin(), AArgs.end());
  int status = 0;
  Execute(args, status);
  if (status != 0) {
    std::string line;
    for (const std::string& arg : args)
      line += arg + " ";
    throw std::runtime_error("command failed: " + line);
  }
}

void IpQuiet(const std::vector<std::string>& AArgs) {
  try {
    Ip(AArgs);
  } catch (const std::runtime_error&) {
  }
}

const char* Suffix(TNetLab::THost AHost) {
  switch (AHost) {
  case TNetLab::THost::Client:
    return "cl";
  case TNetLab::THost::Router:
    return "rt";
  case TNetLab::THost::Internet:
    return "in";
  case TNetLab::THost::Server:
    return "sv";
  case TNetLab::THost::Mail:
    return "ml";
  }
  return "";
}

}  // namespace

std::string TNetLab::SkipReason() {
  if (geteuid() != 0)
    return "the simulated network needs root (network namespaces, raw sockets)";
  int status = 0;
  Execute({"ip", "-V"}, status);
  if (status != 0)
    return "the simulated network needs iproute2's ip";
  return {};
}

TNetLab::TNetLab(TOptions AOptions)
    : FOptions(AOptions), FPrefix(std::string(LabPrefix) + std::to_string(getpid()) + "-") {
  RemoveStaleLabs();
  for (THost host : {THost::Client, THost::Router, THost::Internet, THost::Server})
    FHosts[host].Namespace = FPrefix + Suffix(host);
  if (FOptions.WithMail)
    FHosts[THost::Mail].Namespace = FPrefix + Suffix(THost::Mail);
  char pattern[] = "/tmp/orvnet-XXXXXX";
  if (!mkdtemp(pattern))
    throw std::runtime_error("mkdtemp failed");
  FWorkDir = pattern;
  try {
    Build();
  } catch (...) {
    TearDown();
    throw;
  }
}

TNetLab::~TNetLab() { TearDown(); }

void TNetLab::TearDown() {
  for (auto& [host, state] : FHosts) {
    state.Responder.reset();
    // Deleting a namespace takes its veth ends and their peers with it.
    if (fs::exists("/run/netns/" + state.Namespace))
      IpQuiet({"netns", "del", state.Namespace});
  }
  std::error_code ignored;
  fs::remove_all(fs::path(NetnsEtc) / FHosts[THost::Client].Namespace, ignored);
  if (!FWorkDir.empty())
    fs::remove_all(FWorkDir, ignored);
  FWorkDir.clear();
}

void TNetLab::RemoveStaleLabs() {
  std::error_code error;
  for (const char* folder : {"/run/netns", NetnsEtc}) {
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(LabPrefix, 0) != 0)
        continue;
      const pid_t owner = static_cast<pid_t>(std::atol(name.c_str() + std::strlen(LabPrefix)));
      if (owner <= 0 || (kill(owner, 0) != 0 && errno == ESRCH)) {
        if (std::string(folder) == "/run/netns")
          IpQuiet({"netns", "del", name});
        else
          fs::remove_all(entry.path(), error);
      }
    }
  }
}

void TNetLab::Build() {
  const std::string& client = FHosts[THost::Client].Namespace;
  const std::string& router = FHosts[THost::Router].Namespace;
  const std::string& internet = FHosts[THost::Internet].Namespace;
  const std::string& server = FHosts[THost::Server].Namespace;
  for (const auto& [host, state] : FHosts) {
    Ip({"netns", "add", state.Namespace});
    Ip({"-n", state.Namespace, "link", "set", "lo", "up"});
  }
  auto link = [](const std::string& AOne, const std::string& AOneName, const std::string& AOther,
                 const std::string& AOtherName) {
    Ip({"link", "add", AOneName, "netns", AOne, "type", "veth", "peer", "name", AOtherName, "netns", AOther});
    Ip({"-n", AOne, "link", "set", AOneName, "up"});
    Ip({"-n", AOther, "link", "set", AOtherName, "up"});
  };
  link(client, "lan0", router, "lan0");
  Ip({"-n", client, "addr", "add", "10.77.1.2/24", "dev", "lan0"});
  Ip({"-n", router, "addr", "add", "10.77.1.1/24", "dev", "lan0"});
  Ip({"-n", client, "route", "add", "default", "via", GatewayIp});

  link(router, "wan0", internet, "wan0");
  Ip({"-n", router, "addr", "add", "10.77.2.1/24", "dev", "wan0"});
  Ip({"-n", internet, "addr", "add", "10.77.2.2/24", "dev", "wan0"});
  Ip({"-n", router, "route", "add", "default", "via", InternetIp});
  // The public resolver's address sits on an interface of its own.
  Ip({"link", "add", "dns0", "netns", internet, "type", "veth", "peer", "name", "dns1", "netns", internet});
  Ip({"-n", internet, "link", "set", "dns0", "up"});
  Ip({"-n", internet, "link", "set", "dns1", "up"});
  Ip({"-n", internet, "addr", "add", "8.8.8.8/32", "dev", "dns0"});
  Ip({"-n", internet, "route", "add", "10.77.0.0/16", "via", "10.77.2.1"});

  if (FOptions.ServerOnClientLan) {
    link(client, "srv0", server, "lan0");
    Ip({"-n", client, "addr", "add", "10.77.3.1/24", "dev", "srv0"});
    Ip({"-n", server, "addr", "add", "10.77.3.2/24", "dev", "lan0"});
    Ip({"-n", server, "route", "add", "default", "via", "10.77.3.1"});
  } else {
    link(router, "srv0", server, "lan0");
    Ip({"-n", router, "addr", "add", "10.77.4.1/24", "dev", "srv0"});
    Ip({"-n", server, "addr", "add", "10.77.4.2/24", "dev", "lan0"});
    Ip({"-n", server, "route", "add", "default", "via", "10.77.4.1"});
  }
  if (FOptions.WithMail) {
    const std::string& mail = FHosts[THost::Mail].Namespace;
    link(router, "mail0", mail, "lan0");
    Ip({"-n", router, "addr", "add", "10.77.5.1/24", "dev", "mail0"});
    Ip({"-n", mail, "addr", "add", std::string(MailIp) + "/24", "dev", "lan0"});
    Ip({"-n", mail, "route", "add", "default", "via", "10.77.5.1"});
  }
  WriteSysctl(THost::Router, "net/ipv4/ip_forward", "1");
  // Unprivileged ICMP sockets in the client, as Debian's systemd allows them.
  WriteSysctl(THost::Client, "net/ipv4/ping_group_range", "0 2147483647");

  const fs::path etc = fs::path(NetnsEtc) / client;
  fs::create_directories(etc);
  std::ofstream(etc / "hosts") << "127.0.0.1 localhost\n" << ServerIp() << " " << ServerName << "\n";
  // Name queries stay on the client's own loopback, where nobody answers them.
  std::ofstream(etc / "resolv.conf") << "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";

  for (THost host : {THost::Router, THost::Internet, THost::Server})
    StartResponder(host);
}

void TNetLab::AddHostName(const std::string& AName, const std::string& AAddress) const {
  std::ofstream(fs::path(NetnsEtc) / Namespace(THost::Client) / "hosts", std::ios::app)
      << AAddress << " " << AName << "\n";
}

void TNetLab::WriteSysctl(THost AHost, const std::string& AName, const std::string& AValue) const {
  TEnter inside(*this, AHost);
  std::ofstream file("/proc/sys/" + AName);
  file << AValue << "\n";
  file.close();
  if (!file)
    throw std::runtime_error("cannot set " + AName);
}

void TNetLab::StartResponder(THost AHost) {
  THostState& state = FHosts[AHost];
  state.Control = FWorkDir + "/" + Suffix(AHost) + ".control";
  state.Status = FWorkDir + "/" + Suffix(AHost) + ".status";
  state.Rules["default"] = TEchoRule::Reply();
  WriteRules(state);
  const std::string ns = "/run/netns/" + state.Namespace;
  if (!fs::exists(ns))
    throw std::runtime_error("cannot open namespace " + state.Namespace);
  // Never outlive the test, even when it is killed.
  state.Responder = std::make_unique<TChildRun>(
      std::vector<std::string>{ORVELLA_ICMP_RESPONDER, state.Control, state.Status},
      TChildSetup{.Output = TChildSetup::TOutput::Inherit, .Namespace = ns, .DeathSignal = SIGKILL});
  SetEcho(AHost == THost::Router ? GatewayIp : AHost == THost::Internet ? DnsIp : ServerIp(), TEchoRule::Reply());
}

void TNetLab::WriteRules(THostState& AState) {
  ++AState.Generation;
  const std::string temporary = AState.Control + ".tmp";
  {
    std::ofstream file(temporary);
    for (const auto& [address, rule] : AState.Rules) {
      const char* mode = rule.Mode == TEchoRule::TMode::Silent        ? "silent"
                         : rule.Mode == TEchoRule::TMode::Unreachable ? "unreachable"
                                                                      : "reply";
      file << address << " " << mode << " " << rule.DelayMs << " " << rule.DropPercent << " " << rule.Ttl << "\n";
    }
    file << "generation " << AState.Generation << "\n";
  }
  fs::rename(temporary, AState.Control);
}

TNetLab::THost TNetLab::OwnerOf(const std::string& AAddress) const {
  if (AAddress == DnsIp || AAddress.rfind("10.77.2.2", 0) == 0)
    return THost::Internet;
  if (AAddress == ServerIp())
    return THost::Server;
  if (AAddress == GatewayIp || AAddress.rfind("10.77.2.1", 0) == 0 || AAddress == "10.77.4.1")
    return THost::Router;
  throw std::invalid_argument("no host of the lab owns " + AAddress);
}

void TNetLab::SetEcho(const std::string& AAddress, const TEchoRule& ARule) {
  THostState& state = FHosts[OwnerOf(AAddress)];
  state.Rules[AAddress] = ARule;
  WriteRules(state);
  const std::string expected = "generation " + std::to_string(state.Generation);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    std::ifstream status(state.Status);
    std::string line;
    if (std::getline(status, line) && line == expected)
      return;
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("the ICMP responder of " + state.Namespace + " does not answer");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

const std::string& TNetLab::Namespace(THost AHost) const { return FHosts.at(AHost).Namespace; }

std::string TNetLab::ServerIp() const { return FOptions.ServerOnClientLan ? "10.77.3.2" : "10.77.4.2"; }

TNetLab::TEnter::TEnter(const TNetLab& ALab, THost AHost)
    : FPrevious(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
  const platform::TFd ns(open(("/run/netns/" + ALab.Namespace(AHost)).c_str(), O_RDONLY | O_CLOEXEC));
  if (!FPrevious.Valid() || !ns.Valid() || setns(ns.Get(), CLONE_NEWNET) != 0)
    throw std::runtime_error("cannot enter namespace " + ALab.Namespace(AHost));
}

TNetLab::TEnter::~TEnter() { setns(FPrevious.Get(), CLONE_NEWNET); }

void TNetLab::UseClientHosts() const {
  const std::string etc = std::string(NetnsEtc) + "/" + Namespace(THost::Client);
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_SLAVE | MS_REC, nullptr) != 0 ||
      mount((etc + "/hosts").c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0 ||
      mount((etc + "/resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
    throw std::runtime_error(std::string("cannot use the client's name files: ") + std::strerror(errno));
}

std::string TNetLab::Run(THost AHost, const std::vector<std::string>& AArgs) const {
  int status = 0;
  const std::string output = Execute(AArgs, status, Namespace(AHost));
  if (status != 0)
    throw std::runtime_error("command failed in " + Namespace(AHost) + ": " + AArgs.front());
  return output;
}

}  // namespace orvella::testing
