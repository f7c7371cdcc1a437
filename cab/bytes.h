// Little-endian loads and stores and byte comparisons, shared by the engine
// and the writer. Every multi-byte value in a cabinet is little-endian, and
// so are the hosts this is built for: a load is one unaligned memory read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cab {

static_assert(std::endian::native == std::endian::little,
              "little-endian values are loaded and stored with memcpy");

inline uint16_t load_u16(const uint8_t *p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint32_t load_u32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t load_u64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store_u16(uint8_t *p, uint16_t v) { std::memcpy(p, &v, sizeof v); }
inline void store_u32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// True when `count` bytes at `offset` lie within `size` bytes; no sum that
// could overflow is formed.
constexpr bool fits(size_t offset, size_t count, size_t size) {
    return offset <= size && count <= size - offset;
}

// Number of equal bytes at the start of `a` and `b`, at most `limit`. Compares
// eight bytes at a time: in a little-endian load the first differing byte
// holds the lowest differing bit.
inline uint32_t common_length(const uint8_t *a, const uint8_t *b, uint32_t limit) {
    uint32_t n = 0;
    while (n + 8 <= limit) {
        const uint64_t difference = load_u64(a + n) ^ load_u64(b + n);
        if (difference != 0) return n + static_cast<uint32_t>(std::countr_zero(difference)) / 8;
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

}  // namespace cab
