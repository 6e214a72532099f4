#pragma once
// The reversible byte scrambler with which the mail sender rebuilds its stored
// password, and the hash it is built on.
#include <cstddef>
#include <cstdint>

namespace orvella {

// Bob Jenkins' lookup3 hash of ALength bytes, as his hashlittle computes it on
// any machine (the bytes are read as little-endian words).
uint32_t HashLittle(const void* AKey, size_t ALength, uint32_t AInitVal);

// XORs every byte with a key stream drawn from ASeed; a second call with the
// same seed restores the buffer.
void ScrambleBytes(void* ABuffer, size_t ALength, uint32_t ASeed);

}  // namespace orvella
