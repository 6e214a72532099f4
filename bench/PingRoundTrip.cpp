// Round-trip times of our pinger against iputils ping, both asking the same
// responder of the simulated network, which answers after 50 ms, at the same
// moments (iputils ping sends one every 200 ms, ours follows each of its
// requests at once) with the same payload.
//
//   bench_ping [COUNT]
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/Pinger.h"
#include "platform/linux/Icmp.h"
#include "tests/net/NetLab.h"

using namespace orvella;
using orvella::testing::TEchoRule;
using orvella::testing::TNetLab;

namespace {

// A pinger whose samples the benchmark reads as they are logged.
class TBenchPinger : public TPinger {
public:
  using TPinger::TPinger;
  std::vector<double> Rtts;

protected:
  void GetValue(TSampleValue& AValue) override {
    TPinger::GetValue(AValue);
    if (AValue.IsInteger())
      Rtts.push_back(AValue.AsDouble());
  }
};

double Mean(const std::vector<double>& AValues) {
  double sum = 0;
  for (double value : AValues)
    sum += value;
  return AValues.empty() ? 0 : sum / static_cast<double>(AValues.size());
}

// The echo requests sent so far from the network namespace of this thread
// (OutEchos of its /proc/net/snmp, where names and values come in pairs of
// lines).
uint64_t EchoRequestsSent() {
  std::ifstream file("/proc/thread-self/net/snmp");
  for (std::string names, values; std::getline(file, names) && std::getline(file, values);) {
    if (names.rfind("Icmp:", 0) != 0)
      continue;
    std::istringstream nameFields(names), valueFields(values);
    for (std::string name, value; nameFields >> name && valueFields >> value;)
      if (name == "OutEchos")
        return std::stoull(value);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const std::string reason = TNetLab::SkipReason();
  if (!reason.empty()) {
    std::printf("skipped: %s\n", reason.c_str());
    return 0;
  }
  TNetLab lab;
  lab.SetEcho(TNetLab::GatewayIp, TEchoRule::Reply(50));

  std::string output;
  std::thread peer;
  std::vector<double> ours;
  // When each of our requests left, in seconds since the epoch, to set
  // beside the moments iputils ping sent its own.
  std::vector<double> oursSent;
  {
    char folder[] = "/tmp/orvella-bench-XXXXXX";
    if (!mkdtemp(folder))
      return 1;
    TLogsDir logs(folder);
    TNetLab::TEnter inClient(lab, TNetLab::THost::Client);
    platform::TLinuxIcmp icmp;
    TBenchPinger pinger(TLogId::gateway, logs, platform::SystemClock(), icmp);
    pinger.SetIp(inet_addr(TNetLab::GatewayIp));
    pinger.SetIpDescr("gateway");

    // iputils ping runs on a thread of its own; each of our requests follows
    // one of its requests as soon as the client's counters show it, so that
    // a delayed request of either does not pull the two apart.
    uint64_t sent = EchoRequestsSent();
    peer = std::thread([&] {
      output =
          lab.Run(TNetLab::THost::Client, {"ping", "-n", "-D", "-c", std::to_string(count), "-i", "0.2", "-s",
                                           std::to_string(TPinger::RequestDataSize), "-W", "4", TNetLab::GatewayIp});
    });
    for (int i = 0; i < count; ++i) {
      const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (EchoRequestsSent() == sent && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      TPinger* list[] = {&pinger};
      oursSent.push_back(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
      TPinger::BeginPing(list, -1);
      pinger.LogNewValue();
      sent = EchoRequestsSent();
    }
    ours = pinger.Rtts;
    std::filesystem::remove_all(folder);
  }
  peer.join();

  // "[1765292400.123456] 1008 bytes from ...: icmp_seq=1 ttl=64 time=50.3 ms":
  // the moment of the reply, less the round trip, is when the request left.
  std::vector<double> theirs;
  std::vector<double> theirsSent;
  const std::regex reply(R"(\[([0-9.]+)\][^\n]*time=([0-9.]+) ms)");
  for (auto it = std::sregex_iterator(output.begin(), output.end(), reply); it != std::sregex_iterator(); ++it) {
    theirs.push_back(std::stod((*it)[2]));
    theirsSent.push_back(std::stod((*it)[1]) - theirs.back() / 1000);
  }

  const size_t pairs = std::min(ours.size(), theirs.size());
  double largest = 0;
  std::vector<double> apart;
  for (size_t i = 0; i < pairs; ++i) {
    largest = std::max(largest, std::fabs(ours[i] - theirs[i]));
    apart.push_back(std::fabs(oursSent[i] - theirsSent[i]) * 1000);
  }
  std::printf("round trips to a responder answering after 50 ms, %d requests each, side by side\n", count);
  std::printf("  orvella pinger: %zu replies, mean %.2f ms (whole milliseconds)\n", ours.size(), Mean(ours));
  std::printf("  iputils ping:   %zu replies, mean %.3f ms\n", theirs.size(), Mean(theirs));
  std::printf("  difference of the means %.3f ms, largest difference of paired samples %.3f ms\n",
              Mean(ours) - Mean(theirs), largest);
  std::printf("  paired requests left %.1f ms apart on average (at most %.1f ms)\n", Mean(apart),
              apart.empty() ? 0.0 : *std::max_element(apart.begin(), apart.end()));
  return ours.size() == static_cast<size_t>(count) && theirs.size() == static_cast<size_t>(count) ? 0 : 1;
}
