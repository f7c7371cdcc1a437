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
    // Uncompressed bytes per LZX block. Blocks need not line up with the
    // 32768-byte frames; a block boundary inside a frame is legal. Two
    // frames per block cost no ratio on mixed content and halve the trees
    // the decoder builds.
    uint32_t block_size = 65536;
};

// Throws std::invalid_argument for a window exponent outside 15..21 or a
// block size outside 4096..2^24 - 1.
std::unique_ptr<FolderCompressor> make_lzx_compressor(const LzxOptions &options);

}  // namespace cabwriter
