// LZX compressor of the cabinet writer, with the options beyond those of
// make_lzx_compressor(): forcing a block type and choosing the block size,
// which the tests use to reach every part of the format.
#pragma once

#include <cstdint>
#include <memory>

#include "cab/writer/compressor.h"

namespace cabwriter {

enum class LzxBlockChoice : uint8_t { ByCost, Verbatim, Aligned, Uncompressed };

struct LzxOptions {
    unsigned window_exponent = 21;  // 15..21
    bool e8_translation = true;     // translate call (0xE8) operands
    LzxBlockChoice block_type = LzxBlockChoice::ByCost;
    // Uncompressed bytes per LZX block, or 0 for blocks of whole frames
    // that follow the content. Fixed blocks need not line up with the
    // 32768-byte frames; a block boundary inside a frame is legal.
    uint32_t block_size = 0;
    // Choose literals and matches by their cost in bits (a near-optimal
    // parse) instead of lazily: smaller output, several times slower.
    bool best = false;
};

// Throws std::invalid_argument for a window exponent outside 15..21 or a
// block size other than 0 outside 4096..2^24 - 1.
std::unique_ptr<FolderCompressor> make_lzx_compressor(const LzxOptions &options);

}  // namespace cabwriter
