// A userspace answerer of ICMP echo requests for one network namespace, in
// place of the kernel's (which it switches off there). Per destination
// address it answers at once or after a delay, drops a share of the requests,
// answers "host unreachable" or stays silent. The rules come from a control
// file that may change while it runs; after applying a file it writes the
// file's generation to its status file.
//
//   orvella_icmp_responder CONTROL STATUS
//
// Control file lines: "generation N", then "ADDRESS MODE [DELAY_MS [DROP_PERCENT [TTL]]]"
// with ADDRESS a dotted address or "default" and MODE reply, silent or unreachable.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <queue>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/FileDescriptor.h"
#include "platform/linux/InternetChecksum.h"

namespace {

using TClock = std::chrono::steady_clock;

struct TRule {
  enum class TMode { Reply, Silent, Unreachable } Mode = TMode::Reply;
  int DelayMs = 0;
  int DropPercent = 0;
  int Ttl = 64;
  int DropAccumulator = 0;
};

struct TPending {
  TClock::time_point Due;
  uint32_t To;
  std::vector<uint8_t> Packet;
  bool operator>(const TPending& AOther) const { return Due > AOther.Due; }
};

class TResponder {
public:
  TResponder(std::string AControl, std::string AStatus)
      : FControl(std::move(AControl)), FStatus(std::move(AStatus)) {}

  int Run() {
    std::ofstream("/proc/sys/net/ipv4/icmp_echo_ignore_all") << "1\n";
    FSocket = orvella::platform::TFd(socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!FSocket.Valid()) {
      std::perror("responder: socket");
      return 1;
    }
    const int on = 1;
    if (setsockopt(FSocket.Get(), IPPROTO_IP, IP_HDRINCL, &on, sizeof on) != 0) {
      std::perror("responder: IP_HDRINCL");
      return 1;
    }
    for (;;) {
      Reload();
      int timeout = 20;
      if (!FQueue.empty()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(FQueue.top().Due - TClock::now()).count();
        timeout = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left, timeout)));
      }
      pollfd fd{FSocket.Get(), POLLIN, 0};
      if (poll(&fd, 1, timeout) > 0 && (fd.revents & POLLIN))
        Receive();
      while (!FQueue.empty() && FQueue.top().Due <= TClock::now()) {
        SendPacket(FQueue.top());
        FQueue.pop();
      }
    }
  }

private:
  void Reload() {
    struct stat info = {};
    if (stat(FControl.c_str(), &info) != 0)
      return;
    const int64_t stamp = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    if (stamp == FStamp && info.st_ino == FInode)
      return;
    std::ifstream file(FControl);
    std::map<std::string, TRule> rules;
    long generation = -1;
    std::string line;
    while (std::getline(file, line)) {
      std::istringstream fields(line);
      std::string address, mode;
      if (!(fields >> address >> mode))
        continue;
      if (address == "generation") {
        generation = std::stol(mode);
        continue;
      }
      TRule rule;
      rule.Mode = mode == "silent"        ? TRule::TMode::Silent
                  : mode == "unreachable" ? TRule::TMode::Unreachable
                                          : TRule::TMode::Reply;
      fields >> rule.DelayMs >> rule.DropPercent >> rule.Ttl;
      rules[address] = rule;
    }
    if (generation < 0)
      return;  // written half; the next look sees it whole
    FStamp = stamp;
    FInode = info.st_ino;
    FRules = rules;
    const std::string temporary = FStatus + ".tmp";
    std::ofstream(temporary) << "generation " << generation << "\n";
    std::rename(temporary.c_str(), FStatus.c_str());
  }

  TRule& RuleFor(uint32_t AAddress) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &AAddress, text, sizeof text);
    auto found = FRules.find(text);
    if (found == FRules.end())
      found = FRules.find("default");
    if (found == FRules.end())
      found = FRules.emplace("default", TRule{}).first;
    return found->second;
  }

  void Receive() {
    uint8_t buffer[65536];
    const ssize_t size = recv(FSocket.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (size < static_cast<ssize_t>(sizeof(iphdr)))
      return;
    iphdr ip;
    std::memcpy(&ip, buffer, sizeof ip);
    const size_t headerSize = ip.ihl * 4u;
    if (static_cast<size_t>(size) < headerSize + 8 || buffer[headerSize] != ICMP_ECHO)
      return;
    TRule& rule = RuleFor(ip.daddr);
    if (rule.Mode == TRule::TMode::Silent)
      return;
    // An even spread: every hundred requests lose exactly DropPercent of them.
    rule.DropAccumulator += rule.DropPercent;
    if (rule.DropAccumulator >= 100) {
      rule.DropAccumulator -= 100;
      return;
    }
    std::vector<uint8_t> icmp;
    if (rule.Mode == TRule::TMode::Reply) {
      icmp.assign(buffer + headerSize, buffer + size);
      icmp[0] = ICMP_ECHOREPLY;
    } else {
      // Destination unreachable, host: the request's IP header and its first 8 bytes.
      icmp = {ICMP_DEST_UNREACH, ICMP_HOST_UNREACH, 0, 0, 0, 0, 0, 0};
      icmp.insert(icmp.end(), buffer, buffer + headerSize + 8);
    }
    icmp[2] = icmp[3] = 0;
    const uint16_t checksum = orvella::platform::InternetChecksum(icmp.data(), icmp.size());
    std::memcpy(&icmp[2], &checksum, 2);

    iphdr reply{};
    reply.version = 4;
    reply.ihl = 5;
    reply.tot_len = htons(static_cast<uint16_t>(sizeof reply + icmp.size()));
    reply.ttl = static_cast<uint8_t>(rule.Ttl);
    reply.protocol = IPPROTO_ICMP;
    reply.saddr = ip.daddr;
    reply.daddr = ip.saddr;
    TPending pending{TClock::now() + std::chrono::milliseconds(rule.DelayMs), ip.saddr, {}};
    pending.Packet.resize(sizeof reply);
    std::memcpy(pending.Packet.data(), &reply, sizeof reply);
    pending.Packet.insert(pending.Packet.end(), icmp.begin(), icmp.end());
    if (rule.DelayMs == 0)
      SendPacket(pending);
    else
      FQueue.push(std::move(pending));
  }

  void SendPacket(const TPending& APending) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = APending.To;
    sendto(FSocket.Get(), APending.Packet.data(), APending.Packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
  }

  const std::string FControl;
  const std::string FStatus;
  orvella::platform::TFd FSocket;
  int64_t FStamp = -1;
  ino_t FInode = 0;
  std::map<std::string, TRule> FRules;
  std::priority_queue<TPending, std::vector<TPending>, std::greater<>> FQueue;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CONTROL STATUS\n", argv[0]);
    return 2;
  }
  return TResponder(argv[1], argv[2]).Run();
}
