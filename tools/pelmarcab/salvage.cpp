#include "tools/pelmarcab/salvage.h"

namespace pelmarcab {

SalvageRecord::Plan SalvageRecord::plan(uint32_t folder, uint32_t offset, uint32_t size) const {
    const auto found = folders_.find(folder);
    if (found == folders_.end() || size == 0) return Plan::Whole;
    const uint64_t end = uint64_t{offset} + size;
    if (end <= found->second.position) return Plan::Whole;
    return offset < found->second.position ? Plan::Front : Plan::Damaged;
}

uint32_t SalvageRecord::good_bytes(uint32_t folder, uint32_t offset) const {
    const auto found = folders_.find(folder);
    if (found == folders_.end() || found->second.position <= offset) return 0;
    return found->second.position - offset;
}

void SalvageRecord::damage_folder(uint32_t folder, uint32_t position, const std::string &reason) {
    folders_.try_emplace(folder, FolderDamage{position, reason});
}

const std::string &SalvageRecord::reason(uint32_t folder) const {
    static const std::string none;
    const auto found = folders_.find(folder);
    return found == folders_.end() ? none : found->second.reason;
}

void SalvageRecord::settle_damaged(const EntryKey &entry, DamagedFile file) {
    if (settled_.insert(entry).second) damaged_.push_back(std::move(file));
}

std::string damage_report(const DamagedFile &file, SalvageMode mode) {
    std::string text = file.reason + "; ";
    if (mode != SalvageMode::Partial) return text + "skipped";
    if (file.good_bytes == 0)
        return text + "written as " + std::to_string(file.size) + " zero bytes";
    return text + "bytes " + std::to_string(file.good_bytes) + "-" + std::to_string(file.size - 1) +
           " of " + std::to_string(file.size) + " zero-filled";
}

}  // namespace pelmarcab
