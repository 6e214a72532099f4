// bench_log_generator FOLDER [DAYS]: writes DAYS (default 7) days of logs of
// all six monitors, the last day being today.
#include <cstdio>
#include <cstdlib>

#include "platform/Clock.h"
#include "tests/support/LogGenerator.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_log_generator FOLDER [DAYS]\n");
    return 2;
  }
  const int days = argc > 2 ? std::atoi(argv[2]) : 7;
  const uint64_t bytes =
      orvella::testing::GenerateLogs(orvella::TLogsDir(argv[1]), orvella::platform::SystemClock().LocalNow(), days);
  std::printf("%llu bytes of logs in %s\n", static_cast<unsigned long long>(bytes), argv[1]);
  return 0;
}
