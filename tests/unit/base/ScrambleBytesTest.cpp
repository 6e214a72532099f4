#include "base/ScrambleBytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
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

// Worked out apart from this code, from the algorithm's description: the state
// hashed as its four little-endian bytes with initial value 0, each byte XORed
// with the XOR of the new state's bytes. A change of either step breaks every
// stored mail password, so the stream is pinned byte for byte.
TEST(ScrambleBytes, GivesTheKnownKeyStream) {
  struct TCase {
    uint32_t Seed;
    std::string Input;
    std::string ExpectedHex;
  };
  const TCase cases[] = {
      {0, std::string(8, '\0'), "b903696b1b3c1484"},
      {1, std::string(8, '\0'), "6b8d3539d26e44a4"},
      {0x80000000, std::string(16, '\0'), "9deef6f342b4912c764eff9f7ee4dd0f"},
      {0xffffffff, std::string(5, '\xff'), "e9a882f010"},
      {0xdeadbeef, "Orvella", "00f3daf8650b17"},
      {20261209, std::string(12, '\0'), "919088a7847ed86e786cd014"},
  };
  for (const TCase& test : cases) {
    std::string buffer = test.Input;
    ScrambleBytes(buffer.data(), buffer.size(), test.Seed);
    std::string hex;
    for (const char c : buffer) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c));
      hex += digits;
    }
    EXPECT_EQ(hex, test.ExpectedHex) << "seed " << test.Seed;
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
