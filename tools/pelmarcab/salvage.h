// Salvage: reading on past damage. The engine ends a walk at the first
// damaged block; the reader walks the cabinet again and again, and this
// record tells each walk which files are settled and how far each folder
// decodes, so that every file whose bytes decode cleanly is written whole
// and each damaged one is reported once with its reason.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace pelmarcab {

enum class SalvageMode {
    Off,      // stop at the first damage, as without salvage
    Skip,     // leave damaged files out
    Partial,  // write damaged files with their damaged range zero-filled
};

// A file entry as one walk meets it. Entries are told apart across walks by
// the cabinet they are met in (counted from the walk's first), folder index,
// offset, size and name.
struct EntryKey {
    unsigned cabinet;
    uint16_t folder_index;
    uint32_t offset;
    uint32_t size;
    std::string name;
    auto operator<=>(const EntryKey &) const = default;
};

struct DamagedFile {
    std::string name;     // as shown to the user
    std::string reason;   // why its folder stops decoding
    uint32_t good_bytes;  // decoded cleanly at its front
    uint32_t size;
};

class SalvageRecord {
public:
    // What a walk does with an entry that is not settled.
    enum class Plan {
        Whole,    // its bytes lie before any damage: extract it
        Front,    // damage starts inside it: its first good_bytes() are good
        Damaged,  // none of its bytes decode
    };
    // `folder` is the folder the entry's bytes lie in, as the reader names it
    // (the same folder in every walk).
    Plan plan(uint32_t folder, uint32_t offset, uint32_t size) const;
    // For Plan::Front: the bytes before the folder's damage.
    uint32_t good_bytes(uint32_t folder, uint32_t offset) const;
    // The folder decodes only up to `position` of its uncompressed stream.
    // A later report of the same folder is ignored: the first damage is
    // where decoding stops.
    void damage_folder(uint32_t folder, uint32_t position, const std::string &reason);
    const std::string &reason(uint32_t folder) const;

    bool settled(const EntryKey &entry) const { return settled_.count(entry) != 0; }
    void settle(const EntryKey &entry) { settled_.insert(entry); }
    // Settles the entry and lists it among the damaged files.
    void settle_damaged(const EntryKey &entry, DamagedFile file);
    const std::vector<DamagedFile> &damaged() const { return damaged_; }

private:
    struct FolderDamage {
        uint32_t position;
        std::string reason;
    };
    std::map<uint32_t, FolderDamage> folders_;
    std::set<EntryKey> settled_;
    std::vector<DamagedFile> damaged_;
};

// The report line of a damaged file, after "pelmarcab: NAME: ": its reason
// and what was done with it, e.g. "the data block at byte 65536 of its folder
// fails its checksum; bytes 1000-4999 of 5000 zero-filled".
std::string damage_report(const DamagedFile &file, SalvageMode mode);

}  // namespace pelmarcab
