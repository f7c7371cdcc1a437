// MSZIP decoder. A data block is "CK" followed by a raw Deflate stream that
// ends with a block marked final. Bits are read least significant first, as
// Deflate defines. The decoder keeps no window: back-references read the
// driver's 32768-byte output buffer, which still holds the previous block's
// output behind the cursor, as a circular history.
#include "cab/mszip.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <utility>

#include "cab/bit_reader.h"
#include "cab/bytes.h"
#include "cab/fault.h"
#include "cab/mszip_tables.h"

namespace cab {
namespace {

using namespace mszip;

constexpr uint32_t kSignature = 'M' | 'D' << 8 | 'I' << 16 | uint32_t{'C'} << 24;
// Input beyond the block size that a Deflate stream may need: "CK" plus the
// framing of a stored block and a few spare bytes.
constexpr uint32_t kInputOverhead = 12;
constexpr uint32_t kHistorySize = kMaxBlockSize;  // the driver's output buffer

// Deflate block types (the two bits after the final-block bit).
constexpr unsigned kBlockTypeStored = 0;
constexpr unsigned kBlockTypeFixed = 1;
constexpr unsigned kBlockTypeReserved = 3;

constexpr uint8_t code_length_order[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                         11, 4,  12, 3, 13, 2, 14, 1, 15};

// ---------------------------------------------------------------------------
// Fixed tables

// The fixed code of block type 1, the same for every stream: built at
// compile time, so no thread ever builds or races on it.
struct FixedTables {
    HuffEntry literal[kFixedLiteralTableCapacity];
    HuffEntry distance[kFixedDistanceTableCapacity];
    unsigned literal_bits = 0;
    unsigned distance_bits = 0;
    bool built = false;
};

constexpr FixedTables make_fixed_tables() {
    FixedTables fixed;
    uint8_t literal_lengths[288] = {};
    for (unsigned s = 0; s < 288; ++s)
        literal_lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    uint8_t distance_lengths[32] = {};
    for (auto &len : distance_lengths) len = 5;
    fixed.built =
        build_table<literal_entry>(literal_lengths, 288, kLiteralLookupBits, fixed.literal,
                                   kFixedLiteralTableCapacity, &fixed.literal_bits) &&
        build_table<distance_entry>(distance_lengths, 32, kFixedDistanceLookupBits, fixed.distance,
                                    kFixedDistanceTableCapacity, &fixed.distance_bits);
    return fixed;
}

constexpr FixedTables kFixedTables = make_fixed_tables();
static_assert(kFixedTables.built && kFixedTables.literal_bits == 9 &&
              kFixedTables.distance_bits == 5);

// ---------------------------------------------------------------------------
// Bit input

// Holds up to 63 unread bits in `bits`, the next one at bit 0. refill()
// tops the buffer up to at least 56 bits, enough for a whole literal or match
// (at most 15 + 5 + 15 + 13 = 48 bits), so the symbol loop refills once per
// symbol. Past the end of the input the reader supplies zero bytes without
// error and counts them in `padding`; it never reads outside [begin, end).
struct BitReader {
    const uint8_t *begin = nullptr;
    const uint8_t *next = nullptr;
    const uint8_t *end = nullptr;
    uint64_t bits = 0;
    unsigned count = 0;
    uint32_t padding = 0;

    void start(const uint8_t *data, size_t size) {
        begin = next = data;
        end = data + size;
        bits = 0;
        count = 0;
        padding = 0;
    }

    void refill() {
        if (end - next >= 8) {
            // Loads 8 bytes but advances only by the whole bytes that fit; the
            // bits above `count` are the following input bits either way, so
            // loading them again later ORs in the same values.
            bits |= load_u64(next) << count;
            next += (63 - count) >> 3;
            count |= 56;
            return;
        }
        while (count < 56) {
            uint64_t byte = 0;
            if (next < end)
                byte = *next++;
            else
                ++padding;
            bits |= byte << count;
            count += 8;
        }
    }

    // The next n bits (n <= 32), first bit lowest.
    uint32_t peek(unsigned n) const {
        assert(n <= 32 && n <= count);
        return static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
    }

    void consume(unsigned n) {
        assert(n <= count);
        bits >>= n;
        count -= n;
    }

    unsigned buffered() const { return count; }
    uint32_t read(unsigned n) { return read_bits(*this, n); }

    // Drops the bits up to the next byte boundary and hands the whole unread
    // bytes back to the input; returns the offset of the next input byte from
    // `begin` (beyond the input's size when zero padding was read).
    size_t align_to_byte() {
        consume(count & 7);
        const size_t position = static_cast<size_t>(next - begin) + padding - count / 8;
        bits = 0;
        count = 0;
        padding = 0;
        return position;
    }

    // Continues reading at byte offset `position`, at most the input's size.
    void restart_at(size_t position) { next = begin + position; }
};

// ---------------------------------------------------------------------------
// The decoder

// State of one data block's decoding; one allocation per instance, reused
// for every block.
struct InflateState {
    BitReader in;
    uint8_t *out_start = nullptr;  // the driver's buffer; also the history
    uint8_t *out = nullptr;
    uint8_t *out_end = nullptr;  // output start + this block's output limit
    // Buffer positions [0, filled) hold output of the current folder; the
    // rest still holds an earlier folder's bytes, which must read as zeros.
    uint32_t filled = 0;
    bool final_block = false;
    HuffEntry literal_table[kLiteralTableCapacity];
    HuffEntry distance_table[kDistanceTableCapacity];
    HuffEntry code_length_table[kCodeLengthTableCapacity];
};

struct MszipDecoder {
    uint32_t signature;
    CabFreeFn free;
    uint32_t largest_block;
    InflateState *state;
    const char *fault;  // where the last decode failed, or null
};

MszipDecoder *checked(void *instance) {
    auto *decoder = static_cast<MszipDecoder *>(instance);
    return decoder != nullptr && decoder->signature == kSignature ? decoder : nullptr;
}

// Copies `length` bytes to `out` from `distance` bytes behind it in words of
// `kWord` bytes. Safe when distance >= kWord: every word read lies wholly
// before the cursor of the copy, so it was written before. The last word is
// copied at length - kWord, rewriting bytes just copied, so nothing is
// written past the match: the bytes ahead of the cursor are history.
template <unsigned kWord>
inline void copy_words(uint8_t *out, const uint8_t *from, unsigned length) {
    // The source lies at least a word behind, or wholly ahead.
    assert(length >= kWord && (out - from >= kWord || from - out >= length));
    for (unsigned i = 0; i + kWord <= length; i += kWord) std::memcpy(out + i, from + i, kWord);
    std::memcpy(out + length - kWord, from + length - kWord, kWord);
}

// Copies a match whose source lies within this block's output.
inline void copy_within_block(uint8_t *out, unsigned distance, unsigned length) {
    const uint8_t *from = out - distance;
    if (distance >= 8 && length >= 8) {
        copy_words<8>(out, from, length);
    } else if (distance >= 4 && length >= 4) {
        copy_words<4>(out, from, length);
    } else if (distance == 1) {
        std::memset(out, *from, length);
    } else {
        for (unsigned i = 0; i < length; ++i) out[i] = from[i];
    }
}

// Copies a match that reaches before this block's output: first from the
// previous blocks' output ahead of the cursor, up to the buffer's end, then,
// wrapped, from this block's start. Buffer positions at or beyond `filled`
// were never written in this folder and read as zeros.
void copy_from_history(uint8_t *out_start, uint8_t *out, uint32_t filled, unsigned distance,
                       unsigned length) {
    const size_t written = static_cast<size_t>(out - out_start);
    assert(distance > written && distance <= kHistorySize);
    const size_t from = written + kHistorySize - distance;  // >= written, as distance <= 32768
    const auto ahead = static_cast<unsigned>(std::min<size_t>(length, kHistorySize - from));
    const auto copied =
        static_cast<unsigned>(std::min<size_t>(ahead, filled > from ? filled - from : 0));
    // The source lies ahead of the destination, so a forward copy reads every
    // byte before it is overwritten; words are used when the two are apart.
    const uint8_t *source = out_start + from;
    if (copied >= 8 && from - written >= copied) {
        copy_words<8>(out, source, copied);
    } else {
        for (unsigned i = 0; i < copied; ++i) out[i] = source[i];
    }
    if (ahead > copied) std::memset(out + copied, 0, ahead - copied);
    if (length > ahead) copy_within_block(out + ahead, distance, length - ahead);
}

inline bool is_link(HuffEntry entry) { return entry.op > kOpLiteral && entry.op < kOpInvalid; }

// Completes a symbol from its root entry: follows sub-table links, leaving
// the bits of the final entry's code for the caller to consume. The caller has
// buffered at least 15 bits.
inline HuffEntry resolve_links(BitReader &in, const HuffEntry *table, HuffEntry entry) {
    assert(in.count >= kMaxCodeLength);
    while (is_link(entry)) {
        in.consume(entry.bits);
        entry = table[entry.value + in.peek(entry.op - kOpLiteral)];
    }
    return entry;
}

inline HuffEntry decode_symbol(BitReader &in, const HuffEntry *table, unsigned root_bits) {
    const HuffEntry entry = resolve_links(in, table, table[in.peek(root_bits)]);
    in.consume(entry.bits);
    return entry;
}

// Consumes a length or distance code together with its extra bits in one shift
// and returns the base plus the extra bits' value.
inline unsigned consume_with_extra_bits(BitReader &in, HuffEntry entry) {
    const uint64_t bits = in.bits;
    in.consume(entry.bits + entry.op);
    return entry.value +
           static_cast<unsigned>((bits >> entry.bits) & ((uint64_t{1} << entry.op) - 1));
}

// Decodes the symbols of one Huffman-coded Deflate block until its end of
// block code or until the output limit is reached. The reader and the output
// cursor live in locals during the loop, so the compiler keeps them in
// registers instead of reloading them after every byte written.
Fault decode_huffman_block(InflateState &s, const HuffEntry *literals, unsigned literal_bits,
                           const HuffEntry *distances, unsigned distance_bits) {
    BitReader in = s.in;
    uint8_t *out = s.out;
    uint8_t *const out_start = s.out_start;
    uint8_t *const out_end = s.out_end;
    in.refill();
    // The next symbol's root entry, looked up as early as possible: after a
    // literal at least 41 bits remain, enough to index the table while the
    // refill proceeds.
    HuffEntry next = literals[in.peek(literal_bits)];
    while (out != out_end) {
        const HuffEntry symbol = resolve_links(in, literals, next);
        if (symbol.op == kOpLiteral) {
            in.consume(symbol.bits);
            *out++ = static_cast<uint8_t>(symbol.value);
            next = literals[in.peek(literal_bits)];
            in.refill();
            continue;
        }
        if (symbol.op > kMaxExtraBits) {
            CAB_FAIL_IF(symbol.op != kOpEndOfBlock);
            in.consume(symbol.bits);
            break;
        }
        // The refill before this symbol left at least 56 bits, enough for the
        // whole match: 15 + 5 length bits and 15 + 13 distance bits.
        unsigned length = consume_with_extra_bits(in, symbol);
        const HuffEntry code = resolve_links(in, distances, distances[in.peek(distance_bits)]);
        CAB_FAIL_IF(code.op > kMaxExtraBits);
        const unsigned distance = consume_with_extra_bits(in, code);

        length = std::min(length, static_cast<unsigned>(out_end - out));
        if (distance <= static_cast<size_t>(out - out_start))
            copy_within_block(out, distance, length);
        else
            copy_from_history(out_start, out, s.filled, distance, length);
        out += length;
        in.refill();
        next = literals[in.peek(literal_bits)];
    }
    s.in = in;
    s.out = out;
    return kNoFault;
}

// A stored block: LEN, NLEN and LEN bytes, all of which must lie within the
// input; only as many bytes as the output limit allows are written.
Fault copy_stored_block(InflateState &s) {
    const size_t size = static_cast<size_t>(s.in.end - s.in.begin);
    size_t position = s.in.align_to_byte();
    CAB_FAIL_IF(!fits(position, 4, size));
    const uint8_t *header = s.in.begin + position;
    const unsigned length = load_u16(header);
    const unsigned complement = load_u16(header + 2);
    position += 4;
    CAB_FAIL_IF(length != (~complement & 0xFFFFu));
    CAB_FAIL_IF(!fits(position, length, size));
    const size_t copied = std::min<size_t>(length, s.out_end - s.out);
    std::memcpy(s.out, s.in.begin + position, copied);
    s.out += copied;
    s.in.restart_at(position + length);
    return kNoFault;
}

// Reads a dynamic block's code lengths and builds its two tables.
Fault read_dynamic_tables(InflateState &s, unsigned *literal_bits, unsigned *distance_bits) {
    BitReader &in = s.in;
    in.refill();
    const unsigned literal_codes = in.read(5) + 257;
    const unsigned distance_codes = in.read(5) + 1;
    const unsigned code_length_codes = in.read(4) + 4;
    CAB_FAIL_IF(literal_codes > kMaxLiteralCodes);
    CAB_FAIL_IF(distance_codes > kMaxDistanceCodes);

    uint8_t lengths[kMaxLiteralCodes + kMaxDistanceCodes] = {};
    for (unsigned i = 0; i < code_length_codes; ++i)
        lengths[code_length_order[i]] = static_cast<uint8_t>(in.read(3));
    unsigned code_length_bits = 0;
    const bool code_length_code_built = build_table<code_length_entry>(
        lengths, kCodeLengthCodes, kCodeLengthLookupBits, s.code_length_table,
        kCodeLengthTableCapacity, &code_length_bits);
    CAB_FAIL_IF(!code_length_code_built);

    // Every one of the `total` lengths is written below, overwriting the
    // code-length code's own lengths.
    const unsigned total = literal_codes + distance_codes;
    uint8_t previous = 0;
    for (unsigned i = 0; i < total;) {
        in.refill();
        const HuffEntry symbol = decode_symbol(in, s.code_length_table, code_length_bits);
        CAB_FAIL_IF(symbol.op == kOpInvalid);
        if (symbol.value < 16) {
            previous = static_cast<uint8_t>(symbol.value);
            lengths[i++] = previous;
            continue;
        }
        unsigned repeat = 0;
        uint8_t value = 0;
        switch (symbol.value) {
            case 16:
                repeat = 3 + in.read(2);
                value = previous;
                break;
            case 17: repeat = 3 + in.read(3); break;
            default: repeat = 11 + in.read(7); break;
        }
        CAB_FAIL_IF(repeat > total - i);
        std::fill_n(lengths + i, repeat, value);
        i += repeat;
        previous = value;
    }
    const bool literal_code_built =
        build_table<literal_entry>(lengths, literal_codes, kLiteralLookupBits, s.literal_table,
                                   kLiteralTableCapacity, literal_bits);
    CAB_FAIL_IF(!literal_code_built);
    const bool distance_code_built =
        build_table<distance_entry>(lengths + literal_codes, distance_codes, kDistanceLookupBits,
                                    s.distance_table, kDistanceTableCapacity, distance_bits);
    CAB_FAIL_IF(!distance_code_built);
    return kNoFault;
}

// Inflates Deflate blocks until the final one or the output limit.
Fault inflate(InflateState &s) {
    while (!s.final_block && s.out != s.out_end) {
        s.final_block = s.in.read(1) != 0;
        const unsigned type = s.in.read(2);
        CAB_FAIL_IF(type == kBlockTypeReserved);
        if (type == kBlockTypeStored) {
            CAB_TRY(copy_stored_block(s));
        } else if (type == kBlockTypeFixed) {
            CAB_TRY(decode_huffman_block(s, kFixedTables.literal, kFixedTables.literal_bits,
                                         kFixedTables.distance, kFixedTables.distance_bits));
        } else {
            unsigned literal_bits = 0, distance_bits = 0;
            CAB_TRY(read_dynamic_tables(s, &literal_bits, &distance_bits));
            CAB_TRY(decode_huffman_block(s, s.literal_table, literal_bits, s.distance_table,
                                         distance_bits));
        }
    }
    return kNoFault;
}

// Checks the data block's "CK" and inflates what follows into `output`.
Fault inflate_data_block(InflateState &s, const uint8_t *input, uint32_t input_size,
                         uint8_t *output, uint32_t limit) {
    CAB_FAIL_IF(input_size < 2 || input[0] != 'C' || input[1] != 'K');
    s.in.start(input + 2, input_size - 2);
    s.out_start = s.out = output;
    s.out_end = output + limit;
    s.final_block = false;
    return inflate(s);
}

int size_query(uint32_t largest_block, unsigned, uint32_t *compressed_capacity) {
    if (compressed_capacity == nullptr) return kDecodeBadParameter;
    *compressed_capacity = clamp_largest_block(largest_block) + kInputOverhead;
    return kDecodeOk;
}

int create(uint32_t largest_block, unsigned, const HostCallbacks &host, int32_t, void **instance) {
    if (instance == nullptr) return kDecodeBadParameter;
    *instance = nullptr;
    void *handle_memory = host.alloc(sizeof(MszipDecoder));
    if (handle_memory == nullptr) return kDecodeNoMemory;
    void *state_memory = host.alloc(sizeof(InflateState));
    if (state_memory == nullptr) {
        host.free(handle_memory);
        return kDecodeNoMemory;
    }
    auto *decoder =
        new (handle_memory) MszipDecoder{kSignature, host.free, clamp_largest_block(largest_block),
                                         new (state_memory) InflateState{}, nullptr};
    *instance = decoder;
    return kDecodeOk;
}

int decode(void *instance, const uint8_t *input, uint32_t input_size, uint8_t *output,
           uint32_t *count) {
    if (count == nullptr) return kDecodeBadParameter;
    const uint32_t limit = std::exchange(*count, 0);
    MszipDecoder *decoder = checked(instance);
    if (decoder == nullptr) return kDecodeBadInstance;
    decoder->fault = nullptr;
    if (input == nullptr || output == nullptr ||
        input_size > decoder->largest_block + kInputOverhead)
        return kDecodeBadParameter;
    InflateState &s = *decoder->state;
    const Fault fault =
        inflate_data_block(s, input, input_size, output, std::min(limit, decoder->largest_block));
    decoder->fault = fault.where();
    if (fault) return kDecodeDataError;

    const auto produced = static_cast<uint32_t>(s.out - s.out_start);
    s.filled = std::max(s.filled, produced);
    *count = produced;
    return kDecodeOk;
}

const char *last_fault(void *instance) { return fault_of(checked(instance)); }

int reset(void *instance) {
    MszipDecoder *decoder = checked(instance);
    if (decoder == nullptr) return kDecodeBadInstance;
    decoder->state->filled = 0;  // a new folder: its matches cannot reach the old one's bytes
    return kDecodeOk;
}

int destroy(void *instance) {
    MszipDecoder *decoder = checked(instance);
    if (decoder == nullptr) return kDecodeBadInstance;
    const CabFreeFn free_memory = decoder->free;
    InflateState *state = decoder->state;
    decoder->signature = 0;
    state->~InflateState();
    free_memory(state);
    free_memory(decoder);
    return kDecodeOk;
}

}  // namespace

const DecoderOps kMszipDecoder = {true, size_query, create, decode, last_fault, reset, destroy};

}  // namespace cab
