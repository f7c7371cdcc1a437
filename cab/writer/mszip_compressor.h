// MSZIP compression with a choice of Deflate strategy and level, for tests
// and benchmarks that need particular block types.
#pragma once

#include <memory>

#include "cab/writer/compressor.h"

namespace cabwriter {

enum class DeflateStrategy { Default, Filtered, HuffmanOnly, Rle, Fixed };

struct MszipOptions {
    int level = 6;  // 0 (stored blocks only) to 9
    DeflateStrategy strategy = DeflateStrategy::Default;
};

std::unique_ptr<FolderCompressor> make_mszip_compressor(const MszipOptions &options);

}  // namespace cabwriter
