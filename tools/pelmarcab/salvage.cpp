#include "tools/pelmarcab/salvage.h"

namespace pelmarcab {

void SalvageRecord::stop_folder(uint32_t folder, const std::string &reason) {
    stopped_.try_emplace(folder, reason);
}

const std::string &SalvageRecord::reason(uint32_t folder) const {
    static const std::string none;
    const auto found = stopped_.find(folder);
    return found == stopped_.end() ? none : found->second;
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
