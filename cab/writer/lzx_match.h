// Matching for the LZX compressor: rough costs of matches and the hash
// chains that find them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cab/lzx_format.h"

namespace cabwriter::lzx {

inline constexpr unsigned kNiceLength = 128;  // long enough to stop searching
inline constexpr unsigned kLiteralCost = 8;   // assumed bits of a literal when choosing matches

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
    unsigned repeat = 3;  // 0-2: which repeated offset; 3: a new distance
};

// The length header of a match's main symbol: 0-6, or 7 when a length tree
// symbol (length - 9) follows.
inline unsigned length_header(uint32_t length) {
    return std::min(length - cab::lzx::kMinMatch, cab::lzx::kNumPrimaryLengths);
}

// The repeated offsets after `m`, as the decoder keeps them: a repeated
// offset trades places with the first, a new distance pushes the others back.
inline void update_repeats(uint32_t (&repeats)[3], const Match &m) {
    if (m.repeat == 3) {
        repeats[2] = repeats[1];
        repeats[1] = repeats[0];
        repeats[0] = m.distance;
    } else {
        std::swap(repeats[0], repeats[m.repeat]);
    }
}

inline unsigned distance_slot(uint32_t distance) {
    const uint32_t formatted = distance + 2;
    if (formatted < 4) return formatted;
    if (formatted >= cab::lzx::position_base[38])
        return 38 + ((formatted - cab::lzx::position_base[38]) >> 17);
    const unsigned high = 31 - static_cast<unsigned>(__builtin_clz(formatted));
    return 2 * high + ((formatted >> (high - 1)) & 1);
}

// Rough bits of a match, to weigh matches against each other and literals.
// Far slots are used rarely, so their main symbols cost more than near ones;
// the growth beyond slot 16 is an estimate tuned on mixed content (it also
// spares the decoder cache misses that would save nothing).
inline unsigned match_cost(const Match &m) {
    const unsigned length_bits =
        m.length - cab::lzx::kMinMatch >= cab::lzx::kNumPrimaryLengths ? 6 : 0;
    if (m.repeat < 3) return 6 + 2 * m.repeat + length_bits;
    const unsigned slot = distance_slot(m.distance);
    const unsigned rarity = slot > 16 ? 3 * (slot - 16) / 2 : 0;
    return 9 + cab::lzx::position_slot_extra_bits[slot] + rarity + length_bits;
}

inline int match_score(const Match &m) {
    return m.length == 0
               ? 0
               : static_cast<int>(kLiteralCost * m.length) - static_cast<int>(match_cost(m));
}

// Hash chains over the folder: the last position of every 3-byte prefix and
// of every 8-byte prefix, and for each position the one before it with the
// same 3-byte prefix, within the window.
class MatchFinder {
public:
    MatchFinder(const uint8_t *data, size_t size, unsigned window_exponent);

    // Best match at `pos` of at most `limit` bytes, repeated offsets
    // included; the chains hold every position before `pos`.
    Match find(size_t pos, uint32_t limit, const uint32_t (&repeats)[3]);

private:
    static constexpr uint32_t kNone = 0xFFFFFFFF;

    uint32_t hash(size_t pos) const;
    uint32_t long_hash(size_t pos) const;
    void insert_before(size_t pos);

    const uint8_t *data_;
    size_t size_;
    uint32_t max_distance_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> prev_;
    uint32_t prev_mask_;
    std::vector<uint32_t> long_head_;
    size_t inserted_ = 0;
};

}  // namespace cabwriter::lzx
