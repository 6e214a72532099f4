#include <gtest/gtest.h>

#include <string>

#include "platform/RouteTracer.h"

namespace orvella::platform {
namespace {

// The trace goes into the report as UTF-8 whatever the console wrote: each
// byte that is no character of its set becomes U+FFFD, including the lead
// bytes beyond U+10FFFF that iconv lets through from UTF-8 to UTF-8.
TEST(ConsoleText, TheTraceIsUtf8WhateverTheConsoleWrote) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(ConsoleTextToUtf8("\x92\xe0\xa0\xe1\xe1\xa8\xe0\xae\xa2\xaa\xa0", "CP866"), "Трассировка");
  EXPECT_EQ(ConsoleTextToUtf8("caf\xc3\xa9 \xff!", "UTF-8"), "café " + replacement + "!");
  EXPECT_EQ(ConsoleTextToUtf8("a\xf5\xb7\xb0\xac"
                              "b",
                              "UTF-8"),
            "a" + replacement + replacement + replacement + replacement + "b");
  EXPECT_EQ(ConsoleTextToUtf8("\xed\xa0\x80", "UTF-8"), replacement + replacement + replacement);
}

}  // namespace
}  // namespace orvella::platform
