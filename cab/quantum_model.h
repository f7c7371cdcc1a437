// The parts of the Quantum format that the decoder and the writer's encoder
// must share bit for bit: the constant slot tables, the adaptive frequency
// models with their rebuilds, and the arithmetic coder's interval narrowing.
// Header-only so the writer can use it without the engine depending on the
// writer.
#pragma once

#include <array>
#include <cassert>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cab::quantum {

inline constexpr unsigned kMinWindowExponent = 10;
inline constexpr unsigned kMaxWindowExponent = 21;
constexpr bool valid_window_exponent(unsigned w) {
    return w >= kMinWindowExponent && w <= kMaxWindowExponent;
}

inline constexpr unsigned kPositionSlots = 42;
inline constexpr unsigned kLengthSlots = 27;
inline constexpr unsigned kSelectorSymbols = 7;
inline constexpr unsigned kLiteralModels = 4;
inline constexpr unsigned kLiteralSymbols = 64;
inline constexpr unsigned kMaxSymbols = 64;

// Selectors 0-3 code literals, 4 and 5 matches of length 3 and 4, 6 a match
// whose length is coded with the length model.
inline constexpr unsigned kSelectorMatch3 = 4;
inline constexpr unsigned kSelectorMatch4 = 5;
inline constexpr unsigned kSelectorLongMatch = 6;
inline constexpr uint32_t kLongMatchMin = 5;
inline constexpr uint32_t kMaxMatch = 259;

// Position slots whose base lies below these limits may follow selectors 4
// and 5 respectively.
inline constexpr uint32_t kMatch3DistanceLimit = 4096;
inline constexpr uint32_t kMatch4DistanceLimit = 262144;

// A model is rebuilt once its total frequency exceeds this.
inline constexpr uint32_t kMaxTotalFrequency = 3800;
inline constexpr uint16_t kFrequencyStep = 8;
inline constexpr uint8_t kFirstRebuildCountdown = 4;
inline constexpr uint8_t kRebuildsBetweenSorts = 50;

// Slots 0-3 carry no extra bits, then slots 2k+2 and 2k+3 carry k.
inline constexpr std::array<uint8_t, kPositionSlots> position_extra_bits = [] {
    std::array<uint8_t, kPositionSlots> bits{};
    for (unsigned slot = 4; slot < kPositionSlots; ++slot)
        bits[slot] = static_cast<uint8_t>((slot - 2) / 2);
    return bits;
}();

inline constexpr std::array<uint32_t, kPositionSlots + 1> position_base = [] {
    std::array<uint32_t, kPositionSlots + 1> base{};
    for (unsigned slot = 1; slot <= kPositionSlots; ++slot)
        base[slot] = base[slot - 1] + (1u << position_extra_bits[slot - 1]);
    return base;
}();

inline constexpr std::array<uint8_t, kLengthSlots> length_extra_bits = {
    0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

inline constexpr std::array<uint16_t, kLengthSlots> length_base = [] {
    std::array<uint16_t, kLengthSlots> base{};
    for (unsigned slot = 1; slot < kLengthSlots; ++slot)
        base[slot] = static_cast<uint16_t>(base[slot - 1] + (1u << length_extra_bits[slot - 1]));
    return base;
}();

static_assert(position_base[41] == 1572864 && position_base[kPositionSlots] == (1u << 21));
static_assert(length_base[26] == 254 && length_base[26] + kLongMatchMin == kMaxMatch);

// Number of position slots whose base lies below both the window size and
// `limit`.
constexpr unsigned position_slots_below(uint32_t limit, unsigned window_exponent) {
    const uint32_t bound = limit < (1u << window_exponent) ? limit : (1u << window_exponent);
    unsigned slots = 0;
    while (slots < kPositionSlots && position_base[slots] < bound) ++slots;
    return slots;
}

struct PositionSlotCounts {
    unsigned match3, match4, long_match;
};

constexpr PositionSlotCounts position_slot_counts(unsigned window_exponent) {
    return {position_slots_below(kMatch3DistanceLimit, window_exponent),
            position_slots_below(kMatch4DistanceLimit, window_exponent),
            position_slots_below(UINT32_MAX, window_exponent)};
}

// kMaxSymbols steps then kMaxSymbols zeros: entry e of a model reads
// step_table[e + kMaxSymbols - 1 - i], which is a step exactly when e <= i.
alignas(16) inline constexpr std::array<uint16_t, kMaxSymbols * 2> step_table = [] {
    std::array<uint16_t, kMaxSymbols * 2> t{};
    for (unsigned e = 0; e < kMaxSymbols; ++e) t[e] = kFrequencyStep;
    return t;
}();

// Eight-entry groups that hold the entries of a model with n symbols.
constexpr unsigned vectors_covering(unsigned n) { return (n + 7) / 8; }
inline constexpr unsigned kAllVectors = vectors_covering(kMaxSymbols);

// An adaptive frequency model. Entries are kept in order of decreasing
// cumulative frequency; entry i codes symbol[i] with the frequency range
// [cumfreq[i + 1], cumfreq[i]), and cumfreq[symbols] is always 0.
struct Model {
    alignas(16) uint16_t cumfreq[kMaxSymbols + 1];
    uint8_t symbol[kMaxSymbols + 1];
    uint8_t symbols;
    uint8_t rebuild_countdown;

    // Entries past the last hold cumulative frequency 0, so searches may
    // read whole groups of entries.
    void init(unsigned n) {
        symbols = static_cast<uint8_t>(n);
        rebuild_countdown = kFirstRebuildCountdown;
        for (unsigned i = 0; i <= kMaxSymbols; ++i) {
            cumfreq[i] = static_cast<uint16_t>(i <= n ? n - i : 0);
            symbol[i] = static_cast<uint8_t>(i);
        }
    }

    uint32_t total() const { return cumfreq[0]; }

    // Entry i has just been coded: raise its frequency, rebuilding the model
    // before the next symbol when the total grows too large.
    template <unsigned Vectors = kAllVectors>
    void update(unsigned i) {
        static_assert(Vectors >= 1 && Vectors <= kAllVectors);
#if defined(__SSE2__)
        // Every group of the model, each adding a window of step_table: 8 for
        // the entries up to i, 0 after. A fixed number of steps mispredicts
        // less than stopping after entry i.
        const uint16_t *step = step_table.data() + (kMaxSymbols - 1 - i);
#pragma GCC unroll 8
        for (unsigned k = 0; k < Vectors; ++k) {
            auto *at = reinterpret_cast<__m128i *>(cumfreq + 8 * k);
            const __m128i add = _mm_loadu_si128(reinterpret_cast<const __m128i *>(step + 8 * k));
            _mm_store_si128(at, _mm_add_epi16(_mm_load_si128(at), add));
        }
#else
        for (unsigned k = 0; k <= i; ++k)
            cumfreq[k] = static_cast<uint16_t>(cumfreq[k] + kFrequencyStep);
#endif
        if (cumfreq[0] > kMaxTotalFrequency) rebuild();
    }

    void rebuild() {
        if (--rebuild_countdown != 0) {
            halve_keeping_order();
        } else {
            rebuild_countdown = kRebuildsBetweenSorts;
            sort_by_frequency();
        }
    }

private:
    // Every entry keeps a frequency of at least 1.
    void halve_keeping_order() {
        for (unsigned i = symbols; i-- > 0;) {
            cumfreq[i] = static_cast<uint16_t>(cumfreq[i] >> 1);
            if (cumfreq[i] <= cumfreq[i + 1])
                cumfreq[i] = static_cast<uint16_t>(cumfreq[i + 1] + 1);
        }
    }

    // Halves the frequencies, moves the most frequent symbols to the front
    // (an exchange sort: the order of equal frequencies is part of the
    // format) and makes the frequencies cumulative again.
    void sort_by_frequency() {
        for (unsigned i = 0; i < symbols; ++i)
            cumfreq[i] = static_cast<uint16_t>((cumfreq[i] - cumfreq[i + 1] + 1) >> 1);
        for (unsigned i = 0; i + 1 < symbols; ++i) {
            for (unsigned j = i + 1; j < symbols; ++j) {
                if (cumfreq[j] > cumfreq[i]) {
                    const uint16_t f = cumfreq[i];
                    cumfreq[i] = cumfreq[j];
                    cumfreq[j] = f;
                    const uint8_t s = symbol[i];
                    symbol[i] = symbol[j];
                    symbol[j] = s;
                }
            }
        }
        for (unsigned i = symbols; i-- > 0;)
            cumfreq[i] = static_cast<uint16_t>(cumfreq[i] + cumfreq[i + 1]);
    }
};

// The nine models of a Quantum stream.
struct Models {
    Model selector;
    Model literal[kLiteralModels];
    Model match3_position;
    Model match4_position;
    Model long_position;
    Model length;

    void init(unsigned window_exponent) {
        const PositionSlotCounts slots = position_slot_counts(window_exponent);
        selector.init(kSelectorSymbols);
        for (Model &m : literal) m.init(kLiteralSymbols);
        match3_position.init(slots.match3);
        match4_position.init(slots.match4);
        long_position.init(slots.long_match);
        length.init(kLengthSlots);
    }
};

// Division by a model's total without a divide instruction: the high half of
// x * ceil(2^64 / d) is floor(x / d) whenever x * d < 2^64, and here x =
// frequency * range < 3800 * 65536 and d <= 3800. Totals are never below 7
// (the smallest model), so every reciprocal fits 64 bits.
inline constexpr std::array<uint64_t, kMaxTotalFrequency + 1> total_reciprocal = [] {
    std::array<uint64_t, kMaxTotalFrequency + 1> r{};
    for (uint64_t d = 2; d <= kMaxTotalFrequency; ++d) r[d] = UINT64_MAX / d + 1;
    return r;
}();

// frequency * range / total, rounded down, for one range and total: the
// product of range and the total's reciprocal is formed once, before the
// frequency is known, which then costs one multiplication. frequency * range *
// reciprocal is the same product however it is grouped.
struct RangeScale {
    __extension__ typedef unsigned __int128 Wide;
    Wide factor;

    RangeScale(uint32_t range, uint32_t total) : factor(Wide{range} * total_reciprocal[total]) {
        assert(total >= kSelectorSymbols && total <= kMaxTotalFrequency && range <= 0x10000);
    }

    uint32_t operator()(uint32_t frequency) const {
        return static_cast<uint32_t>((Wide{frequency} * factor) >> 64);
    }
};

// The coder's interval [low, high] (16-bit values) narrowed to the frequency
// range [below, upto) of a model whose total is `total`.
inline void narrow_interval(uint32_t &low, uint32_t &high, uint32_t upto, uint32_t below,
                            uint32_t total) {
    const RangeScale scale(high - low + 1, total);
    high = (low + scale(upto) - 1) & 0xFFFF;
    low = (low + scale(below)) & 0xFFFF;
}

}  // namespace cab::quantum
