// Stored extraction against the machine's memory bandwidth, and the engine's
// peak memory for small and large cabinets.
#include <cstring>

#include "bench/engine_fixture.h"
#include "bench/mixed_content.h"

namespace {

void BM_Memcpy(benchmark::State &state) {
    const auto source = bench::mixed_content();
    std::vector<uint8_t> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_ExtractStored(benchmark::State &state) {
    bench::extract_benchmark(state, cabwriter::Method{});
}
BENCHMARK(BM_ExtractStored)->Unit(benchmark::kMillisecond);

// The engine's memory must not grow with the cabinet.
void BM_StoredPeakMemoryBySize(benchmark::State &state) {
    const auto cabinet =
        bench::mixed_cabinet(cabwriter::Method{}, static_cast<size_t>(state.range(0)) << 20);
    bench::ExtractResult result{};
    for (auto _ : state) result = bench::extract_to_sink(cabinet);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * result.bytes));
    state.counters["peak_engine_KiB"] = static_cast<double>(result.peak_memory) / 1024.0;
}
BENCHMARK(BM_StoredPeakMemoryBySize)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
