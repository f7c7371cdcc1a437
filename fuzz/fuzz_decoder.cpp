// Each decoder fed raw blocks directly, as the driver would. Input: the
// 16-bit method value, then blocks of [16-bit compressed size, 16-bit
// requested size, compressed bytes]; a requested size of 0 resets the
// decoder (a new folder).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cab/decoder.h"
#include "cab/format.h"
#include "cab/testing/memory_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const uint16_t method = cab::load_u16(data);
    const cab::DecoderOps *ops = cab::decoder_for_method(cab::method_kind(method));
    if (!ops) return 0;
    const unsigned exponent = cab::window_exponent(method);
    uint32_t capacity = 0;
    if (ops->size_query(cab::kMaxBlockSize, exponent, &capacity) != cab::kDecodeOk) return 0;

    cabtest::MemoryHost host;
    host.largest_allocation = 8u << 20;
    const cab::HostCallbacks callbacks{cabtest::MemoryHost::alloc, cabtest::MemoryHost::free,
                                       cabtest::MemoryHost::open,  cabtest::MemoryHost::read,
                                       cabtest::MemoryHost::write, cabtest::MemoryHost::close,
                                       cabtest::MemoryHost::seek};
    void *decoder = nullptr;
    if (ops->create(cab::kMaxBlockSize, exponent, callbacks, 1, &decoder) != cab::kDecodeOk)
        return 0;

    std::vector<uint8_t> input(capacity + cab::kInputSlack, 0);
    std::vector<uint8_t> output(cab::kMaxBlockSize, 0);
    size_t at = 2;
    while (at + 4 <= size) {
        const uint32_t compressed = cab::load_u16(data + at);
        const uint32_t requested = cab::load_u16(data + at + 2);
        at += 4;
        const uint32_t n =
            static_cast<uint32_t>(std::min<size_t>({compressed, size - at, capacity}));
        std::memcpy(input.data(), data + at, n);
        at += n;
        if (requested == 0) {
            ops->reset(decoder);
            continue;
        }
        uint32_t count = ops->count_is_limit ? cab::kMaxBlockSize : requested;
        const int result = ops->decode(decoder, input.data(), n, output.data(), &count);
        // A failure reports no bytes, and a data error names its check.
        if (result != cab::kDecodeOk && count != 0) __builtin_trap();
        if (result == cab::kDecodeDataError && ops->last_fault(decoder) == nullptr)
            __builtin_trap();
        if (result != cab::kDecodeOk) break;
        if (count > cab::kMaxBlockSize) __builtin_trap();
    }
    ops->destroy(decoder);
    if (host.open_handles() != 0 || host.live_blocks() != 0) __builtin_trap();
    return 0;
}
