#include <stdexcept>

#include "cab/writer/compressor.h"

namespace cabwriter {

std::unique_ptr<FolderCompressor> make_mszip_compressor() {
    throw std::runtime_error("mszip compression is not available yet");
}

}  // namespace cabwriter
