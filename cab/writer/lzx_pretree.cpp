#include "cab/writer/lzx_pretree.h"

#include <algorithm>

namespace cabwriter::lzx {

using namespace cab::lzx;

namespace {

// Describes lengths[first, last) as pretree symbols relative to `previous`.
void describe_lengths(const uint8_t *previous, const uint8_t *lengths, unsigned first,
                      unsigned last, std::vector<PretreeItem> &items) {
    items.clear();
    for (unsigned i = first; i < last;) {
        unsigned run = 1;
        while (i + run < last && lengths[i + run] == lengths[i]) ++run;
        if (lengths[i] == 0 && run >= 20) {
            run = std::min(run, 20u + 31);
            items.push_back({18, 5, static_cast<uint8_t>(run - 20), 0});
        } else if (lengths[i] == 0 && run >= 4) {
            run = std::min(run, 4u + 15);
            items.push_back({17, 4, static_cast<uint8_t>(run - 4), 0});
        } else if (run >= 4) {
            run = std::min(run, 5u);
            const auto delta = static_cast<uint8_t>((previous[i] + 17 - lengths[i]) % 17);
            items.push_back({19, 1, static_cast<uint8_t>(run - 4), delta});
        } else {
            run = 1;
            items.push_back({static_cast<uint8_t>((previous[i] + 17 - lengths[i]) % 17), 0, 0, 0});
        }
        i += run;
    }
}

}  // namespace

uint64_t LengthsEncoding::prepare(const uint8_t *previous, const uint8_t *lengths, unsigned first,
                                  unsigned last) {
    describe_lengths(previous, lengths, first, last, items);
    pretree.clear_freq();
    uint64_t extra = 0;
    for (const auto &item : items) {
        ++pretree.freq[item.symbol];
        if (item.symbol == 19) ++pretree.freq[item.second];
        extra += item.extra_bits;
    }
    pretree.build(kPretreeSize, 15);
    return kPretreeSize * kPretreeLengthBits + pretree.cost(kPretreeSize) + extra;
}

void LengthsEncoding::write(FrameWriter &out) const {
    for (unsigned s = 0; s < kPretreeSize; ++s)
        out.put_bits(pretree.lengths[s], kPretreeLengthBits);
    for (const auto &item : items) {
        out.put_bits(pretree.codes[item.symbol], pretree.lengths[item.symbol]);
        out.put_bits(item.extra, item.extra_bits);
        if (item.symbol == 19)
            out.put_bits(pretree.codes[item.second], pretree.lengths[item.second]);
    }
}

}  // namespace cabwriter::lzx
