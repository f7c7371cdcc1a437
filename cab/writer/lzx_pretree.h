// Code lengths through the pretree: how the LZX compressor sends a tree's
// code lengths as deltas against the previous block's.
#pragma once

#include <cstdint>
#include <vector>

#include "cab/lzx_format.h"
#include "cab/writer/lzx_frame_writer.h"
#include "cab/writer/lzx_huffman.h"

namespace cabwriter::lzx {

struct PretreeItem {
    uint8_t symbol;
    uint8_t extra_bits;
    uint8_t extra;
    uint8_t second;  // code 19: the delta symbol that follows
};

// One tree's lengths ready to send: the pretree and its symbols.
struct LengthsEncoding {
    std::vector<PretreeItem> items;
    Tree<cab::lzx::kPretreeSize> pretree;

    // Describes lengths[first, last) against the previous block's lengths
    // and returns the bits the description takes.
    uint64_t prepare(const uint8_t *previous, const uint8_t *lengths, unsigned first,
                     unsigned last);
    void write(FrameWriter &out) const;
};

}  // namespace cabwriter::lzx
