#include "cab/writer/lzx_match.h"

#include "cab/bytes.h"

namespace cabwriter::lzx {

using namespace cab::lzx;

namespace {

constexpr unsigned kHashBits = 16;
constexpr unsigned kLongPrefix = 8;  // bytes behind the long-match table
constexpr unsigned kLongHashBits = 18;
constexpr unsigned kMaxChain = 48;
constexpr unsigned kGoodLength = 32;  // chains are searched a quarter as deep beyond this

}  // namespace

MatchFinder::MatchFinder(const uint8_t *data, size_t size, unsigned window_exponent)
    : data_(data),
      size_(size),
      max_distance_((1u << window_exponent) - 3),
      head_(1u << kHashBits, kNone),
      prev_(size_t{1} << window_exponent, kNone),
      prev_mask_((1u << window_exponent) - 1),
      long_head_(1u << kLongHashBits, kNone) {}

Match MatchFinder::find(size_t pos, uint32_t limit, const uint32_t (&repeats)[3]) {
    insert_before(pos);
    Match best;
    if (limit < kMinMatch) return best;
    const uint8_t *here = data_ + pos;
    for (unsigned r = 0; r < 3; ++r) {
        if (repeats[r] > pos) continue;
        const Match m{cab::common_length(here, here - repeats[r], limit), repeats[r], r};
        if (m.length >= kMinMatch && match_score(m) > match_score(best)) best = m;
    }
    // The last position that began with the same long prefix: a long
    // match the chain of recent short prefixes often does not reach.
    if (limit >= kLongPrefix && pos + kLongPrefix <= size_) {
        const uint32_t cand = long_head_[long_hash(pos)];
        const uint32_t distance = static_cast<uint32_t>(pos - cand);
        if (cand != kNone && distance <= max_distance_) {
            const Match m{cab::common_length(here, data_ + cand, limit), distance, 3};
            if (m.length >= 3 && match_score(m) > match_score(best)) best = m;
        }
    }
    if (limit < 3 || pos + 3 > size_) return best;
    unsigned chain = best.length >= kGoodLength ? kMaxChain / 4 : kMaxChain;
    for (uint32_t cand = head_[hash(pos)]; cand != kNone && chain-- > 0;
         cand = prev_[cand & prev_mask_]) {
        const uint32_t distance = static_cast<uint32_t>(pos - cand);
        if (distance > max_distance_) break;
        if (best.length >= limit) break;
        const uint8_t *there = data_ + cand;
        if (best.length >= 3 && there[best.length] != here[best.length]) continue;
        const uint32_t length = cab::common_length(here, there, limit);
        if (length < 3) continue;
        const Match m{length, distance, 3};
        if (match_score(m) > match_score(best)) {
            best = m;
            if (length >= kNiceLength) break;
        }
    }
    return best;
}

uint32_t MatchFinder::hash(size_t pos) const {
    const uint8_t *p = data_ + pos;
    const uint32_t v = p[0] | p[1] << 8 | p[2] << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}
uint32_t MatchFinder::long_hash(size_t pos) const {
    static_assert(kLongPrefix == 8);
    return static_cast<uint32_t>((cab::load_u64(data_ + pos) * 0x9E3779B97F4A7C15ull) >>
                                 (64 - kLongHashBits));
}
void MatchFinder::insert_before(size_t pos) {
    for (; inserted_ < pos && inserted_ + 3 <= size_; ++inserted_) {
        const uint32_t h = hash(inserted_);
        prev_[inserted_ & prev_mask_] = head_[h];
        head_[h] = static_cast<uint32_t>(inserted_);
        if (inserted_ + kLongPrefix <= size_)
            long_head_[long_hash(inserted_)] = static_cast<uint32_t>(inserted_);
    }
}

}  // namespace cabwriter::lzx
