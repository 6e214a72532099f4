#pragma once
// A simulated network for one test, built from network namespaces:
//
//   client 10.77.1.2 ---- 10.77.1.1 router 10.77.2.1 ---- 10.77.2.2 internet (8.8.8.8 on dns0)
//                                        10.77.4.1 ---- 10.77.4.2 server
//                                        10.77.5.1 ---- 10.77.5.2 mail (optional)
//
// or, with the server on the client's own network, client 10.77.3.1 ---- 10.77.3.2 server.
// The client's default gateway is the router; router, internet and server
// answer ICMP echo requests through our own responder (the kernel's answers
// are off there), whose behaviour per address can change while a test runs.
// The client resolves "rdp-server.test" through /etc/netns/<client>/hosts;
// its name server is its own loopback, so no query leaves the lab.
//
// A whole program runs as the client with "ip netns exec <Namespace(Client)>"
// (which also applies the client's hosts and resolv.conf); code of the test
// itself enters a namespace with TEnter. Responders are changed with SetEcho.
//
// Names carry the creating process's id; a lab left behind by a killed run is
// removed by the next one. Everything goes away with the object.
#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvella::testing {

struct TEchoRule {
  enum class TMode { Reply, Silent, Unreachable };
  TMode Mode = TMode::Reply;
  int DelayMs = 0;
  int DropPercent = 0;
  int Ttl = 64;

  static TEchoRule Reply(int ADelayMs = 0) { return {TMode::Reply, ADelayMs, 0, 64}; }
  static TEchoRule Silent() { return {TMode::Silent, 0, 0, 64}; }
  static TEchoRule Unreachable() { return {TMode::Unreachable, 0, 0, 64}; }
};

class TNetLab {
public:
  enum class THost { Client, Router, Internet, Server, Mail };

  static constexpr const char* ClientIp = "10.77.1.2";
  static constexpr const char* GatewayIp = "10.77.1.1";
  static constexpr const char* InternetIp = "10.77.2.2";
  static constexpr const char* DnsIp = "8.8.8.8";
  static constexpr const char* ServerName = "rdp-server.test";
  static constexpr const char* MailIp = "10.77.5.2";

  struct TOptions {
    bool ServerOnClientLan = false;
    // A mail host behind the router; the kernel answers its echo requests.
    bool WithMail = false;
  };

  // Empty when a lab can be built here, else why not (for GTEST_SKIP).
  static std::string SkipReason();

  explicit TNetLab(TOptions AOptions);
  TNetLab() : TNetLab(TOptions{}) {}
  ~TNetLab();
  TNetLab(const TNetLab&) = delete;
  TNetLab& operator=(const TNetLab&) = delete;

  // The name of the host's namespace, for "ip netns exec".
  const std::string& Namespace(THost AHost) const;
  // 10.77.4.2 behind the router, 10.77.3.2 on the client's network.
  std::string ServerIp() const;

  // Makes the client resolve AName to AAddress as well.
  void AddHostName(const std::string& AName, const std::string& AAddress) const;

  // Changes how the host that owns AAddress answers echo requests to it;
  // returns once its responder has taken the change.
  void SetEcho(const std::string& AAddress, const TEchoRule& ARule);

  // Puts the calling thread into a host's network namespace until destroyed.
  class TEnter {
  public:
    TEnter(const TNetLab& ALab, THost AHost);
    ~TEnter();
    TEnter(const TEnter&) = delete;
    TEnter& operator=(const TEnter&) = delete;

  private:
    int FPrevious;
  };

  // Makes this process resolve names through the client's hosts and
  // resolv.conf files, as
  // "ip netns exec" does (a mount namespace of its own; the process must
  // still be single-threaded).
  void UseClientHosts() const;

  // Runs a program in a host's namespace and returns its standard output;
  // std::runtime_error when it fails.
  std::string Run(THost AHost, const std::vector<std::string>& AArgs) const;

private:
  struct THostState {
    std::string Namespace;
    std::string Control;
    std::string Status;
    pid_t Responder = 0;
    long Generation = 0;
    std::map<std::string, TEchoRule> Rules;
  };

  static void RemoveStaleLabs();
  void TearDown();
  void Build();
  void StartResponder(THost AHost);
  void WriteRules(THostState& AState);
  THost OwnerOf(const std::string& AAddress) const;
  void WriteSysctl(THost AHost, const std::string& AName, const std::string& AValue) const;

  const TOptions FOptions;
  const std::string FPrefix;
  std::string FWorkDir;
  std::map<THost, THostState> FHosts;
};

}  // namespace orvella::testing
