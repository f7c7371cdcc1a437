// The cabinet data-block checksum, shared by the engine and the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cab/bytes.h"

namespace cab {

// XORs the bytes into `seed` as little-endian 32-bit words; the 1-3 bytes
// left over contribute b0 << 16 ^ b1 << 8 ^ b2 (fewer bytes, shifted down).
inline uint32_t cabinet_checksum(const uint8_t *data, size_t size, uint32_t seed) {
    uint32_t sum = seed;
    size_t words = size / 4;
    // Four words per step: the loop is the whole cost of verifying a block.
    for (; words >= 4; words -= 4, data += 16) {
        uint32_t w[4];
        std::memcpy(w, data, 16);
        sum ^= w[0] ^ w[1] ^ w[2] ^ w[3];
    }
    for (; words > 0; --words, data += 4) sum ^= load_u32(data);
    uint32_t tail = 0;
    switch (size % 4) {
        case 3: tail |= static_cast<uint32_t>(*data++) << 16; [[fallthrough]];
        case 2: tail |= static_cast<uint32_t>(*data++) << 8; [[fallthrough]];
        case 1: tail |= *data; break;
        default: break;
    }
    return sum ^ tail;
}

}  // namespace cab
