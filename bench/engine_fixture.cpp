#include "bench/engine_fixture.h"

#include <map>
#include <stdexcept>
#include <utility>

#include "bench/mixed_content.h"
#include "cab/testing/memory_host.h"

namespace bench {

std::shared_ptr<std::vector<uint8_t>> mixed_cabinet(const cabwriter::Method &method, size_t size) {
    static std::map<std::pair<uint16_t, size_t>, std::shared_ptr<std::vector<uint8_t>>> built;
    auto &cabinet = built[{method.value(), size}];
    if (!cabinet) {
        const auto content = mixed_content(size);
        cabwriter::Folder folder{method, {}, nullptr};
        constexpr size_t kFileSize = 1u << 20;
        for (size_t at = 0; at < content.size(); at += kFileSize) {
            cabwriter::FileEntry f;
            f.name = "file" + std::to_string(at / kFileSize);
            f.data.assign(content.begin() + static_cast<std::ptrdiff_t>(at),
                          content.begin() + static_cast<std::ptrdiff_t>(
                                                std::min(content.size(), at + kFileSize)));
            folder.files.push_back(std::move(f));
        }
        cabinet = std::make_shared<std::vector<uint8_t>>(
            cabwriter::write_cabinet_set({folder}).at(0).bytes);
    }
    return cabinet;
}

namespace {

int32_t sink_notify(int32_t kind, CabNotification *note) {
    auto *host = static_cast<cabtest::MemoryHost *>(note->user);
    if (kind == CAB_NOTE_FILE_START) return host->create_sink();
    if (kind == CAB_NOTE_FILE_END) return cabtest::MemoryHost::close(note->handle) == 0 ? 1 : 0;
    return 0;
}

}  // namespace

ExtractResult extract_to_sink(std::shared_ptr<std::vector<uint8_t>> cabinet) {
    cabtest::MemoryHost host;
    host.share_file("bench.cab", std::move(cabinet));
    CabError error{};
    CabContext *cx = host.create_context(&error);
    const int32_t ok = cab_copy(cx, "bench.cab", "", 0, sink_notify, nullptr, &host);
    cab_destroy(cx);
    if (!ok) throw std::runtime_error("extraction failed with error " + std::to_string(error.code));
    return {host.bytes_written(), host.peak_bytes()};
}

void extract_benchmark(benchmark::State &state, const cabwriter::Method &method) {
    const auto cabinet = mixed_cabinet(method);
    ExtractResult result{};
    for (auto _ : state) result = extract_to_sink(cabinet);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * result.bytes));
    state.counters["peak_engine_KiB"] = static_cast<double>(result.peak_memory) / 1024.0;
    state.counters["cabinet_bytes"] = static_cast<double>(cabinet->size());
}

}  // namespace bench
