// The counter repair's preparation on Wine's 64-bit Windows.
#include <gtest/gtest.h>

#include "platform/PerfServices.h"
#include "platform/SystemDir.h"

namespace orvella::platform {
namespace {

// A 64-bit process runs outside WOW64: it must not touch the file-system
// redirection (which fails there) and still finds both lodctr tools.
TEST(PerfServicesTest, A64BitProcessListsBothToolsWithoutWow64Redirection) {
  const std::string wow64Dir = SystemDirectory(true);
  ASSERT_FALSE(wow64Dir.empty()) << "a 64-bit Windows has a WOW64 system directory";
  const std::vector<TRepairCommand> commands = SystemPerfServices().PrepareRepairCommands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].Exe, SystemDirectory(false) + "\\lodctr");
  EXPECT_EQ(commands[1].Exe, wow64Dir + "\\lodctr");
  EXPECT_EQ(commands[2].Exe, "WINMGMT");
  for (const TRepairCommand& command : commands)
    EXPECT_EQ(command.Params, command.Exe == "WINMGMT" ? "/RESYNCPERF" : "/R");
}

}  // namespace
}  // namespace orvella::platform
