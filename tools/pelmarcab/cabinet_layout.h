// A cabinet's structures as stored, read for the technical listing: the
// header with its optional fields, each folder with what its data block
// headers add up to, and each file entry. Nothing is decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelmarcab {

struct LayoutHeader {
    uint32_t cabinet_size = 0;
    uint32_t files_offset = 0;
    uint16_t version = 0;
    uint16_t folder_count = 0, file_count = 0;
    uint16_t flags = 0;
    uint16_t set_id = 0;
    uint16_t cabinet_index = 0;
    uint16_t header_reserve = 0;
    uint8_t folder_reserve = 0;
    uint8_t block_reserve = 0;
    std::string previous_cabinet, previous_disk, next_cabinet, next_disk;
};

struct LayoutFolder {
    uint32_t first_block = 0;
    uint16_t block_count = 0;
    uint16_t method = 0;
    // Sums over the block headers that lie within the file.
    uint32_t blocks_found = 0;
    uint64_t compressed = 0, uncompressed = 0;
};

struct LayoutFile {
    uint32_t size = 0;
    uint32_t folder_offset = 0;
    uint16_t folder_index = 0, date = 0, time = 0, attributes = 0;
    std::string name;  // as stored
};

struct CabinetLayout {
    uint64_t file_size = 0;
    LayoutHeader header;
    std::vector<LayoutFolder> folders;
    std::vector<LayoutFile> files;
};

// Reads the cabinet at `path`. On failure returns false with `error` saying
// what is wrong, as "CAB_ERR_...: what". A folder whose blocks run past the
// end of the file is not a failure: it shows fewer blocks found than counted.
bool read_layout(const std::string &path, CabinetLayout &layout, std::string &error);

}  // namespace pelmarcab
