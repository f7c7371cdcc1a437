#include "cab/writer/lzx_match_tree.h"

#include <algorithm>

#include "cab/bytes.h"

namespace cabwriter::lzx {

namespace {

constexpr unsigned kHashBits = 18;
// Nodes compared per position: 32 finds matches 0.1% smaller, 16 1.5% larger.
constexpr unsigned kMaxDepth = 24;
// Bytes compared to order the tree: past them, a position takes the place
// of the one it matches and the tree's order is only approximate.
constexpr uint32_t kOrderLength = kNiceLength;

uint32_t hash3(const uint8_t *p) {
    const uint32_t v = p[0] | p[1] << 8 | p[2] << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

MatchTree::MatchTree(const uint8_t *data, size_t size, unsigned window_exponent)
    : data_(data),
      size_(size),
      max_distance_((1u << window_exponent) - 3),
      mask_((1u << window_exponent) - 1),
      root_(1u << kHashBits, kNone),
      children_(size_t{2} << window_exponent, kNone) {}

unsigned MatchTree::visit(size_t pos, uint32_t limit, Match *out) {
    if (pos + 3 > size_) return 0;
    const uint8_t *here = data_ + pos;
    const uint32_t order_length =
        static_cast<uint32_t>(std::min<size_t>(kOrderLength, size_ - pos));
    uint32_t &root = root_[hash3(here)];
    uint32_t cur = root;
    root = static_cast<uint32_t>(pos);
    // Where the next smaller and the next greater node hang: the new root's
    // children at first, then the child slots of the nodes passed.
    uint32_t *smaller = &children_[2 * (pos & mask_)];
    uint32_t *greater = smaller + 1;
    // Bytes every node still ahead on the path shares with `here`, at
    // least: the shorter of the two bounds met so far.
    uint32_t smaller_length = 0, greater_length = 0;
    uint32_t longest = 2;
    unsigned n = 0;
    for (unsigned depth = kMaxDepth;; --depth) {
        const uint32_t distance = static_cast<uint32_t>(pos - cur);
        if (cur == kNone || distance > max_distance_ || depth == 0) {
            *smaller = *greater = kNone;
            return n;
        }
        const uint8_t *there = data_ + cur;
        uint32_t length = std::min(smaller_length, greater_length);
        length += cab::common_length(here + length, there + length, order_length - length);
        const uint32_t usable = std::min(length, limit);
        if (usable > longest) {
            longest = usable;
            out[n < kMaxCandidates ? n++ : n - 1] = {usable, distance, 3};
        }
        uint32_t *node = &children_[2 * (cur & mask_)];
        if (length == order_length) {
            // `here` replaces `cur`, whose bytes it repeats this far.
            *smaller = node[0];
            *greater = node[1];
            return n;
        }
        // `cur` goes to the side it sorts on, and the walk continues into
        // its subtree on `here`'s side.
        if (there[length] < here[length]) {
            *smaller = cur;
            smaller = node + 1;
            smaller_length = length;
            cur = node[1];
        } else {
            *greater = cur;
            greater = node;
            greater_length = length;
            cur = node[0];
        }
    }
}

}  // namespace cabwriter::lzx
