// The monitoring loop's period on the real clock and the real wait, with the
// network and the counters faked: an hour must hold 3600 cycles. It runs
// alone, since other tests' load would wake the loop late and stretch it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engine/MonThread.h"
#include "engine/Signals.h"
#include "platform/DateTime.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeIcmp.h"
#include "tests/support/FakeMonThreadOwner.h"
#include "tests/support/FakeNetworkTables.h"
#include "tests/support/FakePerfCounters.h"
#include "tests/support/FakeResolver.h"
#include "tests/support/TempDir.h"

namespace orvella {
namespace {

using Clock = std::chrono::steady_clock;
using testing::TFakeMonThreadOwner;

TEST(MonThreadTimingTest, CyclesStartASecondApartWithoutDrift) {
  const uint32_t server = platform::InetAddr("192.0.2.10");
  const uint32_t gateway = platform::InetAddr("10.0.0.1");
  testing::TTempDir dir;
  const TLogsDir logsDir(dir / "Logs");
  const testing::TFakeClock clock(EncodeDate(2021, 4, 19) + EncodeTime(12, 0, 0, 0));
  testing::TFakeTickSource icmpTicks;
  testing::TFakeIcmp icmp(icmpTicks);
  for (const uint32_t ip : {gateway, server, 0x08080808u})
    icmp.SetEcho(ip, testing::TFakeEcho::Reply(0));
  testing::TFakePerfCounters counters;
  counters.Answers = {testing::TFakePerfCounters::Value(1)};
  testing::TFakeResolver resolver;
  resolver.Names["srv"] = "192.0.2.10";
  testing::TFakeNetworkTables tables;
  tables.Route(server, platform::RouteTypeIndirect, gateway);
  tables.Rows.push_back({platform::MibTcpStateEstab, 0x0100007F, 0x3930, server, 0x3D0D});

  // A busy machine wakes the loop late and stretches its periods: as root
  // the loop's thread gets the first claim on the processor (a nice value,
  // not real-time scheduling, which would also take the kernel's timer slack
  // away).
  const int ownNice = getpriority(PRIO_PROCESS, 0);
  const bool favoured = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -20) == 0;

  // Every wait is a real one; a cycle starts when a full wait times out.
  constexpr int Cycles = 22;
  TSignals signals(1);
  std::vector<Clock::time_point> starts;
  auto owner = std::make_shared<TFakeMonThreadOwner>();
  owner->Settings = {"srv", true};
  owner->Answer = [&](const TFakeMonThreadOwner::TWait& AWait) {
    if (AWait.Indices == TSigSet{sigTerminate})
      return sigNone;
    if (starts.size() == Cycles)
      return sigTerminate;
    const uint8_t result = signals.Wait({0}, AWait.Timeout, 0);
    starts.push_back(Clock::now());
    return result;
  };
  MonThreadRun(owner, {.LogsDir = logsDir,
                       .Clock = clock,
                       .Icmp = icmp,
                       .Counters = counters,
                       .Resolver = resolver,
                       .Tables = tables});
  if (favoured)
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), ownNice);

  // The first wait follows the settings at once; the periods after it are
  // start to start. A busy machine wakes the loop late and stretches some
  // periods, never shortens one: the shortest tells whether the wait itself
  // ends on time. The cycle after a late one starts on the tick again, up to
  // a millisecond sooner.
  ASSERT_EQ(starts.size(), static_cast<size_t>(Cycles));
  std::vector<double> periods;
  for (size_t i = 2; i < starts.size(); ++i)
    periods.push_back(std::chrono::duration<double, std::milli>(starts[i] - starts[i - 1]).count());
  const double mean = std::chrono::duration<double, std::milli>(starts.back() - starts[1]).count() / periods.size();
  std::sort(periods.begin(), periods.end());
  std::printf("%s thread, period: shortest %.3f ms, median %.3f ms, mean %.3f ms, longest %.3f ms\n",
              favoured ? "favoured" : "ordinary", periods.front(), periods[periods.size() / 2], mean, periods.back());
  EXPECT_GT(periods.front(), 998.9);
  EXPECT_LT(periods.front(), 1000.3);
}

}  // namespace
}  // namespace orvella
