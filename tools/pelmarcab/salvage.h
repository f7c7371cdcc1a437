// Salvage: reading on past damage. The engine ends a walk at the first
// damaged block; the reader walks the cabinet again, and this record tells
// each walk which files are settled and which folders decode no further, so
// that every file whose bytes decode cleanly is written whole and each
// damaged one is reported once with its reason.
//
// The engine names no file's place in its folder, so a folder is taken to
// decode no further once a file of it fails before its first byte: the
// failing block lies at or before that file's start, and the files listed
// after it in the folder lie behind it (cabinet writers list a folder's
// files in their order). A file that fails after some bytes is settled
// alone, and the next file of its folder is tried.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pelmarcab {

enum class SalvageMode {
    Off,      // stop at the first damage, as without salvage
    Skip,     // leave damaged files out
    Partial,  // write damaged files with their damaged range zero-filled
};

// A file entry as one walk meets it. Entries are told apart across walks by
// the cabinet they are met in (counted from the walk's first), folder index,
// size and name.
struct EntryKey {
    unsigned cabinet;
    uint16_t folder_index;
    uint32_t size;
    std::string name;
    auto operator<=>(const EntryKey &) const = default;
};

struct DamagedFile {
    std::string name;     // as shown to the user
    std::string reason;   // why it does not decode
    uint32_t good_bytes;  // decoded cleanly at its front
    uint32_t size;
};

class SalvageRecord {
public:
    // Files of `folder` offered from now on are damaged, for `reason`. The
    // first reason given for a folder is kept.
    void stop_folder(uint32_t folder, const std::string &reason);
    bool is_stopped(uint32_t folder) const { return stopped_.count(folder) != 0; }
    const std::string &reason(uint32_t folder) const;

    bool settled(const EntryKey &entry) const { return settled_.count(entry) != 0; }
    void settle(const EntryKey &entry) { settled_.insert(entry); }
    // Settles the entry and lists it among the damaged files.
    void settle_damaged(const EntryKey &entry, DamagedFile file);
    const std::vector<DamagedFile> &damaged() const { return damaged_; }

private:
    std::map<uint32_t, std::string> stopped_;
    std::set<EntryKey> settled_;
    std::vector<DamagedFile> damaged_;
};

// The report of a damaged file, after "pelmarcab: NAME: ": its reason and
// what was done with it, e.g. "...; bytes 1000-4999 of 5000 zero-filled".
std::string damage_report(const DamagedFile &file, SalvageMode mode);

}  // namespace pelmarcab
