#pragma once
// A set of signal indices 0 to 255 that selects what a wait listens to.
#include <bitset>
#include <cstdint>
#include <initializer_list>

namespace orvella {

class TSigSet {
public:
  TSigSet() = default;
  TSigSet(std::initializer_list<uint8_t> AIndices) {
    for (const uint8_t index : AIndices)
      FBits.set(index);
  }
  bool Contains(uint8_t AIndex) const { return FBits.test(AIndex); }
  void Include(uint8_t AIndex) { FBits.set(AIndex); }
  void Exclude(uint8_t AIndex) { FBits.reset(AIndex); }
  bool operator==(const TSigSet&) const = default;

private:
  std::bitset<256> FBits;
};

}  // namespace orvella
