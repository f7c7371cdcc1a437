// Compressed size and speed of every method and level on the mixed content,
// beside zlib level 9 and the xz program at -9 (run as a yardstick of what
// the content allows). Speed is CPU time, the xz child's included, so that
// a loaded machine distorts it less than wall time.
//   build/bin/cab_bench --benchmark_filter=^Compress/       (the whole table)
//   build/bin/cab_bench --benchmark_filter='^Compress/(Lzx/21/|Zlib9)'
//       --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/mixed_content.h"
#include "cab/writer/lzx_compressor.h"
#include "cab/writer/quantum_compressor.h"

namespace {

const std::vector<uint8_t> &content() {
    static const std::vector<uint8_t> c = bench::mixed_content();
    return c;
}

double cpu_seconds() {
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage r{};
        getrusage(who, &r);
        for (const timeval &t : {r.ru_utime, r.ru_stime}) total += t.tv_sec + t.tv_usec / 1e6;
    }
    return total;
}

// Runs `compress` (which returns the compressed size) once per iteration
// and reports its CPU time, bytes and size against the content.
template <typename Compress>
void measure(benchmark::State &state, Compress compress) {
    size_t size = 0;
    for (auto _ : state) {
        const double start = cpu_seconds();
        size = compress(content());
        state.SetIterationTime(cpu_seconds() - start);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content().size()));
    state.counters["bytes"] = static_cast<double>(size);
    state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(content().size());
}

size_t frames_size(const std::vector<cabwriter::CompressedBlock> &frames) {
    size_t size = 0;
    for (const auto &f : frames) size += f.bytes.size();
    return size;
}

void BM_CompressStored(benchmark::State &state) {
    measure(state, [](const std::vector<uint8_t> &c) {
        return frames_size(cabwriter::make_stored_compressor()->compress(c));
    });
}

void BM_CompressMszip(benchmark::State &state) {
    measure(state, [](const std::vector<uint8_t> &c) {
        return frames_size(cabwriter::make_mszip_compressor()->compress(c));
    });
}

// Argument: the window exponent.
void BM_CompressQuantum(benchmark::State &state) {
    cabwriter::QuantumOptions o;
    o.window_exponent = static_cast<unsigned>(state.range(0));
    measure(state, [&](const std::vector<uint8_t> &c) {
        return frames_size(cabwriter::make_quantum_compressor(o)->compress(c));
    });
}

// Arguments: the window exponent, and 1 for the near-optimal parse.
void BM_CompressLzx(benchmark::State &state) {
    cabwriter::LzxOptions o;
    o.window_exponent = static_cast<unsigned>(state.range(0));
    o.best = state.range(1) != 0;
    measure(state, [&](const std::vector<uint8_t> &c) {
        return frames_size(cabwriter::make_lzx_compressor(o)->compress(c));
    });
}

void BM_CompressZlib9(benchmark::State &state) {
    measure(state, [](const std::vector<uint8_t> &c) {
        uLongf size = compressBound(static_cast<uLong>(c.size()));
        std::vector<uint8_t> out(size);
        if (compress2(out.data(), &size, c.data(), static_cast<uLong>(c.size()), 9) != Z_OK)
            throw std::runtime_error("deflate failed");
        return static_cast<size_t>(size);
    });
}

// The xz program, single-threaded, on the content in a temporary file.
void BM_CompressXz9(benchmark::State &state) {
    const std::string path = "/tmp/pelmar_bench_content." + std::to_string(getpid());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(content().data()),
               static_cast<std::streamsize>(content().size()));
    measure(state, [&](const std::vector<uint8_t> &) {
        FILE *pipe = popen(("xz -9 -T1 -c " + path).c_str(), "r");
        if (pipe == nullptr) throw std::runtime_error("xz cannot be started");
        size_t size = 0;
        char buffer[1 << 16];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) size += n;
        if (pclose(pipe) != 0) throw std::runtime_error("xz failed");
        return size;
    });
    std::remove(path.c_str());
}

void table(benchmark::internal::Benchmark *b) { b->Unit(benchmark::kMillisecond)->UseManualTime(); }

BENCHMARK(BM_CompressStored)->Name("Compress/Stored")->Apply(table);
BENCHMARK(BM_CompressMszip)->Name("Compress/Mszip")->Apply(table);
BENCHMARK(BM_CompressQuantum)->Name("Compress/Quantum")->DenseRange(10, 21)->Apply(table);
BENCHMARK(BM_CompressLzx)
    ->Name("Compress/Lzx")
    ->ArgsProduct({benchmark::CreateDenseRange(15, 21, 1), {0, 1}})
    ->Apply(table);
BENCHMARK(BM_CompressZlib9)->Name("Compress/Zlib9")->Apply(table);
BENCHMARK(BM_CompressXz9)->Name("Compress/Xz9")->Apply(table);

}  // namespace
