#pragma once
// A set of monitor identifiers in one byte: bit n for the identifier of
// ordinal n; bits 6 and 7 are always clear.
#include <cstdint>
#include <initializer_list>

#include "engine/LogId.h"

namespace orvella {

class TLogIds {
public:
  constexpr TLogIds() = default;
  constexpr TLogIds(std::initializer_list<TLogId> AIds) {
    for (const TLogId id : AIds)
      Include(id);
  }
  static constexpr TLogIds FromByte(uint8_t ABits) { return TLogIds(static_cast<uint8_t>(ABits & AllBits)); }

  constexpr uint8_t Bits() const { return FBits; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool Contains(TLogId AId) const { return (FBits & Bit(AId)) != 0; }
  constexpr void Include(TLogId AId) { FBits = static_cast<uint8_t>(FBits | Bit(AId)); }
  constexpr void Exclude(TLogId AId) { FBits = static_cast<uint8_t>(FBits & ~Bit(AId)); }

  constexpr TLogIds operator&(TLogIds AOther) const { return TLogIds(static_cast<uint8_t>(FBits & AOther.FBits)); }
  constexpr TLogIds operator|(TLogIds AOther) const { return TLogIds(static_cast<uint8_t>(FBits | AOther.FBits)); }
  constexpr bool operator==(const TLogIds&) const = default;

private:
  static constexpr uint8_t AllBits = 0x3F;
  constexpr explicit TLogIds(uint8_t ABits) : FBits(ABits) {}
  static constexpr uint8_t Bit(TLogId AId) { return static_cast<uint8_t>(1u << static_cast<uint8_t>(AId)); }

  uint8_t FBits = 0;
};

static_assert(sizeof(TLogIds) == 1);

}  // namespace orvella
