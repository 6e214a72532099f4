#include "base/ScrambleBytes.h"

namespace orvella {
namespace {

constexpr uint32_t Rot(uint32_t AValue, int ABits) { return (AValue << ABits) | (AValue >> (32 - ABits)); }

// The rounds stay in the columns of the published hash, so that they can be
// compared with it at a glance.
// clang-format off
void Mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a -= c; a ^= Rot(c, 4);  c += b;
  b -= a; b ^= Rot(a, 6);  a += c;
  c -= b; c ^= Rot(b, 8);  b += a;
  a -= c; a ^= Rot(c, 16); c += b;
  b -= a; b ^= Rot(a, 19); a += c;
  c -= b; c ^= Rot(b, 4);  b += a;
}

void Final(uint32_t& a, uint32_t& b, uint32_t& c) {
  c ^= b; c -= Rot(b, 14);
  a ^= c; a -= Rot(c, 11);
  b ^= a; b -= Rot(a, 25);
  c ^= b; c -= Rot(b, 16);
  a ^= c; a -= Rot(c, 4);
  b ^= a; b -= Rot(a, 14);
  c ^= b; c -= Rot(b, 24);
}
// clang-format on

// Up to four bytes as one little-endian word.
uint32_t Word(const uint8_t* ABytes, size_t ACount) {
  uint32_t value = 0;
  for (size_t i = 0; i < ACount; ++i)
    value |= static_cast<uint32_t>(ABytes[i]) << (8 * i);
  return value;
}

}  // namespace

uint32_t HashLittle(const void* AKey, size_t ALength, uint32_t AInitVal) {
  const auto* k = static_cast<const uint8_t*>(AKey);
  uint32_t a = 0xdeadbeef + static_cast<uint32_t>(ALength) + AInitVal;
  uint32_t b = a;
  uint32_t c = a;
  while (ALength > 12) {
    a += Word(k, 4);
    b += Word(k + 4, 4);
    c += Word(k + 8, 4);
    Mix(a, b, c);
    ALength -= 12;
    k += 12;
  }
  // The last block: 1 to 12 bytes, the missing ones count as zero.
  if (ALength == 0)
    return c;
  a += Word(k, ALength < 4 ? ALength : 4);
  if (ALength > 4)
    b += Word(k + 4, ALength < 8 ? ALength - 4 : 4);
  if (ALength > 8)
    c += Word(k + 8, ALength - 8);
  Final(a, b, c);
  return c;
}

void ScrambleBytes(void* ABuffer, size_t ALength, uint32_t ASeed) {
  auto* bytes = static_cast<uint8_t*>(ABuffer);
  uint32_t state = ASeed;
  for (size_t i = 0; i < ALength; ++i) {
    const uint8_t stateBytes[4] = {static_cast<uint8_t>(state), static_cast<uint8_t>(state >> 8),
                                   static_cast<uint8_t>(state >> 16), static_cast<uint8_t>(state >> 24)};
    state = HashLittle(stateBytes, sizeof stateBytes, 0);
    bytes[i] ^= static_cast<uint8_t>(state ^ (state >> 8) ^ (state >> 16) ^ (state >> 24));
  }
}

}  // namespace orvella
