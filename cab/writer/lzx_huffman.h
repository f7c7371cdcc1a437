// Huffman codes of the LZX compressor: length-limited code lengths from
// symbol frequencies, and the canonical codes the decoder derives from them.
#pragma once

#include <algorithm>
#include <cstdint>

namespace cabwriter::lzx {

// Code lengths of at most `limit` bits for the frequencies. A code with one
// used symbol gets a second one, since the decoder accepts only complete or
// empty codes.
void build_code_lengths(const uint32_t *freq, unsigned symbols, unsigned limit, uint8_t *lengths);

// Canonical codes, as the decoder builds them: shorter codes first, equal
// lengths in symbol order.
void build_codes(const uint8_t *lengths, unsigned symbols, uint16_t *codes);

// One tree: the frequencies counted for a block, and its code.
template <unsigned kSymbols>
struct Tree {
    uint32_t freq[kSymbols];
    uint8_t lengths[kSymbols];
    uint16_t codes[kSymbols];

    void clear_freq() { std::fill_n(freq, kSymbols, 0); }
    void build(unsigned symbols, unsigned limit) {
        build_code_lengths(freq, symbols, limit, lengths);
        build_codes(lengths, symbols, codes);
    }
    uint64_t cost(unsigned symbols) const {
        uint64_t bits = 0;
        for (unsigned s = 0; s < symbols; ++s) bits += uint64_t{freq[s]} * lengths[s];
        return bits;
    }
};

}  // namespace cabwriter::lzx
