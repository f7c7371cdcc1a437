// Folder jobs: the folders of a cabinet decoded at once, each in an engine
// context of its own, on cabwriter::OrderedWork's threads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmarcab {

// The number of processors this process may run on; at least 1.
unsigned available_cores();

// The folder of a cabinet that holds the bytes of a file entry whose folder
// index is `folder_index`: the index itself, or for the continuation markers
// the cabinet's last folder (the one that continues into the next cabinet;
// entries continued from the previous one are met only after spanning, and
// their bytes continue that same folder). The folder jobs of one cabinet
// split its files by this value.
uint16_t entry_folder(uint16_t folder_index, uint16_t folder_count);

}  // namespace pelmarcab
