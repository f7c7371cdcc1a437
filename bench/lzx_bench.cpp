// LZX on the mixed content: extraction and decoding, compressor throughput,
// and compressed sizes against zlib level 9. Decoding compares with zlib in
// the same run two ways: BM_ZlibInflate (raw Deflate at the default level,
// no check value) and BM_ZlibUncompressLevel9 (the level-9 zlib stream whose
// size is reported here, with its Adler-32 check, as the engine checks the
// cabinet's block checksums).
//   build/bin/cab_bench --benchmark_filter='Lzx|Zlib'
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "bench/engine_fixture.h"
#include "bench/mixed_content.h"
#include "cab/lzx.h"
#include "cab/writer/lzx_compressor.h"

namespace {

constexpr unsigned kWindowExponent = 21;

struct Corpus {
    std::vector<uint8_t> content = bench::mixed_content();
    std::vector<cabwriter::CompressedBlock> lzx_frames;
    size_t lzx_size = 0;
    std::vector<uint8_t> deflated;

    Corpus() {
        lzx_frames = cabwriter::make_lzx_compressor(kWindowExponent, true)->compress(content);
        for (const auto &f : lzx_frames) lzx_size += f.bytes.size();
        uLongf size = compressBound(static_cast<uLong>(content.size()));
        deflated.resize(size);
        if (compress2(deflated.data(), &size, content.data(), static_cast<uLong>(content.size()),
                      9) != Z_OK)
            throw std::runtime_error("deflate failed");
        deflated.resize(size);
    }
};

const Corpus &corpus() {
    static const Corpus c;
    return c;
}

size_t allocated_now = 0;
size_t allocated_peak = 0;

void *counting_alloc(uint32_t size) {
    auto *p = static_cast<size_t *>(std::malloc(size + sizeof(size_t)));
    if (p == nullptr) return nullptr;
    *p = size;
    allocated_now += size;
    allocated_peak = std::max(allocated_peak, allocated_now);
    return p + 1;
}

void counting_free(void *block) {
    auto *p = static_cast<size_t *>(block) - 1;
    allocated_now -= *p;
    std::free(p);
}

void BM_LzxDecode(benchmark::State &state) {
    const Corpus &c = corpus();
    const cab::HostCallbacks host = {counting_alloc, counting_free, nullptr, nullptr,
                                     nullptr,        nullptr,       nullptr};
    uint32_t capacity = 0;
    cab::kLzxDecoder.size_query(cab::kMaxBlockSize, kWindowExponent, &capacity);
    std::vector<uint8_t> input(capacity + cab::kInputSlack), output(cab::kMaxBlockSize);
    allocated_peak = allocated_now = 0;
    void *decoder = nullptr;
    if (cab::kLzxDecoder.create(cab::kMaxBlockSize, kWindowExponent, host, 1, &decoder) !=
        cab::kDecodeOk)
        state.SkipWithError("create failed");
    for (auto _ : state) {
        cab::kLzxDecoder.reset(decoder);
        for (const auto &f : c.lzx_frames) {
            std::copy(f.bytes.begin(), f.bytes.end(), input.begin());
            uint32_t count = f.uncompressed_size;
            if (cab::kLzxDecoder.decode(decoder, input.data(),
                                        static_cast<uint32_t>(f.bytes.size()), output.data(),
                                        &count) != cab::kDecodeOk) {
                state.SkipWithError("decode failed");
                break;
            }
            benchmark::DoNotOptimize(output.data());
        }
    }
    cab::kLzxDecoder.destroy(decoder);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.content.size()));
    state.counters["decoder_bytes"] = static_cast<double>(allocated_peak);
}
BENCHMARK(BM_LzxDecode)->Unit(benchmark::kMillisecond);

void BM_ZlibUncompressLevel9(benchmark::State &state) {
    const Corpus &c = corpus();
    std::vector<uint8_t> output(c.content.size());
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(output.size());
        if (uncompress(output.data(), &size, c.deflated.data(),
                       static_cast<uLong>(c.deflated.size())) != Z_OK)
            state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.content.size()));
}
BENCHMARK(BM_ZlibUncompressLevel9)->Unit(benchmark::kMillisecond);

// The whole engine: the content as 1 MiB files in one LZX-21 folder.
void BM_ExtractLzx(benchmark::State &state) {
    cabwriter::Method method;
    method.kind = cabwriter::MethodKind::Lzx;
    method.window_exponent = kWindowExponent;
    bench::extract_benchmark(state, method);
}
BENCHMARK(BM_ExtractLzx)->Unit(benchmark::kMillisecond);

void BM_LzxCompress(benchmark::State &state) {
    const Corpus &c = corpus();
    auto compressor = cabwriter::make_lzx_compressor(kWindowExponent, true);
    for (auto _ : state) benchmark::DoNotOptimize(compressor->compress(c.content));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.content.size()));
    state.counters["lzx21_bytes"] = static_cast<double>(c.lzx_size);
    state.counters["zlib9_bytes"] = static_cast<double>(c.deflated.size());
    state.counters["lzx_vs_zlib9"] =
        static_cast<double>(c.lzx_size) / static_cast<double>(c.deflated.size());
}
BENCHMARK(BM_LzxCompress)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
