// The pelmarcab subcommands. Each returns the process exit status: 0 on
// success, 1 after printing one line that says what failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sfx/sfx_writer.h"
#include "tools/pelmarcab/salvage.h"

namespace pelmarcab {

enum class ReadMode { List, Test, Extract };

// What list, test and extract were asked to do. Filters, lowercase and
// single apply to every mode; stdout only to extract; verbose turns list
// into the technical listing.
struct ReadOptions {
    ReadMode mode = ReadMode::List;
    std::vector<std::string> cabinets;
    std::string directory = ".";
    std::string encoding = "CP932";
    std::vector<std::string> filters;  // globs; a file is selected when any matches
    bool case_sensitive = false;
    bool to_stdout = false;
    bool lowercase = false;
    bool single = false;  // do not follow a set into further cabinets
    bool quiet = false;
    bool verbose = false;
    bool json = false;
    SalvageMode salvage = SalvageMode::Off;  // test and extract
    unsigned jobs = 0;                       // folders decoded at once; 0: one per core
};

// Runs the mode on each cabinet in turn; a failing cabinet is reported and
// the others still run. Returns 1 when any failed.
int read_cabinets(const ReadOptions &options);

// Folders are started before they exceed this size, so that large inputs
// are compressed (and decoded) on several cores.
inline constexpr uint64_t kDefaultFolderSize = 8u << 20;

struct CreateOptions {
    std::string output;
    std::vector<std::string> inputs;
    std::string files_from;  // a list of more paths, "-" for standard input
    std::vector<std::string> excludes;
    std::string method = "mszip";
    uint64_t folder_size = kDefaultFolderSize;
    uint32_t cabinet_size = 0;
    std::string reserve;  // "H,F,D"
    bool checksums = true;
    unsigned jobs = 0;          // 0: one per core
    std::string mtime;          // empty: $SOURCE_DATE_EPOCH, else each file's own
    std::string name_encoding;  // empty: UTF-8
    bool quiet = false;         // no progress bar
    bool best = false;          // LZX: the near-optimal parse
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
