// Finding cabinets inside other files: a self-extracting installer, a setup
// program, a disk image. The file is read once, front to back, through a
// fixed buffer; it is never loaded whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmarcab {

struct FoundCabinet {
    uint32_t offset;  // of the header's "MSCF" in the file
    uint32_t size;    // the header's cabinet size
};

// True when the 36 bytes at `header` are a cabinet header that agrees with
// itself and with the file it lies in: signature, version 1.3, no unknown
// flag bits, at least one folder and one file, a cabinet size that ends
// within the file (and within the reach of the engine's 32-bit seeks), and a
// file table that starts behind the folder table and leaves room for every
// entry with a name of at least one character.
bool is_consistent_header(const uint8_t *header, uint64_t offset, uint64_t file_size);

// Every consistent header in the file open as `fd`, in file order. Bytes
// inside a cabinet already found are not searched again: a cabinet stored
// in another one is part of its content.
std::vector<FoundCabinet> find_cabinets(int fd);

}  // namespace pelmarcab
