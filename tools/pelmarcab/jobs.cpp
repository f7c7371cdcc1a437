#include "tools/pelmarcab/jobs.h"

#include <sched.h>

#include <algorithm>
#include <thread>

#include "cab/cab.h"

namespace pelmarcab {

unsigned available_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

uint16_t entry_folder(uint16_t folder_index, uint16_t folder_count) {
    const bool continued = folder_index >= CAB_FOLDER_CONTINUED_FROM_PREV;
    return continued && folder_count > 0 ? static_cast<uint16_t>(folder_count - 1) : folder_index;
}

}  // namespace pelmarcab
