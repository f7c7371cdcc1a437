// Splitting fuzz inputs into the pieces a target needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

// A mode byte whose low two bits give the count (1..3 cabinets), then per
// cabinet a 32-bit little-endian length and its bytes; a short input gives
// what it holds.
inline std::vector<std::vector<uint8_t>> split_cabinets(const uint8_t *data, size_t size) {
    std::vector<std::vector<uint8_t>> out;
    if (size == 0) return out;
    const size_t count = (data[0] & 3) % 3 + 1;
    size_t at = 1;
    for (size_t i = 0; i < count && at + 4 <= size; ++i) {
        const uint32_t length = data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                static_cast<uint32_t>(data[at + 3]) << 24;
        at += 4;
        const size_t n = length < size - at ? length : size - at;
        out.emplace_back(data + at, data + at + n);
        at += n;
    }
    return out;
}

// The inverse, for writing seeds.
inline std::vector<uint8_t> join_cabinets(const std::vector<std::vector<uint8_t>> &cabinets) {
    std::vector<uint8_t> out{static_cast<uint8_t>(cabinets.size() - 1)};
    for (const auto &c : cabinets) {
        for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(c.size() >> (8 * b)));
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

}  // namespace fuzz
