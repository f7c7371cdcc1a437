#include "cab/writer/lzx_calls.h"

#include <algorithm>
#include <cstring>

#include "cab/bytes.h"
#include "cab/format.h"
#include "cab/lzx_format.h"

namespace cabwriter::lzx {

using namespace cab::lzx;

namespace {

// The operand the decoder turns into `original` at stream position `cur`.
uint32_t encode_call_operand(uint32_t original, uint32_t cur) {
    for (const uint32_t candidate : {original + cur, original - kCallFileSize}) {
        if (decode_call_operand(candidate, cur, kCallFileSize) == original) return candidate;
    }
    return original;
}

}  // namespace

void translate_calls(std::vector<uint8_t> &data) {
    uint32_t position = 0;
    for (size_t start = 0, frame = 0; start < data.size() && frame < kCallTranslationFrames;
         start += cab::kMaxBlockSize, ++frame) {
        const uint32_t length =
            static_cast<uint32_t>(std::min<size_t>(cab::kMaxBlockSize, data.size() - start));
        uint8_t *out = data.data() + start;
        if (length >= kCallSentinelBytes) {
            const uint32_t scan_end = length - kCallSentinelBytes;
            for (uint32_t r = 0; r < scan_end; r += 5) {
                auto *hit = static_cast<uint8_t *>(std::memchr(out + r, 0xE8, scan_end - r));
                if (hit == nullptr) break;
                r = static_cast<uint32_t>(hit - out);
                if (r + 5 <= scan_end)
                    cab::store_u32(hit + 1,
                                   encode_call_operand(cab::load_u32(hit + 1), position + r));
            }
        }
        position += length;
    }
}

}  // namespace cabwriter::lzx
