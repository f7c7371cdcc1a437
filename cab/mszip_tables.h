// Huffman decoding tables of the MSZIP decoder: entries, the Deflate symbol
// tables and the table builder. A header of its own so that tests can run the
// builder over every code a stream may declare and check the capacities.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace cab::mszip {

// A table entry. `op` 0-13: a length or distance base `value` with that many
// extra bits; kOpLiteral: the byte `value`; kOpEndOfBlock; kOpInvalid; above
// kOpLiteral: a link to the sub-table at `value`, indexed by the next
// (op - kOpLiteral) bits. `bits` is the code length the entry consumes.
struct HuffEntry {
    uint8_t op = 0;
    uint8_t bits = 0;
    uint16_t value = 0;
};

inline constexpr uint8_t kMaxExtraBits = 13;
inline constexpr uint8_t kOpEndOfBlock = 15;
inline constexpr uint8_t kOpLiteral = 16;
inline constexpr uint8_t kOpInvalid = 99;
inline constexpr HuffEntry kInvalidEntry = {kOpInvalid, 0, 0};

inline constexpr unsigned kMaxCodeLength = 15;
inline constexpr unsigned kMaxLiteralCodes = 286;  // HLIT limit
inline constexpr unsigned kMaxDistanceCodes = 30;  // HDIST limit
inline constexpr unsigned kCodeLengthCodes = 19;

// Lookup widths and table capacities. Codes longer than the lookup width go
// to sub-tables no wider than the lookup width, each only as wide as the
// longest code under its prefix needs. The dynamic capacities are the most
// entries any complete code can need with these widths: 852 for 286
// literal/length codes of up to 15 bits (deflate encoders do produce codes
// that need more than 800), 154 for 30 distance codes (a test builds every
// complete distance code, one for each group that needs the same entries).
inline constexpr unsigned kLiteralLookupBits = 9;
inline constexpr unsigned kDistanceLookupBits = 6;
inline constexpr unsigned kFixedDistanceLookupBits = 5;
inline constexpr unsigned kCodeLengthLookupBits = 7;
inline constexpr unsigned kLiteralTableCapacity = 852;
inline constexpr unsigned kDistanceTableCapacity = 154;
inline constexpr unsigned kFixedLiteralTableCapacity = 520;
inline constexpr unsigned kFixedDistanceTableCapacity = 32;
inline constexpr unsigned kCodeLengthTableCapacity = 1u << kCodeLengthLookupBits;

inline constexpr uint16_t length_base[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr uint8_t length_extra_bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr uint16_t distance_base[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr uint8_t distance_extra_bits[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                    4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                    9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr HuffEntry literal_entry(unsigned symbol) {
    if (symbol < 256) return {kOpLiteral, 0, static_cast<uint16_t>(symbol)};
    if (symbol == 256) return {kOpEndOfBlock, 0, 0};
    if (symbol < kMaxLiteralCodes)
        return {length_extra_bits[symbol - 257], 0, length_base[symbol - 257]};
    return kInvalidEntry;  // 286 and 287 exist only in the fixed code
}

constexpr HuffEntry distance_entry(unsigned symbol) {
    if (symbol < kMaxDistanceCodes) return {distance_extra_bits[symbol], 0, distance_base[symbol]};
    return kInvalidEntry;  // 30 and 31 exist only in the fixed code
}

constexpr HuffEntry code_length_entry(unsigned symbol) {
    return {kOpLiteral, 0, static_cast<uint16_t>(symbol)};
}

struct Code {
    uint16_t symbol = 0;
    uint8_t length = 0;
    uint16_t reversed = 0;  // the code with its first bit lowest, as read
};

inline constexpr auto reversed_byte = [] {
    std::array<uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v)
        for (unsigned b = 0; b < 8; ++b)
            table[v] |= static_cast<uint8_t>(((v >> b) & 1u) << (7 - b));
    return table;
}();

constexpr unsigned low_bits(unsigned value, unsigned n) { return value & ((1u << n) - 1); }

using SymbolEntryFn = HuffEntry (*)(unsigned symbol);

// Fills a table and its sub-tables from canonical codes sorted by length,
// then symbol. That order is also the codes' lexicographic order, so codes
// sharing a sub-table are neighbours and the longest of them comes last.
// The symbol's entry function is a template argument so that it inlines.
template <SymbolEntryFn symbol_entry>
struct TableFiller {
    const Code *codes;
    HuffEntry *table;
    unsigned capacity;
    unsigned max_sub_bits;
    unsigned used = 0;

    // Takes 2^bits entries at the end of the table; false when it is full.
    constexpr bool allocate(unsigned bits, unsigned *base) {
        *base = used;
        used += 1u << bits;
        return used <= capacity;
    }

    // Fills the 2^bits entries at `base` with codes[begin, end), which all
    // share their first `consumed` bits and, the code being complete, cover
    // every entry.
    constexpr bool fill(unsigned begin, unsigned end, unsigned consumed, unsigned bits,
                        unsigned base) {
        unsigned i = begin;
        while (i < end) {
            const unsigned rest = codes[i].reversed >> consumed;
            const unsigned length = codes[i].length - consumed;
            if (length <= bits) {
                HuffEntry entry = symbol_entry(codes[i].symbol);
                entry.bits = static_cast<uint8_t>(length);
                for (unsigned at = rest; at < 1u << bits; at += 1u << length)
                    table[base + at] = entry;
                ++i;
                continue;
            }
            const unsigned index = low_bits(rest, bits);
            unsigned group_end = i + 1;
            while (group_end < end &&
                   low_bits(codes[group_end].reversed >> consumed, bits) == index)
                ++group_end;
            const unsigned sub_bits =
                std::min(codes[group_end - 1].length - consumed - bits, max_sub_bits);
            unsigned sub_base = 0;
            if (!allocate(sub_bits, &sub_base)) return false;
            table[base + index] = {static_cast<uint8_t>(kOpLiteral + sub_bits),
                                   static_cast<uint8_t>(bits), static_cast<uint16_t>(sub_base)};
            if (!fill(i, group_end, consumed + bits, sub_bits, sub_base)) return false;
            i = group_end;
        }
        return true;
    }
};

// Builds the decoding table of a canonical Huffman code from its code
// lengths (0 = unused symbol, at most 15 and at most 288 symbols). The lookup
// width is `lookup_bits` raised to the shortest code and lowered to the
// longest; it is stored in *root_bits. Returns the number of entries used,
// or 0 for an over-subscribed code, an incomplete one (except a single code
// of length 1) and a table that needs more than `capacity` entries. All
// lengths 0 give a one-entry table in which every code is invalid.
template <SymbolEntryFn symbol_entry>
constexpr unsigned build_table(const uint8_t *lengths, unsigned count, unsigned lookup_bits,
                               HuffEntry *table, unsigned capacity, unsigned *root_bits) {
    unsigned codes_of_length[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < count; ++s) ++codes_of_length[lengths[s]];
    codes_of_length[0] = 0;

    unsigned shortest = 0, longest = 0;
    int unused_codes = 1;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        unused_codes = 2 * unused_codes - static_cast<int>(codes_of_length[len]);
        if (unused_codes < 0) return 0;
        if (codes_of_length[len] != 0) {
            if (shortest == 0) shortest = len;
            longest = len;
        }
    }
    if (longest == 0) {
        *root_bits = 0;
        table[0] = kInvalidEntry;
        return capacity >= 1 ? 1 : 0;
    }
    if (unused_codes > 0 && longest != 1) return 0;

    // Canonical codes: consecutive values per length, lengths in order.
    uint16_t next_code[kMaxCodeLength + 1] = {};
    unsigned first_index[kMaxCodeLength + 1] = {};
    for (unsigned len = 1, code = 0, index = 0; len <= kMaxCodeLength; ++len) {
        code = (code + codes_of_length[len - 1]) << 1;
        next_code[len] = static_cast<uint16_t>(code);
        first_index[len] = index;
        index += codes_of_length[len];
    }
    Code codes[288] = {};
    unsigned total = 0;
    for (unsigned s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        const unsigned code = next_code[len]++;
        const unsigned reversed =
            (reversed_byte[code & 0xFF] << 8 | reversed_byte[code >> 8]) >> (16 - len);
        codes[first_index[len]++] = {static_cast<uint16_t>(s), static_cast<uint8_t>(len),
                                     static_cast<uint16_t>(reversed)};
        ++total;
    }

    const unsigned root = std::min(std::max(lookup_bits, shortest), longest);
    TableFiller<symbol_entry> filler{codes, table, capacity, root};
    unsigned base = 0;
    if (!filler.allocate(root, &base)) return 0;
    if (unused_codes > 0) table[1] = kInvalidEntry;  // the single 1-bit code fills entry 0 only
    if (!filler.fill(0, total, 0, root, base)) return 0;
    *root_bits = root;
    return filler.used;
}

}  // namespace cab::mszip
