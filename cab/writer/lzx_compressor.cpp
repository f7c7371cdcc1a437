#include <stdexcept>

#include "cab/writer/compressor.h"

namespace cabwriter {

std::unique_ptr<FolderCompressor> make_lzx_compressor(unsigned, bool) {
    throw std::runtime_error("lzx compression is not available yet");
}

}  // namespace cabwriter
