// Call (0xE8) translation of the LZX compressor: the inverse of the
// decoder's, applied to the folder before it is parsed.
#pragma once

#include <cstdint>
#include <vector>

namespace cabwriter::lzx {

// The E8 file size written into the stream. A multiple of 2^24 below
// 0xE8000000: the decoder then never changes the bytes of an operand that runs
// into a frame's sentinel bytes, so those operands need no inverse.
inline constexpr uint32_t kCallFileSize = 1u << 24;

// Applies the inverse of the decoder's per-frame scan: the same E8 bytes are
// found (operand bytes are skipped alike, and the decoder never changes an
// E8 byte), and every operand that lies wholly before the frame's last six
// bytes is replaced.
void translate_calls(std::vector<uint8_t> &data);

}  // namespace cabwriter::lzx
