// The writer compressing a cabinet of 8 folders on one thread and on two:
// what `pelmarcab create -j` gains. Wall time, since the work is spread
// over threads.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/mixed_content.h"
#include "cab/writer/writer.h"

namespace {

constexpr size_t kFolders = 8;
constexpr size_t kFolderSize = 1u << 20;

// Eight folders of different mixed content, one file each.
std::vector<cabwriter::Folder> folders(cabwriter::MethodKind kind, unsigned window) {
    std::vector<cabwriter::Folder> out(kFolders);
    for (size_t i = 0; i < kFolders; ++i) {
        out[i].method.kind = kind;
        out[i].method.window_exponent = window;
        out[i].files.push_back({"file" + std::to_string(i),
                                bench::mixed_content(kFolderSize, static_cast<uint32_t>(i + 1))});
    }
    return out;
}

void write_set(benchmark::State &state, const std::vector<cabwriter::Folder> &input) {
    cabwriter::SetOptions options;
    options.jobs = static_cast<unsigned>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(cabwriter::write_cabinet_set(input, options));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFolders * kFolderSize));
}

void BM_WriteMszip(benchmark::State &state) {
    static const auto input = folders(cabwriter::MethodKind::Mszip, 0);
    write_set(state, input);
}
BENCHMARK(BM_WriteMszip)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_WriteLzx21(benchmark::State &state) {
    static const auto input = folders(cabwriter::MethodKind::Lzx, 21);
    write_set(state, input);
}
BENCHMARK(BM_WriteLzx21)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
