// Quantum decoder. An LZ77 stream whose selectors, literals, match lengths and
// position slots are coded by adaptive models (cab/quantum_model.h) and a
// 16-bit arithmetic decoder; raw extra bits are interleaved in the same bit
// stream. Bits are read from bytes, most significant bit first.
//
// Models, window and the bytes-produced count persist from block to block of
// a folder; the arithmetic decoder starts afresh in every block. All state
// belongs to the instance, so any number of decoders may run side by side.
#include "cab/quantum.h"

#include <cassert>
#include <cstring>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include "cab/bit_reader.h"
#include "cab/bytes.h"
#include "cab/fault.h"
#include "cab/quantum_model.h"

namespace cab {
namespace {

using namespace quantum;

// The bytes "QDIC" read as a little-endian 32-bit value.
constexpr uint32_t kSignature = 0x43494451;
constexpr uint32_t kCompressedSlack = 10240;
constexpr uint32_t kPageSize = 4096;
constexpr unsigned kPageShift = 12;
constexpr uint32_t kMinPageBuffers = 3;

// Eight-entry groups searched and updated in each model.
constexpr unsigned kSelectorVectors = vectors_covering(kSelectorSymbols);
constexpr unsigned kLiteralVectors = vectors_covering(kLiteralSymbols);
constexpr unsigned kPositionVectors = vectors_covering(kPositionSlots);
constexpr unsigned kLengthVectors = vectors_covering(kLengthSlots);

// Reads a block's bytes most significant bit first. `bits` holds `available`
// unread bits at its top. Past the end of the block it supplies zero bits and
// counts them in `padding`; once fewer bits than that are left, bits beyond
// the block have been taken and the input is exhausted. Callers test that
// once per step, not per bit.
struct BitReader {
    const uint8_t *next;
    const uint8_t *end;
    uint64_t bits = 0;
    int available = 0;
    int padding = 0;

    BitReader(const uint8_t *input, uint32_t size) : next(input), end(input + size) {}

    // Leaves at least 56 bits in the buffer. With 8 bytes left it loads them
    // at once; bits of a byte only partly taken are taken again by the next
    // refill, at the same place, so OR-ing them twice is harmless.
    void refill() {
        if (end - next >= 8) {
            bits |= __builtin_bswap64(load_u64(next)) >> available;
            const int bytes = (63 - available) >> 3;
            next += bytes;
            available += bytes * 8;
            return;
        }
        while (available <= 56) {
            uint64_t byte = 0;
            if (next < end)
                byte = *next++;
            else
                padding += 8;
            bits |= byte << (56 - available);
            available += 8;
        }
    }

    // The next n bits (0..24) as a number, first bit most significant; two
    // shifts, so that n = 0 gives 0 without a branch.
    uint32_t peek(unsigned n) const {
        assert(n <= 24 && static_cast<int>(n) <= available);
        return static_cast<uint32_t>((bits >> 1) >> (63 - n));
    }

    void consume(unsigned n) {
        assert(static_cast<int>(n) <= available);
        bits <<= n;
        available -= static_cast<int>(n);
    }

    unsigned buffered() const { return static_cast<unsigned>(available); }
    uint32_t read(unsigned n) { return read_bits(*this, n); }

    bool exhausted() const { return available < padding; }
};

// The number of entries of `model` whose cumulative frequency exceeds target
// = scaled / range, among its first Vectors groups of eight (which must cover
// the symbols). Frequencies fall, so these are the entries before the one
// that codes target. cumfreq > target holds exactly when cumfreq * range >
// scaled, which needs no division. Counting every group, rather than stopping
// at the first miss, costs no mispredicted branch.
template <unsigned Vectors>
unsigned entries_above(const Model &model, uint32_t scaled, uint32_t range) {
    static_assert(Vectors >= 1 && Vectors <= kAllVectors);
#if defined(__SSE2__)
    const auto group = [&](unsigned k) {
        return _mm_load_si128(reinterpret_cast<const __m128i *>(model.cumfreq + 8 * k));
    };
    // Each lane subtracts 1 (a true compare) per entry above.
    __m128i count = _mm_setzero_si128();
    if (range <= 0xFFFF) {
        // 32-bit products from the low and high halves of 16-bit ones.
        const __m128i r = _mm_set1_epi16(static_cast<int16_t>(range));
        const __m128i s = _mm_set1_epi32(static_cast<int32_t>(scaled));
#pragma GCC unroll 8
        for (unsigned k = 0; k < Vectors; ++k) {
            const __m128i low_half = _mm_mullo_epi16(group(k), r);
            const __m128i high_half = _mm_mulhi_epu16(group(k), r);
            const __m128i first = _mm_cmpgt_epi32(_mm_unpacklo_epi16(low_half, high_half), s);
            const __m128i second = _mm_cmpgt_epi32(_mm_unpackhi_epi16(low_half, high_half), s);
            count = _mm_sub_epi16(count, _mm_packs_epi32(first, second));
        }
    } else {
        // A whole interval (as at a block's start) does not fit a 16-bit
        // lane; its target is a shift. Frequencies stay below 2^15, so
        // signed compares hold.
        const __m128i t = _mm_set1_epi16(static_cast<int16_t>(scaled >> 16));
#pragma GCC unroll 8
        for (unsigned k = 0; k < Vectors; ++k)
            count = _mm_sub_epi16(count, _mm_cmpgt_epi16(group(k), t));
    }
    // Lanes hold 0..Vectors; as bytes, their sum is one sum of absolute
    // differences.
    const __m128i bytes = _mm_packus_epi16(count, _mm_setzero_si128());
    return static_cast<unsigned>(_mm_cvtsi128_si32(_mm_sad_epu8(bytes, _mm_setzero_si128())));
#else
    const uint32_t target = scaled / range;
    unsigned above = 0;
    while (above < 8 * Vectors && model.cumfreq[above] > target) ++above;
    return above;
#endif
}

// The arithmetic decoder. The interval [low, low + range - 1] and the code
// register are 16-bit values; the code is kept as its offset from low, which
// is what the symbol search needs, so the next symbol's search waits only for
// the shift of offset and range, not for the renormalised registers.
struct ArithmeticDecoder {
    BitReader &in;
    uint32_t low = 0;
    uint32_t range = 0x10000;
    uint32_t offset;  // code - low, below range

    explicit ArithmeticDecoder(BitReader &input) : in(input), offset(input.read(16)) {}

    // Vectors: eight-entry groups that cover the model's symbols
    // (vectors_covering), so the search and update run a fixed number of steps.
    template <unsigned Vectors>
    unsigned decode(Model &model) {
        assert(offset < range && low + range <= 0x10000);
        assert(model.symbols <= Vectors * 8);
        const uint32_t total = model.total();
        // The symbol's entry is the one whose frequencies straddle target =
        // scaled / range; offset lies below range, so target lies in [0, total).
        const uint32_t scaled = offset * total + (total - 1);  // (offset + 1) * total - 1
        const unsigned i = entries_above<Vectors>(model, scaled, range) - 1;
        assert(i < model.symbols);
        const unsigned symbol = model.symbol[i];
        const RangeScale scale(range, total);
        const uint32_t upto = scale(model.cumfreq[i]), below = scale(model.cumfreq[i + 1]);
        low += below;
        range = upto - below;
        offset -= below;
        renormalise();
        model.update<Vectors>(i);
        return symbol;
    }

    // Shifts out the settled top bits (equal in low and high), then widens an
    // interval that straddles the middle closely (low in the second quarter,
    // high in the third) around the middle, all in one shift of n bits. Both
    // steps double range and code - low (plus the bit read), so offset and
    // range just shift. After the settled shift the first differing bits are
    // low's 0 and high's 1, so a widening run never makes them equal again.
    void renormalise() {
        // The next 16 bits are fetched before n is known; offset then takes
        // its n in one shift of the pair.
        if (in.available < 16) in.refill();
        const uint32_t next = in.peek(16);
        const uint32_t high = low + range - 1;
        // settled: equal top bits, 16 when low == high. straddling: the bits
        // below the first difference where low has 1 and high has 0; each
        // widening step takes 0x4000 off low, high and (modulo 2^16, which
        // is what flipping its bit 14 does) the code before the shift.
        const unsigned settled =
            static_cast<unsigned>(__builtin_clz(((low ^ high) << 16) | 0x8000));
        const unsigned straddling =
            static_cast<unsigned>(__builtin_clz(~(((low & ~high) << settled) << 17)));
        const unsigned n = settled + straddling;
        assert(n <= 16);
        low = (low << n) & 0x7FFF;
        range <<= n;
        offset = ((offset << 16) | next) >> (16 - n);
        in.consume(n);
    }
};

// The whole window in one allocation; the write cursor is the bytes-produced
// count masked to the window.
struct FlatWindow {
    uint8_t *bytes;
    uint32_t mask;

    bool ok() const { return true; }

    void put(uint32_t &produced, uint8_t byte) {
        bytes[produced & mask] = byte;
        ++produced;
    }

    // Copies byte by byte, so a distance shorter than the length repeats the
    // bytes just written, as the format requires.
    bool copy(uint32_t &produced, uint32_t distance, uint32_t length, uint8_t *out) {
        const uint32_t to = produced & mask, from = (produced - distance) & mask;
        produced += length;
        if (to + length <= mask + 1 && from + length <= mask + 1) {
            // Neither side wraps: plain pointers.
            const uint8_t *src = bytes + from;
            uint8_t *dst = bytes + to;
            for (uint32_t k = 0; k < length; ++k) dst[k] = src[k];
            std::memcpy(out, dst, length);
            return true;
        }
        for (uint32_t k = 0; k < length; ++k) {
            const uint8_t byte = bytes[(from + k) & mask];
            bytes[(to + k) & mask] = byte;
            out[k] = byte;
        }
        return true;
    }
};

struct PageBuffer {
    int32_t page;  // -1: holds no page
    bool dirty;
    PageBuffer *newer;
    PageBuffer *older;
    uint8_t bytes[kPageSize];
};

struct PageEntry {
    PageBuffer *buffer;  // null when the page is not resident
    bool on_file;        // written to the scratch file at least once
};

// The window in pages of 4096 bytes, as many resident as there are buffers,
// the rest in a scratch file opened through the host. Buffers are kept in a
// most-recently-used list; the write cursor's page is never evicted.
struct PagedWindow {
    const HostCallbacks *host;
    uint32_t mask;
    uint32_t page_count;
    PageEntry *pages;
    PageBuffer *newest;
    PageBuffer *oldest;
    PageBuffer *write_buffer;
    int32_t scratch;
    bool failed;

    bool ok() const { return !failed; }

    void empty() {
        for (uint32_t p = 0; p < page_count; ++p) pages[p] = {nullptr, false};
        for (PageBuffer *b = newest; b; b = b->older) {
            b->page = -1;
            b->dirty = false;
        }
        failed = false;
        write_buffer = page(0, true);
    }

    void put(uint32_t &produced, uint8_t byte) {
        write_buffer->bytes[produced & mask & (kPageSize - 1)] = byte;
        ++produced;
        if ((produced & mask & (kPageSize - 1)) == 0) advance_write_page(produced);
    }

    // Copies in runs that stay inside one source page and one destination
    // page, taking the source page again before every run because taking the
    // next destination page may have evicted it.
    bool copy(uint32_t &produced, uint32_t distance, uint32_t length, uint8_t *out) {
        uint32_t from = (produced - distance) & mask;
        while (length > 0 && !failed) {
            const PageBuffer *source = page(from >> kPageShift, false);
            if (!source) return false;
            const uint32_t to = produced & mask;
            uint32_t run = length;
            run = run < bytes_to_page_end(from) ? run : bytes_to_page_end(from);
            run = run < bytes_to_page_end(to) ? run : bytes_to_page_end(to);
            const uint8_t *src = source->bytes + (from & (kPageSize - 1));
            uint8_t *dst = write_buffer->bytes + (to & (kPageSize - 1));
            // Forward byte copy: source and destination may overlap in the
            // same page when the distance is shorter than the run.
            for (uint32_t k = 0; k < run; ++k) out[k] = dst[k] = src[k];
            out += run;
            length -= run;
            produced += run;
            from = (from + run) & mask;
            if ((produced & mask & (kPageSize - 1)) == 0) advance_write_page(produced);
        }
        return !failed;
    }

private:
    uint32_t bytes_to_page_end(uint32_t index) const {
        const uint32_t page_end = (index | (kPageSize - 1)) + 1;
        return (page_end < mask + 1 ? page_end : mask + 1) - index;
    }

    void advance_write_page(uint32_t produced) {
        PageBuffer *next = page((produced & mask) >> kPageShift, true);
        if (next) write_buffer = next;
    }

    void make_newest(PageBuffer *b) {
        if (b == newest) return;
        b->newer->older = b->older;
        if (b->older)
            b->older->newer = b->newer;
        else
            oldest = b->newer;
        b->newer = nullptr;
        b->older = newest;
        newest->newer = b;
        newest = b;
    }

    bool transfer(uint32_t number, PageBuffer *b, bool writing) {
        const int32_t offset = static_cast<int32_t>(number * kPageSize);
        if (host->seek(scratch, offset, 0) != offset) return false;
        const int32_t done = writing ? host->write(scratch, b->bytes, kPageSize)
                                     : host->read(scratch, b->bytes, kPageSize);
        return done == static_cast<int32_t>(kPageSize);
    }

    // The buffer holding page `number`, made resident if need be; null (and
    // the window marked failed) when the scratch file fails or a page that
    // was never written is asked for reading.
    PageBuffer *page(uint32_t number, bool for_writing) {
        PageEntry &entry = pages[number];
        PageBuffer *b = entry.buffer;
        if (!b) {
            if (!for_writing && !entry.on_file) return fail();
            b = oldest == write_buffer ? oldest->newer : oldest;
            assert(b != nullptr && b != write_buffer);
            if (b->page >= 0) {
                PageEntry &evicted = pages[b->page];
                if (b->dirty) {
                    if (!transfer(static_cast<uint32_t>(b->page), b, true)) return fail();
                    evicted.on_file = true;
                }
                evicted.buffer = nullptr;
            }
            b->page = -1;
            b->dirty = false;
            if (entry.on_file) {
                if (!transfer(number, b, false)) return fail();
            } else {
                // A fresh page reads as zeros, like the flat window.
                std::memset(b->bytes, 0, kPageSize);
            }
            b->page = static_cast<int32_t>(number);
            entry.buffer = b;
        }
        make_newest(b);
        if (for_writing) b->dirty = true;
        return b;
    }

    PageBuffer *fail() {
        failed = true;
        return nullptr;
    }
};

struct QuantumDecoder {
    uint32_t signature;
    HostCallbacks host;
    uint32_t largest_block;
    int32_t processor_type;  // handed down by the driver; has no effect
    unsigned window_exponent;
    uint32_t produced;  // bytes since the last reset
    bool paged;
    bool avx2;  // the flat window's loop may use AVX2, BMI2 and LZCNT
    FlatWindow flat;
    PagedWindow paging;
    Models models;
    const char *fault;  // where the last decode failed, or null
};

QuantumDecoder *checked(void *instance) {
    auto *d = static_cast<QuantumDecoder *>(instance);
    return d && d->signature == kSignature ? d : nullptr;
}

// Decodes one block into `out` through the given window. A data error is
// exhausted input, a match longer than the bytes still wanted, or a paging
// failure.
template <class Window>
Fault decode_block(QuantumDecoder &d, Window &window, const uint8_t *input, uint32_t input_size,
                   uint8_t *out, uint32_t wanted) {
    BitReader in(input, input_size);
    ArithmeticDecoder coder(in);
    Models &m = d.models;
    uint32_t produced = d.produced;  // kept in a register while decoding
    uint8_t *const end = out + wanted;
    bool match_beyond_block = false;
    while (out < end && !in.exhausted() && window.ok()) {
        const unsigned selector = coder.decode<kSelectorVectors>(m.selector);
        if (selector < kSelectorMatch3) {
            const uint8_t byte = static_cast<uint8_t>(
                coder.decode<kLiteralVectors>(m.literal[selector]) + kLiteralSymbols * selector);
            window.put(produced, byte);
            *out++ = byte;
            continue;
        }
        uint32_t length;
        unsigned slot;
        if (selector == kSelectorMatch3) {
            length = 3;
            slot = coder.decode<kPositionVectors>(m.match3_position);
        } else if (selector == kSelectorMatch4) {
            length = 4;
            slot = coder.decode<kPositionVectors>(m.match4_position);
        } else {
            const unsigned length_slot = coder.decode<kLengthVectors>(m.length);
            length =
                length_base[length_slot] + in.read(length_extra_bits[length_slot]) + kLongMatchMin;
            slot = coder.decode<kPositionVectors>(m.long_position);
        }
        const uint32_t distance = position_base[slot] + in.read(position_extra_bits[slot]) + 1;
        if (length > static_cast<uint32_t>(end - out)) {
            match_beyond_block = true;
            break;
        }
        if (window.copy(produced, distance, length, out)) out += length;
    }
    d.produced = produced;
    CAB_FAIL_IF(match_beyond_block);
    CAB_FAIL_IF(in.exhausted());
    CAB_FAIL_IF(!window.ok());
    assert(out == end);
    return kNoFault;
}

#if defined(__x86_64__)
// The flat-window loop again, compiled for processors with AVX2, BMI2 and
// LZCNT: three-operand vector instructions, shifts by a register count and
// leading-zero counts shorten the path from one symbol to the next. Same
// source, so the same output.
[[gnu::target("avx2,bmi,bmi2,lzcnt"), gnu::flatten]] Fault decode_flat_block_avx2(
    QuantumDecoder &d, const uint8_t *input, uint32_t input_size, uint8_t *out, uint32_t wanted) {
    return decode_block(d, d.flat, input, input_size, out, wanted);
}
#endif

// True when the processor runs decode_flat_block_avx2.
bool has_avx2() {
#if defined(__x86_64__)
    unsigned eax, ebx, ecx, edx;
    const bool lzcnt = __get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx) && (ecx & bit_LZCNT);
    return lzcnt && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
#else
    return false;
#endif
}

Fault decode_flat_block(QuantumDecoder &d, const uint8_t *input, uint32_t input_size, uint8_t *out,
                        uint32_t wanted) {
#if defined(__x86_64__)
    if (d.avx2) return decode_flat_block_avx2(d, input, input_size, out, wanted);
#endif
    return decode_block(d, d.flat, input, input_size, out, wanted);
}

void free_pages(QuantumDecoder &d) {
    PagedWindow &w = d.paging;
    for (PageBuffer *b = w.newest; b;) {
        PageBuffer *older = b->older;
        d.host.free(b);
        b = older;
    }
    if (w.pages) d.host.free(w.pages);
    if (w.scratch != -1) d.host.close(w.scratch);
    w = PagedWindow{};
}

// Sets up the paged window: the page table, as many page buffers as the host
// grants (at least 3, at most one per page) and the scratch file.
bool create_paged_window(QuantumDecoder &d) {
    PagedWindow &w = d.paging;
    const uint32_t window_size = 1u << d.window_exponent;
    w = PagedWindow{};
    w.host = &d.host;
    w.mask = window_size - 1;
    w.scratch = -1;
    w.page_count =
        window_size / kPageSize < kMinPageBuffers ? kMinPageBuffers : window_size / kPageSize;
    w.pages = static_cast<PageEntry *>(d.host.alloc(w.page_count * sizeof(PageEntry)));
    uint32_t buffers = 0;
    while (w.pages && buffers < w.page_count) {
        void *memory = d.host.alloc(sizeof(PageBuffer));
        if (!memory) break;
        auto *b = new (memory) PageBuffer{-1, false, nullptr, w.newest, {}};
        if (w.newest)
            w.newest->newer = b;
        else
            w.oldest = b;
        w.newest = b;
        ++buffers;
    }
    if (buffers >= kMinPageBuffers) {
        // The name "*" asks the host for a new temporary file; the window
        // size follows the name's NUL for hosts that want to size it.
        char path[6] = {'*', '\0'};
        std::memcpy(path + 2, &window_size, sizeof window_size);
        w.scratch = d.host.open(path, CAB_OPEN_SCRATCH, CAB_OPEN_MODE);
    }
    if (w.scratch == -1) {
        free_pages(d);
        return false;
    }
    return true;
}

void reset_state(QuantumDecoder &d) {
    d.produced = 0;
    if (d.paged) {
        d.paging.empty();
    } else {
        // Matches reaching before the folder's first byte read zeros, never
        // an earlier folder's data.
        std::memset(d.flat.bytes, 0, d.flat.mask + 1);
    }
    d.models.init(d.window_exponent);
}

int size_query(uint32_t largest_block, unsigned window_exponent, uint32_t *compressed_capacity) {
    if (!valid_window_exponent(window_exponent)) return kDecodeBadWindow;
    *compressed_capacity = clamp_largest_block(largest_block) + kCompressedSlack;
    return kDecodeOk;
}

int create(uint32_t largest_block, unsigned window_exponent, const HostCallbacks &host,
           int32_t processor_type, void **instance) {
    *instance = nullptr;
    if (!valid_window_exponent(window_exponent)) return kDecodeBadWindow;
    void *memory = host.alloc(sizeof(QuantumDecoder));
    if (!memory) return kDecodeNoMemory;
    auto *d = new (memory) QuantumDecoder{};
    d->host = host;
    d->largest_block = clamp_largest_block(largest_block);
    d->processor_type = processor_type;
    d->window_exponent = window_exponent;
    const uint32_t window_size = 1u << window_exponent;
    d->flat = {static_cast<uint8_t *>(host.alloc(window_size)), window_size - 1};
    d->paged = d->flat.bytes == nullptr;
    d->avx2 = has_avx2();
    if (d->paged && !create_paged_window(*d)) {
        host.free(d);
        return kDecodeNoMemory;
    }
    reset_state(*d);
    d->signature = kSignature;
    *instance = d;
    return kDecodeOk;
}

int decode(void *instance, const uint8_t *input, uint32_t input_size, uint8_t *output,
           uint32_t *count) {
    const uint32_t wanted = std::exchange(*count, 0);
    QuantumDecoder *d = checked(instance);
    if (!d) return kDecodeBadInstance;
    d->fault = nullptr;
    if (wanted > d->largest_block) return kDecodeBadParameter;
    const Fault fault = d->paged ? decode_block(*d, d->paging, input, input_size, output, wanted)
                                 : decode_flat_block(*d, input, input_size, output, wanted);
    d->fault = fault.where();
    if (fault) return kDecodeDataError;
    *count = wanted;
    return kDecodeOk;
}

const char *last_fault(void *instance) { return fault_of(checked(instance)); }

int reset(void *instance) {
    QuantumDecoder *d = checked(instance);
    if (!d) return kDecodeBadInstance;
    reset_state(*d);
    return kDecodeOk;
}

int destroy(void *instance) {
    QuantumDecoder *d = checked(instance);
    if (!d) return kDecodeBadInstance;
    if (d->paged)
        free_pages(*d);
    else
        d->host.free(d->flat.bytes);
    d->signature = 0;
    d->host.free(d);
    return kDecodeOk;
}

}  // namespace

const DecoderOps kQuantumDecoder = {false, size_query, create, decode, last_fault, reset, destroy};

}  // namespace cab
