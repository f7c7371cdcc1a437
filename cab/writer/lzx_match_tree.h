// Binary-tree match finder of the LZX compressor's near-optimal parse: finds
// at every position the nearest match of each length, as a hash chain would
// only by walking far deeper.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cab/writer/lzx_match.h"

namespace cabwriter::lzx {

// For each 3-byte hash, the window's positions as a binary search tree
// ordered by the bytes that follow them, the newest at the root. Finding
// matches at a position walks the path where it belongs and re-roots the
// tree there, so every position is visited once, in order.
class MatchTree {
public:
    static constexpr unsigned kMaxCandidates = 16;

    MatchTree(const uint8_t *data, size_t size, unsigned window_exponent);

    // Matches at `pos`, the next position not yet visited, of 3 to `limit`
    // bytes into out[0, n): lengths strictly increase, each at the nearest
    // distance found for it. Returns n.
    unsigned find(size_t pos, uint32_t limit, Match *out) { return visit(pos, limit, out); }
    // Adds `pos` to the tree without reporting its matches.
    void skip(size_t pos) { visit(pos, 0, nullptr); }

private:
    static constexpr uint32_t kNone = 0xFFFFFFFF;

    unsigned visit(size_t pos, uint32_t limit, Match *out);

    const uint8_t *data_;
    size_t size_;
    uint32_t max_distance_;
    uint32_t mask_;
    std::vector<uint32_t> root_;
    // Children of position p at 2 * (p & mask_): smaller, then greater.
    std::vector<uint32_t> children_;
};

}  // namespace cabwriter::lzx
