// Folders decoded in parallel, as `pelmarcab extract -j N` does: a cabinet of
// eight MSZIP folders, each folder extracted by its own cab_copy in its own
// engine context (and memory host) on the job threads. Compare the /threads:1
// and /threads:2 medians of one run for the speed-up.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "bench/mixed_content.h"
#include "cab/testing/memory_host.h"
#include "cab/writer/ordered_work.h"
#include "cab/writer/writer.h"
#include "tools/pelmarcab/jobs.h"

namespace {

constexpr uint16_t kFolders = 8;
constexpr size_t kFolderBytes = 4u << 20;
constexpr size_t kFileBytes = 256u << 10;

std::shared_ptr<std::vector<uint8_t>> eight_folder_cabinet() {
    static const auto cabinet = [] {
        const auto content = bench::mixed_content(kFolders * kFolderBytes);
        std::vector<cabwriter::Folder> folders(kFolders);
        for (size_t at = 0; at < content.size(); at += kFileBytes) {
            auto &folder = folders[at / kFolderBytes];
            folder.method.kind = cabwriter::MethodKind::Mszip;
            const auto begin = content.begin() + static_cast<std::ptrdiff_t>(at);
            folder.files.push_back({"file" + std::to_string(at / kFileBytes),
                                    {begin, begin + static_cast<std::ptrdiff_t>(kFileBytes)}});
        }
        return std::make_shared<std::vector<uint8_t>>(
            cabwriter::write_cabinet_set(folders).at(0).bytes);
    }();
    return cabinet;
}

struct FolderJob {
    cabtest::MemoryHost *host;
    uint16_t folder;
};

// Extracts the files of one folder to sinks and skips the others.
int32_t folder_notify(int32_t kind, CabNotification *note) {
    const auto *job = static_cast<FolderJob *>(note->user);
    if (kind == CAB_NOTE_FILE_START)
        return pelmarcab::entry_folder(note->folder_index, kFolders) == job->folder
                   ? job->host->create_sink()
                   : 0;
    if (kind == CAB_NOTE_FILE_END) return cabtest::MemoryHost::close(note->handle) == 0 ? 1 : 0;
    return 0;
}

uint64_t extract_folder(const std::shared_ptr<std::vector<uint8_t>> &cabinet, uint16_t folder) {
    cabtest::MemoryHost host;  // the callbacks of this thread use it
    host.share_file("bench.cab", cabinet);
    CabError error{};
    CabContext *context = host.create_context(&error);
    FolderJob job{&host, folder};
    const int32_t ok = cab_copy(context, "bench.cab", "", 0, folder_notify, nullptr, &job);
    cab_destroy(context);
    if (!ok) throw std::runtime_error("extraction failed with error " + std::to_string(error.code));
    return host.bytes_written();
}

void BM_ParallelFolders(benchmark::State &state) {
    const auto cabinet = eight_folder_cabinet();
    const auto threads = static_cast<unsigned>(state.range(0));
    uint64_t written = 0;
    for (auto _ : state) {
        cabwriter::OrderedWork<uint64_t> work(kFolders, threads, [&](size_t folder) {
            return extract_folder(cabinet, static_cast<uint16_t>(folder));
        });
        for (size_t folder = 0; folder < kFolders; ++folder) written += work.take(folder);
    }
    state.SetBytesProcessed(static_cast<int64_t>(written));
    state.counters["threads"] = threads;
}
BENCHMARK(BM_ParallelFolders)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
