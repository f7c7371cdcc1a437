// The benchmarks' reference data: a reproducible mix of the kinds of content
// an installer carries (text, machine code with call instructions, tables
// with runs, already-compressed bytes), so every method is measured on the
// same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

inline constexpr size_t kMixedContentSize = 64u << 20;

// `size` bytes of mixed content; the same seed always gives the same bytes.
std::vector<uint8_t> mixed_content(size_t size = kMixedContentSize, uint32_t seed = 1);

}  // namespace bench
