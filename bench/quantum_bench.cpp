// Quantum: extraction through the engine next to the other methods, the
// decoder alone with the flat and the paged window, compressed size against
// zlib level 9, and compression speed, on the mixed content.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/engine_fixture.h"
#include "bench/mixed_content.h"
#include "cab/quantum.h"
#include "cab/writer/quantum_compressor.h"

namespace {

constexpr unsigned kWindowExponent = 21;

struct Compressed {
    std::vector<uint8_t> data;
    std::vector<cabwriter::CompressedBlock> blocks;
    size_t quantum_size = 0;
    size_t zlib9_size = 0;
};

const Compressed &compressed() {
    static const Compressed c = [] {
        Compressed r;
        r.data = bench::mixed_content();
        r.blocks = cabwriter::make_quantum_compressor(kWindowExponent)->compress(r.data);
        for (const auto &b : r.blocks) r.quantum_size += b.bytes.size();
        uLongf size = compressBound(r.data.size());
        std::vector<uint8_t> out(size);
        compress2(out.data(), &size, r.data.data(), r.data.size(), 9);
        r.zlib9_size = size;
        return r;
    }();
    return c;
}

// Host for the decoder: malloc/free, refusing the flat window when `paged`
// is set and granting at most `page_buffers` page buffers, and one in-memory
// scratch file.
struct BenchHost {
    bool paged = false;
    int page_buffers = 0;
    std::vector<uint8_t> scratch;
    size_t position = 0;
};
BenchHost host;

void *bench_alloc(uint32_t size) {
    if (host.paged && size == (1u << kWindowExponent)) return nullptr;
    if (host.paged && size > 4096 && size < 4096 + 256 && host.page_buffers-- <= 0) return nullptr;
    return std::malloc(size);
}
void bench_free(void *p) { std::free(p); }
int32_t bench_open(const char *, int32_t, int32_t) { return 1; }
int32_t bench_read(int32_t, void *buffer, uint32_t count) {
    std::memcpy(buffer, host.scratch.data() + host.position, count);
    host.position += count;
    return static_cast<int32_t>(count);
}
int32_t bench_write(int32_t, const void *buffer, uint32_t count) {
    if (host.scratch.size() < host.position + count) host.scratch.resize(host.position + count);
    std::memcpy(host.scratch.data() + host.position, buffer, count);
    host.position += count;
    return static_cast<int32_t>(count);
}
int32_t bench_close(int32_t) { return 0; }
int32_t bench_seek(int32_t, int32_t offset, int32_t) {
    host.position = static_cast<size_t>(offset);
    return offset;
}

void decode_all(benchmark::State &state, bool paged, int page_buffers) {
    const Compressed &c = compressed();
    const cab::HostCallbacks callbacks = {bench_alloc, bench_free,  bench_open, bench_read,
                                          bench_write, bench_close, bench_seek};
    host = {paged, page_buffers, {}, 0};
    void *decoder = nullptr;
    if (cab::kQuantumDecoder.create(cab::kMaxBlockSize, kWindowExponent, callbacks, 1, &decoder) !=
        cab::kDecodeOk) {
        state.SkipWithError("create failed");
        return;
    }
    std::vector<uint8_t> out(cab::kMaxBlockSize);
    for (auto _ : state) {
        cab::kQuantumDecoder.reset(decoder);
        size_t at = 0;
        for (const auto &b : c.blocks) {
            uint32_t count = b.uncompressed_size;
            if (cab::kQuantumDecoder.decode(decoder, b.bytes.data(),
                                            static_cast<uint32_t>(b.bytes.size()), out.data(),
                                            &count) != cab::kDecodeOk ||
                std::memcmp(out.data(), c.data.data() + at, b.uncompressed_size) != 0) {
                state.SkipWithError("decode failed");
                break;
            }
            at += b.uncompressed_size;
        }
    }
    cab::kQuantumDecoder.destroy(decoder);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.data.size()));
    state.counters["quantum21_bytes"] = static_cast<double>(c.quantum_size);
    state.counters["zlib9_bytes"] = static_cast<double>(c.zlib9_size);
}

void BM_QuantumDecodeFlat(benchmark::State &state) { decode_all(state, false, 0); }
void BM_QuantumDecodePaged(benchmark::State &state) {
    decode_all(state, true, static_cast<int>(state.range(0)));
}

void BM_QuantumCompress(benchmark::State &state) {
    const std::vector<uint8_t> data = bench::mixed_content(8u << 20);
    auto compressor = cabwriter::make_quantum_compressor(kWindowExponent);
    for (auto _ : state) benchmark::DoNotOptimize(compressor->compress(data));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_ExtractQuantum21(benchmark::State &state) {
    bench::extract_benchmark(state, {cabwriter::MethodKind::Quantum, kWindowExponent});
}

BENCHMARK(BM_ExtractQuantum21)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_QuantumDecodeFlat)->Unit(benchmark::kMillisecond)->MinTime(2);
// 3 buffers is the least the decoder accepts; 64 holds an eighth of the window.
BENCHMARK(BM_QuantumDecodePaged)->Arg(3)->Arg(64)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_QuantumCompress)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
