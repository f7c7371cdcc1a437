// The cabinet writer: builds MSCF cabinets (format version 1.3) and cabinet
// sets in memory, with any of the four compression methods.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cab/format.h"
#include "cab/writer/compressor.h"

namespace cabwriter {

enum class MethodKind : uint8_t {
    Stored = cab::kMethodStored,
    Mszip = cab::kMethodMszip,
    Quantum = cab::kMethodQuantum,
    Lzx = cab::kMethodLzx,
};

struct Method {
    MethodKind kind = MethodKind::Stored;
    unsigned window_exponent = 0;  // LZX 15..21, Quantum 10..21
    bool lzx_e8 = true;            // LZX call translation
    bool lzx_best = false;         // LZX near-optimal parse: smaller, slower

    // The folder entry's method value: kind in bits 0-3, exponent in bits 8-12.
    uint16_t value() const;
    std::unique_ptr<FolderCompressor> make_compressor() const;
};

struct FileEntry {
    std::string name;  // as stored: backslash separators, at most 255 bytes
    std::vector<uint8_t> data;
    uint16_t date = 0x5B87;  // 2025-12-07
    uint16_t time = 0x6000;  // 12:00:00
    uint16_t attributes = 0x20;
};

struct Folder {
    Method method;
    std::vector<FileEntry> files;
    // Replaces the method's own compressor (tests force block types this way).
    std::shared_ptr<FolderCompressor> compressor;
};

struct SetOptions {
    // Largest size of one cabinet; 0 puts everything into one cabinet. A set
    // splits folders, files and data blocks across cabinets to stay below it.
    uint32_t max_cabinet_size = 0;
    // Reserve fields (flag bit 2) are written when any size is nonzero or
    // `reserve_fields` is set.
    bool reserve_fields = false;
    uint16_t header_reserve = 0;
    uint8_t folder_reserve = 0;
    uint8_t block_reserve = 0;
    bool checksums = true;
    uint16_t set_id = 0x1234;
    // Name of cabinet i of the set (0-based), written into the previous and
    // next fields; the default is "cabinet<i+1>.cab".
    std::function<std::string(unsigned)> cabinet_name;
    std::string disk_name;  // written as every previous/next disk name
    // Threads compressing folders ahead of the layout (1: none, all work on
    // the calling thread). The output is the same for any number.
    unsigned jobs = 1;
    // Told each folder's uncompressed size once the folder is laid out, in
    // folder order, on the calling thread (a progress display).
    std::function<void(uint64_t)> folder_done;
};

struct Cabinet {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Writes the folders into one cabinet, or a set when max_cabinet_size is set.
// Throws std::invalid_argument for input no cabinet can hold (a name longer
// than 255 bytes, more than 65535 files, ...).
std::vector<Cabinet> write_cabinet_set(const std::vector<Folder> &folders,
                                       const SetOptions &options = {});

}  // namespace cabwriter
