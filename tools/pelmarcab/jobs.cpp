#include "tools/pelmarcab/jobs.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "cab/cab.h"

namespace pelmarcab {

unsigned available_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

void run_jobs(size_t count, unsigned threads, const std::function<void(size_t)> &job) {
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < count;) job(i);
    };
    const size_t workers = std::min<size_t>(std::max(threads, 1u), count);
    const size_t helpers = workers > 1 ? workers - 1 : 0;
    std::vector<std::thread> pool;
    pool.reserve(helpers);
    for (size_t t = 0; t < helpers; ++t) pool.emplace_back(work);
    work();
    for (auto &thread : pool) thread.join();
}

uint16_t entry_folder(uint16_t folder_index, uint16_t folder_count) {
    const bool continued = folder_index >= CAB_FOLDER_CONTINUED_FROM_PREV;
    return continued && folder_count > 0 ? static_cast<uint16_t>(folder_count - 1) : folder_index;
}

}  // namespace pelmarcab
