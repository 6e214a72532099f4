#include "base/CommandLineArgs.h"

#include <gtest/gtest.h>

namespace orvella {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLineArgs, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitCommandLineArgs(""), Args{});
  EXPECT_EQ(SplitCommandLineArgs("   "), Args{});
  EXPECT_EQ(SplitCommandLineArgs("FixCounters 1234  5678"), (Args{"FixCounters", "1234", "5678"}));
  EXPECT_EQ(SplitCommandLineArgs("a\tb "), (Args{"a", "b"}));
  EXPECT_EQ(SplitCommandLineArgs("\"C:\\Program Files\\x\" /y"), (Args{"C:\\Program Files\\x", "/y"}));
  EXPECT_EQ(SplitCommandLineArgs("pre\"fix suf\"fix"), (Args{"prefix suffix"}));
  EXPECT_EQ(SplitCommandLineArgs("\"\""), (Args{""}));
}

TEST(SplitCommandLineArgs, BackslashesBeforeQuotes) {
  EXPECT_EQ(SplitCommandLineArgs("a\\b c\\\\d"), (Args{"a\\b", "c\\\\d"}));
  EXPECT_EQ(SplitCommandLineArgs("\\\"x"), (Args{"\"x"}));
  EXPECT_EQ(SplitCommandLineArgs("\"a\\\\\" b"), (Args{"a\\", "b"}));
  EXPECT_EQ(SplitCommandLineArgs("\"say \"\"hi\"\"\""), (Args{"say \"hi\""}));
}

}  // namespace
}  // namespace orvella
