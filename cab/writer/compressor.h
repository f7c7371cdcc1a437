// Compressors of the cabinet writer: each turns a folder's whole uncompressed
// stream into the compressed bytes of its data blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "cab/format.h"

namespace cabwriter {

// Every block of a folder but its last holds cab::kMaxBlockSize bytes.
struct CompressedBlock {
    std::vector<uint8_t> bytes;  // the data block's compressed bytes
    uint16_t uncompressed_size;  // bytes the block yields (1..32768)
};

class FolderCompressor {
public:
    virtual ~FolderCompressor() = default;
    // Compresses one folder. Every call is independent: the writer may call
    // again with a shorter stream when a cabinet set forces the folder to end
    // earlier. An empty folder yields no blocks.
    virtual std::vector<CompressedBlock> compress(std::span<const uint8_t> folder) = 0;
};

std::unique_ptr<FolderCompressor> make_stored_compressor();
std::unique_ptr<FolderCompressor> make_mszip_compressor();
std::unique_ptr<FolderCompressor> make_lzx_compressor(unsigned window_exponent,
                                                      bool e8_translation);
std::unique_ptr<FolderCompressor> make_quantum_compressor(unsigned window_exponent);

}  // namespace cabwriter
