// Damage for salvage tests: where a writer-made cabinet keeps its tables and
// data blocks, and the ways a test breaks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmarcab::testing {

struct BlockPlace {
    size_t header;  // offset of the block header in the cabinet
    size_t data;    // offset of its compressed bytes
    uint16_t compressed;
    uint16_t uncompressed;
};

struct CabinetMap {
    size_t folder_table;
    size_t file_table;
    size_t data_header_size;
    std::vector<std::vector<BlockPlace>> blocks;  // by folder, in order
};

// Maps a well-formed cabinet (throws std::runtime_error
// otherwise).
CabinetMap map_cabinet(const std::vector<uint8_t> &cabinet);

// Flips a byte of the block's data and leaves its checksum: a checksum
// mismatch.
void break_checksum(std::vector<uint8_t> &cabinet, const BlockPlace &block);
// Garbles the start of the block's compressed bytes and writes the checksum
// that matches them: a block that reads cleanly and fails to decode.
void break_stream(std::vector<uint8_t> &cabinet, const BlockPlace &block, size_t data_header_size);

}  // namespace pelmarcab::testing
