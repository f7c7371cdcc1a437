// MSZIP decoding against zlib's inflate on the same mixed content.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "bench/engine_fixture.h"
#include "bench/mixed_content.h"
#include "cab/mszip.h"
#include "cab/writer/mszip_compressor.h"

namespace {

void *bench_alloc(uint32_t size) { return std::malloc(size); }
void bench_free(void *block) { std::free(block); }

const std::vector<uint8_t> &content() {
    static const std::vector<uint8_t> data = bench::mixed_content();
    return data;
}

// The writer's data blocks for the content: one folder, default level.
const std::vector<cabwriter::CompressedBlock> &mszip_blocks() {
    static const auto blocks = cabwriter::make_mszip_compressor()->compress(content());
    return blocks;
}

// The content as one raw Deflate stream at zlib's default level.
const std::vector<uint8_t> &deflate_stream() {
    static const std::vector<uint8_t> stream = [] {
        const auto &in = content();
        uLongf size = compressBound(static_cast<uLong>(in.size()));
        std::vector<uint8_t> out(size);
        z_stream z{};
        if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2");
        z.next_in = const_cast<Bytef *>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
        out.resize(z.total_out);
        deflateEnd(&z);
        return out;
    }();
    return stream;
}

// Decodes every block of the folder through the decoder contract, as the
// driver does: one instance, one 32768-byte buffer.
void BM_MszipDecode(benchmark::State &state) {
    const auto &blocks = mszip_blocks();
    const cab::HostCallbacks host{bench_alloc, bench_free, nullptr, nullptr,
                                  nullptr,     nullptr,    nullptr};
    std::vector<uint8_t> buffer(cab::kMaxBlockSize, 0);
    void *decoder = nullptr;
    if (cab::kMszipDecoder.create(cab::kMaxBlockSize, 0, host, 0, &decoder) != cab::kDecodeOk) {
        state.SkipWithError("create failed");
        return;
    }
    for (auto _ : state) {
        cab::kMszipDecoder.reset(decoder);
        for (const auto &block : blocks) {
            uint32_t produced = cab::kMaxBlockSize;
            if (cab::kMszipDecoder.decode(decoder, block.bytes.data(),
                                          static_cast<uint32_t>(block.bytes.size()), buffer.data(),
                                          &produced) != cab::kDecodeOk ||
                produced != block.uncompressed_size) {
                state.SkipWithError("decode failed");
                break;
            }
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    cab::kMszipDecoder.destroy(decoder);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(content().size()));
}
BENCHMARK(BM_MszipDecode)->Unit(benchmark::kMillisecond);

// zlib's inflate of the same content as one raw Deflate stream into one
// output buffer: zlib at its most favourable, without per-block set-up.
void BM_ZlibInflate(benchmark::State &state) {
    const auto &stream = deflate_stream();
    std::vector<uint8_t> out(content().size());
    for (auto _ : state) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef *>(stream.data());
        z.avail_in = static_cast<uInt>(stream.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate failed");
        inflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(content().size()));
}
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);

// The whole engine: the content as 1 MiB files in one MSZIP folder,
// extracted through cab_copy with in-memory callbacks.
void BM_ExtractMszip(benchmark::State &state) {
    cabwriter::Method method;
    method.kind = cabwriter::MethodKind::Mszip;
    bench::extract_benchmark(state, method);
}
BENCHMARK(BM_ExtractMszip)->Unit(benchmark::kMillisecond);

}  // namespace
