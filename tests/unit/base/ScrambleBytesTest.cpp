#include "base/ScrambleBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace orvella {
namespace {

TEST(HashLittle, GivesTheAuthorsPublishedValues) {
  EXPECT_EQ(HashLittle("", 0, 0), 0xdeadbeefu);
  const char* text = "Four score and seven years ago";
  ASSERT_EQ(std::strlen(text), 30u);
  EXPECT_EQ(HashLittle(text, 30, 0), 0x17770551u);
  EXPECT_EQ(HashLittle(text, 30, 1), 0xcd628161u);
}

TEST(HashLittle, EveryTailLengthCountsItsBytes) {
  // Each length from 1 to 25 ends in a different branch of the last block;
  // a byte that a branch forgot would leave the hash unchanged.
  for (size_t length = 1; length <= 25; ++length) {
    std::string a(length, 'x');
    std::string b = a;
    b.back() = 'y';
    EXPECT_NE(HashLittle(a.data(), length, 0), HashLittle(b.data(), length, 0)) << length;
  }
}

TEST(ScrambleBytes, SecondCallWithTheSameSeedRestoresTheBuffer) {
  const std::string original = "Secret password \xd0\x9f\xd1\x80\xd0\xb8 with bytes\x01\xff";
  std::string buffer = original;
  ScrambleBytes(buffer.data(), buffer.size(), 0x12345678);
  EXPECT_NE(buffer, original);
  ScrambleBytes(buffer.data(), buffer.size(), 0x12345678);
  EXPECT_EQ(buffer, original);
}

TEST(ScrambleBytes, LengthZeroChangesNothingAndSeedsDiffer) {
  std::string buffer = "unchanged";
  ScrambleBytes(buffer.data(), 0, 42);
  EXPECT_EQ(buffer, "unchanged");

  std::string a(32, '\0');
  std::string b(32, '\0');
  ScrambleBytes(a.data(), a.size(), 1);
  ScrambleBytes(b.data(), b.size(), 2);
  EXPECT_NE(a, b);
  // A prefix is scrambled the same whatever follows it: the stream runs byte by byte.
  std::string prefix(8, '\0');
  ScrambleBytes(prefix.data(), prefix.size(), 1);
  EXPECT_EQ(prefix, a.substr(0, 8));
}

}  // namespace
}  // namespace orvella
