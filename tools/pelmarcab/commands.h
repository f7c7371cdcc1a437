// The pelmarcab subcommands. Each returns the process exit status: 0 on
// success, 1 after printing one line that says what failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sfx/sfx_writer.h"

namespace pelmarcab {

enum class ReadMode { List, Test, Extract };

struct ReadOptions {
    ReadMode mode = ReadMode::List;
    std::string cabinet;
    std::string directory = ".";
    std::string encoding = "CP932";
};

int read_cabinet(const ReadOptions &options);

struct CreateOptions {
    std::string output;
    std::vector<std::string> inputs;
    std::string method = "none";
    uint64_t folder_size = 0;
    uint32_t cabinet_size = 0;
    std::string reserve;  // "H,F,D"
    bool checksums = true;
    bool best = false;  // LZX: the near-optimal parse
};

int create_cabinet(const CreateOptions &options);

struct SfxOptions {
    std::string stub;
    std::string cabinet;
    std::string output;
    sfx::SfxBlock block;
};

int write_sfx(const SfxOptions &options);

// Name of cabinet `index` (0-based) of a set written to `output`.
std::string set_member_name(const std::string &output, unsigned index);

}  // namespace pelmarcab
