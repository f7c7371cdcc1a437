// LZX decoder.
//
// Bit order: the compressed bytes are 16-bit little-endian words, and bits are
// taken from the most significant end of each word. Every frame (one cabinet
// data block) starts on a fresh word; what carries from frame to frame is the
// window, the repeated offsets, the code lengths and tables, the position
// inside the current LZX block and the call-translation state.
#include "cab/lzx.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cab/bit_reader.h"
#include "cab/bytes.h"
#include "cab/fault.h"
#include "cab/lzx_format.h"

namespace cab {
namespace {

using namespace lzx;

constexpr uint32_t kSignature = 0x4349444C;  // "LDIC"
// Window positions 0-256 are repeated after the window's end so that a match
// source (masked start, up to 257 bytes long) never has to wrap.
constexpr uint32_t kMirrorSize = 257;
constexpr uint32_t kWindowTail = kMirrorSize + 4;
// The input may be read this far past a block's compressed bytes.
constexpr uint32_t kReadPastEnd = 4;

constexpr unsigned kAlignedTableBits = 7;
constexpr unsigned kPretreeTableBits = 8;

// A decode table entry is either a leaf, (symbol << 5) | code length, or
// kNodeFlag | index of an overflow node, which holds two entries: for a
// following 0 bit and a following 1 bit.
constexpr uint16_t kNodeFlag = 0x8000;
constexpr uint16_t leaf(unsigned symbol, unsigned length) {
    return static_cast<uint16_t>(symbol << 5 | length);
}

// The largest compressed block the decoder accepts (size_query's capacity
// for the largest frame), and the reader's copy of it: the bytes the format
// lets it read past the block, then eight zero bytes for a last wide load.
constexpr uint32_t kMaxInputSize = kMaxBlockSize + kFrameInputExtra;
constexpr uint32_t kWordCopySize = kMaxInputSize + kReadPastEnd + 8;

// Copies the whole 16-bit words of data[at, end) to words[at, ...) with
// the two bytes of each word swapped, so that the copy reads as one
// big-endian bit stream; returns where the copied words end. Eight zero
// bytes follow them.
uint32_t swap_words(const uint8_t *data, uint8_t *words, uint32_t at, uint32_t end) {
    uint32_t i = at;
#if defined(__SSE2__)
    for (; i + 16 <= end; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(words + i),
                         _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)));
    }
#endif
    for (; i + 2 <= end; i += 2) {
        words[i] = data[i + 1];
        words[i + 1] = data[i];
    }
    std::memset(words + i, 0, 8);
    return i;
}

// Reads 16-bit little-endian words, most significant bit first. A block's
// words are first copied with their bytes swapped (start_words), which makes
// them one big-endian stream: a refill is then one load, one byte swap and
// one shift. `buffer` holds `count` unread bits at its top; refill() tops it
// up to 56-63 bits without a branch on `count`. Below the unread bits the
// buffer may already hold the start of the next byte: the same bits the next
// refill ORs in again. Words that lie beyond end() (the block plus the 4
// bytes the format may read past it) read as zero, but `pos` keeps
// advancing, so the reader always knows how far the bits it hands out lie
// from the block's end.
struct BitReader {
    const uint8_t *data;  // the block as given: uncompressed blocks are copied from it
    uint32_t pos;         // next byte to load (or, in an uncompressed block, to copy)
    uint32_t block_end;   // the block's compressed size
    uint8_t *words;       // kWordCopySize bytes; [origin, words_end) swapped by start_words
    uint32_t origin = 0;  // where the words start
    uint32_t words_end = 0;
    uint64_t buffer = 0;
    unsigned count = 0;

    void start_words(uint32_t at) {
        assert(at <= block_end && end() <= kMaxInputSize + kReadPastEnd);
        origin = pos = at;
        words_end = swap_words(data, words, at, end());
        buffer = 0;
        count = 0;
        refill();
    }

    uint32_t end() const { return block_end + kReadPastEnd; }

    void refill() {
        // Past words_end all bytes are zero: nothing to load.
        if (pos <= words_end) buffer |= __builtin_bswap64(load_u64(words + pos)) >> count;
        pos += (63 - count) >> 3;  // whole bytes that fit below the unread bits
        count |= 56;               // count + 8 * those bytes, as count < 64
    }

    // The next n bits (0..32) as a number, first bit most significant; two
    // shifts, so that n = 0 gives 0 without a branch.
    uint32_t peek(unsigned n) const {
        assert(n <= 32 && n <= count);
        return static_cast<uint32_t>((buffer >> 32) >> (32 - n));
    }
    // The single bit at unread position i (0 = the next bit): one shift, for
    // the walk through overflow nodes.
    unsigned peek_bit(unsigned i) const {
        assert(i < count);
        return static_cast<unsigned>(buffer >> (63 - i)) & 1;
    }
    void consume(unsigned n) {
        assert(n <= count);
        buffer <<= n;
        count -= n;
    }
    unsigned buffered() const { return count; }
    uint32_t read(unsigned n) { return read_bits(*this, n); }

    // Start of the 16-bit word that holds the next unread bit.
    uint32_t word_position() const { return origin + (8 * (pos - origin) - count) / 16 * 2; }
    // All of the block's words are used up: no further symbol may start.
    // (The word position lies below pos.)
    bool at_block_end() const { return pos > block_end && word_position() >= block_end; }
    // Bits handed out came from beyond the readable input.
    bool exhausted() const { return uint64_t{pos} * 8 - count > uint64_t{end()} * 8; }
};

struct DecodeTable {
    uint16_t *entries;
    unsigned width;
    uint16_t *nodes;  // two entries per overflow node
    unsigned max_nodes;
};

// A table's storage, with its width fixed at compile time so that decoding
// needs no register for it (or for the table, which lies at a fixed offset
// in the decoder state).
template <unsigned kWidth, size_t kSymbols>
struct TableStorage {
    uint16_t entries[1u << kWidth];
    uint16_t nodes[2 * kSymbols];
    DecodeTable table() { return {entries, kWidth, nodes, kSymbols}; }
};

// Builds the canonical code of `lengths` (shorter codes first, equal lengths
// in symbol order). An empty code maps every lookup to symbol 0 with no bits;
// an incomplete or over-full code fails.
Fault build_table(const uint8_t *lengths, unsigned symbols, const DecodeTable &t) {
    unsigned length_count[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < symbols; ++s) {
        assert(lengths[s] <= kMaxCodeLength);
        ++length_count[lengths[s]];
    }
    uint32_t kraft = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        kraft += length_count[len] << (kMaxCodeLength - len);
    if (kraft == 0) {
        std::fill_n(t.entries, 1u << t.width, leaf(0, 0));
        return kNoFault;
    }
    CAB_FAIL_IF(kraft != 1u << kMaxCodeLength);

    uint32_t next_code[kMaxCodeLength + 1];
    first_canonical_codes(length_count, next_code);
    // Entries that lead to overflow nodes are never written by a short code;
    // they are cleared so that none keeps a node of the previous table.
    for (unsigned len = t.width + 1; len <= kMaxCodeLength; ++len) {
        for (uint32_t c = next_code[len]; c < next_code[len] + length_count[len]; ++c)
            t.entries[c >> (len - t.width)] = leaf(0, 0);
    }
    unsigned nodes_used = 0;
    for (unsigned s = 0; s < symbols; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        const uint32_t c = next_code[len]++;
        if (len <= t.width) {
            const unsigned shift = t.width - len;
            std::fill_n(t.entries + (c << shift), 1u << shift, leaf(s, len));
            continue;
        }
        uint16_t *entry = &t.entries[c >> (len - t.width)];
        for (int bit = static_cast<int>(len - t.width) - 1; bit >= 0; --bit) {
            if (!(*entry & kNodeFlag)) {
                CAB_FAIL_IF(nodes_used == t.max_nodes);
                *entry = static_cast<uint16_t>(kNodeFlag | nodes_used);
                t.nodes[2 * nodes_used] = t.nodes[2 * nodes_used + 1] = leaf(0, 0);
                ++nodes_used;
            }
            entry = &t.nodes[2 * (*entry & ~kNodeFlag) + ((c >> bit) & 1)];
        }
        *entry = leaf(s, len);
    }
    return kNoFault;
}

// Decodes one symbol from its direct table entry `e`, walking the overflow
// nodes if `e` leads to them; the caller has refilled so that 16 bits are
// present.
template <unsigned kWidth, size_t kSymbols>
inline unsigned finish_symbol(BitReader &in, const TableStorage<kWidth, kSymbols> &t, uint16_t e) {
    assert(in.count >= kMaxCodeLength);
    for (unsigned bit = kWidth; e & kNodeFlag; ++bit)
        e = t.nodes[2 * (e & ~kNodeFlag) + in.peek_bit(bit)];
    in.consume(e & 31);
    return e >> 5;
}

template <unsigned kWidth, size_t kSymbols>
inline unsigned decode_symbol(BitReader &in, const TableStorage<kWidth, kSymbols> &t) {
    return finish_symbol(in, t, t.entries[in.peek(kWidth)]);
}

// The length symbol of a match if `present` (its length header is 7), else
// 0 with no bits read. Whether a match has one is close to a coin toss, so
// the table entry is looked up for every match and masked, not branched on.
template <unsigned kWidth, size_t kSymbols>
inline unsigned length_symbol_if(BitReader &in, const TableStorage<kWidth, kSymbols> &t,
                                 bool present) {
    const uint16_t keep = static_cast<uint16_t>(0u - unsigned{present});
    return finish_symbol(in, t, t.entries[in.peek(kWidth)] & keep);
}

struct State {
    uint8_t *window;
    uint32_t window_size;
    uint32_t window_mask;
    unsigned main_symbols;
    uint32_t r0, r1, r2;
    uint32_t pos;
    unsigned block_type;
    uint32_t block_size;
    uint32_t block_remaining;
    bool header_due;
    bool call_header_pending;
    uint32_t call_file_size;  // 0: no call translation
    uint32_t call_position;
    uint32_t frame_count;
    // Code lengths of the current block. When a block's lengths are read they
    // are also the previous block's, which the deltas refer to, so one array
    // per tree serves as both.
    uint8_t main_lengths[kMaxMainTreeSize];
    uint8_t length_lengths[kLengthTreeSize];
    uint8_t aligned_lengths[kAlignedTreeSize];
    TableStorage<kMainTableBits, kMaxMainTreeSize> main;
    TableStorage<kLengthTableBits, kLengthTreeSize> length;
    TableStorage<kAlignedTableBits, kAlignedTreeSize> aligned;
    TableStorage<kPretreeTableBits, kPretreeSize> pretree;
    uint8_t words[kWordCopySize];  // the bit reader's copy of the frame
};

struct Instance {
    uint32_t signature;
    HostCallbacks host;
    uint32_t largest_frame;
    State *state;
    const char *fault;  // where the last decode failed, or null
};

// Reads the code lengths of entries [first, last) of one tree: a pretree,
// then one pretree symbol per length or run of lengths.
Fault read_lengths(State &s, BitReader &in, uint8_t *lengths, unsigned first, unsigned last) {
    uint8_t pre_lengths[kPretreeSize];
    for (auto &len : pre_lengths) len = static_cast<uint8_t>(in.read(kPretreeLengthBits));
    CAB_FAIL_IF(in.exhausted());
    CAB_TRY(build_table(pre_lengths, kPretreeSize, s.pretree.table()));

    for (unsigned i = first; i < last;) {
        in.refill();
        const unsigned sym = decode_symbol(in, s.pretree);
        unsigned run = 1;
        unsigned value;
        if (sym <= 16) {
            value = (lengths[i] + 17 - sym) % 17;
        } else if (sym == 17) {
            run = in.read(4) + 4;
            value = 0;
        } else if (sym == 18) {
            run = in.read(5) + 20;
            value = 0;
        } else {
            run = in.read(1) + 4;
            in.refill();
            const unsigned delta = decode_symbol(in, s.pretree);
            value = (lengths[i] + 34 - delta) % 17;
        }
        CAB_FAIL_IF(in.exhausted());
        run = std::min(run, last - i);
        std::fill_n(lengths + i, run, static_cast<uint8_t>(value));
        i += run;
    }
    return kNoFault;
}

Fault read_main_and_length_trees(State &s, BitReader &in) {
    CAB_TRY(read_lengths(s, in, s.main_lengths, 0, kNumChars));
    CAB_TRY(read_lengths(s, in, s.main_lengths, kNumChars, s.main_symbols));
    CAB_TRY(build_table(s.main_lengths, s.main_symbols, s.main.table()));
    CAB_TRY(read_lengths(s, in, s.length_lengths, 0, kLengthTreeSize));
    return build_table(s.length_lengths, kLengthTreeSize, s.length.table());
}

Fault read_little_endian_u32(BitReader &in, uint32_t &value) {
    CAB_FAIL_IF(!fits(in.pos, 4, in.block_end));
    value = load_u32(in.data + in.pos);
    in.pos += 4;
    return kNoFault;
}

// The header of an uncompressed block is followed by padding to the next
// word: the rest of the partly used word, or a whole word when the header
// ended on a word boundary. Then come R0, R1, R2 and the raw bytes.
Fault start_uncompressed_block(State &s, BitReader &in) {
    in.pos = in.word_position() + 2;
    CAB_TRY(read_little_endian_u32(in, s.r0));
    CAB_TRY(read_little_endian_u32(in, s.r1));
    return read_little_endian_u32(in, s.r2);
}

Fault read_block_header(State &s, BitReader &in) {
    if (s.block_type == kBlockUncompressed) {
        // An odd-sized uncompressed block is followed by one pad byte.
        if ((s.block_size & 1) && in.pos < in.block_end) ++in.pos;
        s.block_type = 0;
        in.start_words(in.pos);
    }
    if (s.call_header_pending) {
        s.call_header_pending = false;
        if (in.read(1)) {
            const uint32_t high = in.read(16);
            s.call_file_size = high << 16 | in.read(16);
        } else {
            s.call_file_size = 0;
        }
    }
    s.block_type = in.read(3);
    s.block_size = in.read(8) << 16;
    s.block_size |= in.read(8) << 8;
    s.block_size |= in.read(8);
    s.block_remaining = s.block_size;

    CAB_FAIL_IF(s.block_type != kBlockVerbatim && s.block_type != kBlockAligned &&
                s.block_type != kBlockUncompressed);
    if (s.block_type == kBlockAligned) {
        for (auto &len : s.aligned_lengths) len = static_cast<uint8_t>(in.read(kAlignedLengthBits));
        CAB_TRY(build_table(s.aligned_lengths, kAlignedTreeSize, s.aligned.table()));
    }
    if (s.block_type == kBlockUncompressed)
        CAB_TRY(start_uncompressed_block(s, in));
    else
        CAB_TRY(read_main_and_length_trees(s, in));
    s.header_due = false;
    return kNoFault;
}

// Copies a match of `length` bytes from `src` to `pos`. Bytes are copied in
// order, so an overlapping source repeats what this copy has just written;
// wider steps are used only where they read exactly what byte steps would.
// No step writes past the match end (bytes there may still be read as
// history), except a short match's, whose overrun is put back at once.
// In the mirror variant every byte written below kMirrorSize is also
// written after the window's end.
template <bool kMirror>
inline void copy_match(uint8_t *w, uint32_t window_size, uint32_t pos, uint32_t src,
                       uint32_t length) {
    // The match ends inside the window and its source inside the mirror.
    assert(pos + length <= window_size && src < window_size && length <= kMirrorSize);
    uint8_t *d = w + pos;
    const uint8_t *from = w + src;
    if (!kMirror && length <= 16 && pos - src >= length) {
        // The source does not overlap what the match writes, so one 16-byte
        // step copies it; the 16 bytes after the match are put back (they
        // lie within the window's tail, since pos + length <= W).
        uint8_t head[16], after[16];
        std::memcpy(head, from, 16);
        std::memcpy(after, d + length, 16);
        std::memcpy(d, head, 16);
        std::memcpy(d + length, after, 16);
        return;
    }
    // Eight-byte steps need a source at least eight bytes behind, or ahead
    // and clear of the destination: the last step, which ends exactly at the
    // match end, rereads source bytes that a source just ahead would have
    // had overwritten by the earlier steps.
    if (!kMirror && pos - src >= 8 && (src < pos || src - pos >= length)) {
        assert(length >= 8);  // shorter ones took the 16-byte step
        uint32_t k = 0;
        for (; k + 8 <= length; k += 8) std::memcpy(d + k, from + k, 8);
        if (k < length) std::memcpy(d + length - 8, from + length - 8, 8);
        return;
    }
    if (!kMirror && pos - src == 1) {
        std::memset(d, *from, length);
        return;
    }
    for (uint32_t k = 0; k < length; ++k) {
        d[k] = from[k];
        if (kMirror && pos + k < kMirrorSize) w[window_size + pos + k] = d[k];
    }
}

// Decodes literals and matches of a verbatim or aligned-offset block until
// the window position reaches `stop`; no match may end beyond `limit`.
template <bool kAligned, bool kMirror>
Fault decode_symbols(State &s, BitReader &input, uint32_t stop, uint32_t limit) {
    // Everything the loop touches is copied into locals: the window's byte
    // stores may alias any memory, so fields read through references would
    // be reloaded after every store.
    assert(limit <= s.window_size && (!kMirror || stop <= kMirrorSize));
    BitReader in = input;
    const uint32_t window_size = s.window_size;
    const uint32_t window_mask = s.window_mask;
    uint8_t *w = s.window;
    uint32_t pos = s.pos;
    uint32_t r0 = s.r0, r1 = s.r1, r2 = s.r2;
    while (pos < stop) {
        in.refill();
        CAB_FAIL_IF(in.at_block_end());
        const unsigned sym = decode_symbol(in, s.main);
        if (sym < kNumChars) {
            w[pos] = static_cast<uint8_t>(sym);
            if (kMirror && pos < kMirrorSize) w[window_size + pos] = static_cast<uint8_t>(sym);
            ++pos;
            continue;
        }
        const unsigned slot = (sym - kNumChars) >> 3;
        const unsigned header = (sym - kNumChars) & 7;
        uint32_t length = header + kMinMatch;
        length += length_symbol_if(in, s.length, header == kNumPrimaryLengths);

        uint32_t distance;
        if (slot >= 3) {
            // After the refill's 49 bits, a verbatim match (main, length and
            // at most 17 extra bits) fits; an aligned one may need more.
            if (kAligned) in.refill();
            const unsigned extra = position_slot_extra_bits[slot];
            distance = position_base[slot] - 2;
            if (kAligned && extra >= 3) {
                distance += in.peek(extra - 3) << 3;
                in.consume(extra - 3);
                distance += decode_symbol(in, s.aligned);
            } else {
                distance += in.peek(extra);
                in.consume(extra);
            }
            r2 = r1;
            r1 = r0;
            r0 = distance;
        } else if (slot == 0) {
            distance = r0;
        } else if (slot == 1) {
            distance = r1;
            r1 = r0;
            r0 = distance;
        } else {
            distance = r2;
            r2 = r0;
            r0 = distance;
        }
        CAB_FAIL_IF(length > limit - pos);
        copy_match<kMirror>(w, window_size, pos, (pos - distance) & window_mask, length);
        pos += length;
    }
    input = in;
    s.pos = pos;
    s.r0 = r0;
    s.r1 = r1;
    s.r2 = r2;
    return kNoFault;
}

template <bool kAligned>
Fault decode_compressed_run(State &s, BitReader &in, uint32_t end) {
    // Only the window's first kMirrorSize positions pay for the mirror.
    if (s.pos < kMirrorSize)
        CAB_TRY((decode_symbols<kAligned, true>(s, in, std::min(end, kMirrorSize), end)));
    if (s.pos >= end) return kNoFault;
    return decode_symbols<kAligned, false>(s, in, end, end);
}

Fault copy_uncompressed(State &s, BitReader &in, uint32_t n) {
    CAB_FAIL_IF(!fits(in.pos, n, in.block_end));
    const uint8_t *from = in.data + in.pos;
    std::memcpy(s.window + s.pos, from, n);
    if (s.pos < kMirrorSize)
        std::memcpy(s.window + s.window_size + s.pos, from, std::min(n, kMirrorSize - s.pos));
    in.pos += n;
    s.pos += n;
    return kNoFault;
}

// Decodes n bytes of the current block at the window position.
Fault decode_block_bytes(State &s, BitReader &in, uint32_t n) {
    const uint32_t end = s.pos + n;
    switch (s.block_type) {
        case kBlockVerbatim: return decode_compressed_run<false>(s, in, end);
        case kBlockAligned: return decode_compressed_run<true>(s, in, end);
        default: return copy_uncompressed(s, in, n);
    }
}

// Bit k set where p[k] == 0xE8, for k = 0..63. With `copy_to`, the 64
// bytes are also copied there, from the same loads.
inline uint64_t call_bytes(const uint8_t *p, uint8_t *copy_to = nullptr) {
#if defined(__SSE2__)
    const __m128i e8 = _mm_set1_epi8(static_cast<char>(0xE8));
    uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
        if (copy_to) _mm_storeu_si128(reinterpret_cast<__m128i *>(copy_to + 16 * i), v);
        mask |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, e8)))}
                << (16 * i);
    }
    return mask;
#else
    if (copy_to) std::memcpy(copy_to, p, 64);
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) mask |= uint64_t{p[i] == 0xE8} << i;
    return mask;
#endif
}

// Translates the operand of the call at `at`. Operand bytes at or beyond
// `limit` (the frame's last six) read as 0xE8 and keep their value.
inline void translate_call(const State &s, const uint8_t *frame, uint8_t *out, uint32_t at,
                           uint32_t limit) {
    if (at + 5 <= limit) {
        // The common case: the whole operand lies before the limit.
        const uint32_t v = load_u32(frame + at + 1);
        store_u32(out + at + 1, decode_call_operand(v, s.call_position + at, s.call_file_size));
        return;
    }
    uint32_t v = 0;
    for (uint32_t i = 0; i < 4; ++i)
        v |= uint32_t{at + 1 + i < limit ? frame[at + 1 + i] : uint8_t{0xE8}} << (8 * i);
    v = decode_call_operand(v, s.call_position + at, s.call_file_size);
    for (uint32_t i = 0; i < 4 && at + 1 + i < limit; ++i)
        out[at + 1 + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Copies the frame from the window to `out` and undoes the call translation
// on the copy, in one pass of 64-byte chunks while the frame is in cache: the
// loads that copy a chunk also find its 0xE8 bytes. An 0xE8 byte starts a
// call unless it lies in the operand of the call before it; calls in the
// frame's last six bytes are left alone. The scan reads past the frame's end
// into the window's tail; the copy stops at the frame's end.
void copy_translating_calls(State &s, const uint8_t *frame, uint8_t *out, uint32_t length) {
    static_assert(kWindowTail >= 64);
    assert(frame + length <= s.window + s.window_size);
    const uint32_t limit = length > kCallSentinelBytes ? length - kCallSentinelBytes : 0;
    uint64_t operand_carry = 0;  // operand bytes that run into the next chunk
    uint32_t deferred = 0;       // 1 + a call whose operand ends in the next chunk
    for (uint32_t chunk = 0; chunk < length; chunk += 64) {
        uint64_t calls;
        if (length - chunk >= 64) {
            calls = call_bytes(frame + chunk, out + chunk);
        } else {
            std::memcpy(out + chunk, frame + chunk, length - chunk);
            calls = call_bytes(frame + chunk);
        }
        // The deferred call's operand is copied now and may be patched.
        if (deferred != 0) translate_call(s, frame, out, deferred - 1, limit);
        deferred = 0;
        calls &= ~operand_carry;
        operand_carry = 0;
        while (calls != 0) {
            const unsigned k = static_cast<unsigned>(__builtin_ctzll(calls));
            const uint32_t at = chunk + k;
            if (at >= limit) break;  // and so is every later call: only the copy goes on
            // Clears this call and its four operand bytes.
            if (k < 59) {
                translate_call(s, frame, out, at, limit);
                calls &= ~uint64_t{0} << (k + 5);
            } else {
                // at < limit puts the operand inside the frame, so a next
                // chunk follows.
                deferred = at + 1;
                operand_carry = (uint64_t{1} << (k - 59)) - 1;
                calls = 0;
            }
        }
    }
    assert(deferred == 0);
}

Fault decode_frame(State &s, const uint8_t *input, uint32_t input_size, uint8_t *output,
                   uint32_t wanted) {
    // A frame never wraps: the window holds it whole, ending at most at its end.
    CAB_FAIL_IF(wanted > s.window_size - s.pos);
    CAB_FAIL_IF(input_size > kMaxInputSize);
    BitReader in{input, 0, input_size, s.words};
    if (s.block_type != kBlockUncompressed) in.start_words(0);

    const uint32_t frame_start = s.pos;
    for (uint32_t left = wanted; left > 0;) {
        if (s.header_due) CAB_TRY(read_block_header(s, in));
        const uint32_t n = std::min(s.block_remaining, left);
        if (n > 0) CAB_TRY(decode_block_bytes(s, in, n));
        s.block_remaining -= n;
        left -= n;
        if (s.block_remaining == 0) s.header_due = true;
    }
    assert(s.pos == frame_start + wanted);
    if (s.call_file_size != 0 && s.frame_count < kCallTranslationFrames) {
        copy_translating_calls(s, s.window + frame_start, output, wanted);
        s.call_position += wanted;
    } else {
        std::memcpy(output, s.window + frame_start, wanted);
    }
    s.pos &= s.window_mask;
    ++s.frame_count;
    return kNoFault;
}

void reset_state(State &s) {
    std::memset(s.main_lengths, 0, sizeof s.main_lengths);
    std::memset(s.length_lengths, 0, sizeof s.length_lengths);
    std::memset(s.aligned_lengths, 0, sizeof s.aligned_lengths);
    s.r0 = s.r1 = s.r2 = 1;
    s.pos = 0;
    s.block_type = 0;
    s.block_size = 0;
    s.block_remaining = 0;
    s.header_due = true;
    s.call_header_pending = true;
    s.call_file_size = 0;
    s.call_position = 0;
    s.frame_count = 0;
}

Instance *checked(void *instance) {
    auto *h = static_cast<Instance *>(instance);
    return h != nullptr && h->signature == kSignature ? h : nullptr;
}

int size_query(uint32_t largest_block, unsigned window_exponent, uint32_t *compressed_capacity) {
    if (!valid_window_exponent(window_exponent)) return kDecodeBadWindow;
    *compressed_capacity = clamp_largest_block(largest_block) + kFrameInputExtra;
    return kDecodeOk;
}

int create(uint32_t largest_block, unsigned window_exponent, const HostCallbacks &host, int32_t,
           void **instance) {
    *instance = nullptr;
    if (!valid_window_exponent(window_exponent)) return kDecodeBadWindow;
    auto *h = static_cast<Instance *>(host.alloc(sizeof(Instance)));
    auto *s = static_cast<State *>(host.alloc(sizeof(State)));
    const uint32_t window_size = 1u << window_exponent;
    auto *window = static_cast<uint8_t *>(host.alloc(window_size + kWindowTail));
    if (h == nullptr || s == nullptr || window == nullptr) {
        if (window) host.free(window);
        if (s) host.free(s);
        if (h) host.free(h);
        return kDecodeNoMemory;
    }
    // A distance reaching before the first byte written reads zeros.
    std::memset(window, 0, window_size + kWindowTail);
    s->window = window;
    s->window_size = window_size;
    s->window_mask = window_size - 1;
    s->main_symbols = main_tree_size(window_exponent);
    reset_state(*s);
    *h = Instance{kSignature, host, clamp_largest_block(largest_block), s, nullptr};
    *instance = h;
    return kDecodeOk;
}

int decode(void *instance, const uint8_t *input, uint32_t input_size, uint8_t *output,
           uint32_t *count) {
    const uint32_t wanted = std::exchange(*count, 0);
    Instance *h = checked(instance);
    if (h == nullptr) return kDecodeBadInstance;
    h->fault = nullptr;
    if (wanted > h->largest_frame) return kDecodeBadParameter;
    const Fault fault = decode_frame(*h->state, input, input_size, output, wanted);
    h->fault = fault.where();
    if (fault) return kDecodeDataError;
    *count = wanted;
    return kDecodeOk;
}

const char *last_fault(void *instance) { return fault_of(checked(instance)); }

int reset(void *instance) {
    Instance *h = checked(instance);
    if (h == nullptr) return kDecodeBadInstance;
    reset_state(*h->state);
    return kDecodeOk;
}

int destroy(void *instance) {
    Instance *h = checked(instance);
    if (h == nullptr) return kDecodeBadInstance;
    h->signature = 0;
    const CabFreeFn free = h->host.free;
    free(h->state->window);
    free(h->state);
    free(h);
    return kDecodeOk;
}

}  // namespace

const DecoderOps kLzxDecoder = {false, size_query, create, decode, last_fault, reset, destroy};

}  // namespace cab
