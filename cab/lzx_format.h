// Constants and tables of the LZX format, shared by the decoder (cab/lzx.cpp)
// and the writer's compressor, so the two cannot disagree about them.
#pragma once

#include <array>
#include <cstdint>

namespace cab::lzx {

inline constexpr unsigned kMinWindowExponent = 15;
inline constexpr unsigned kMaxWindowExponent = 21;
constexpr bool valid_window_exponent(unsigned w) {
    return w >= kMinWindowExponent && w <= kMaxWindowExponent;
}

inline constexpr unsigned kBlockVerbatim = 1;
inline constexpr unsigned kBlockAligned = 2;
inline constexpr unsigned kBlockUncompressed = 3;

inline constexpr unsigned kNumChars = 256;
inline constexpr unsigned kNumPrimaryLengths = 7;  // length headers 0-6; 7 adds a length symbol
inline constexpr unsigned kMinMatch = 2;
inline constexpr unsigned kMaxMatch = 257;
inline constexpr unsigned kMaxPositionSlots = 50;
inline constexpr unsigned kMaxMainTreeSize = kNumChars + 8 * kMaxPositionSlots;
inline constexpr unsigned kLengthTreeSize = 249;
inline constexpr unsigned kAlignedTreeSize = 8;
inline constexpr unsigned kPretreeSize = 20;
inline constexpr unsigned kMaxCodeLength = 16;
// Widths of the decoder's direct tables for the main and length trees:
// longer codes continue through overflow nodes, one bit at a time.
inline constexpr unsigned kMainTableBits = 10;
inline constexpr unsigned kLengthTableBits = 8;
inline constexpr unsigned kAlignedLengthBits = 3;
inline constexpr unsigned kPretreeLengthBits = 4;

// A frame's compressed bytes may exceed its 32768 uncompressed ones by this
// much; the decoder asks for an input buffer of that size.
inline constexpr uint32_t kFrameInputExtra = 6144;

// Calls are translated only in the first 32768 frames after a reset.
inline constexpr uint32_t kCallTranslationFrames = 32768;
// The last bytes of a frame, where no call is translated; an operand that
// runs into them reads them as 0xE8 and leaves them as they are.
inline constexpr uint32_t kCallSentinelBytes = 6;

// First code of each length in a canonical code (shorter codes first, equal
// lengths in symbol order), from the number of codes of each length.
inline void first_canonical_codes(const unsigned (&count)[kMaxCodeLength + 1],
                                  uint32_t (&first)[kMaxCodeLength + 1]) {
    first[1] = 0;
    for (unsigned len = 2; len <= kMaxCodeLength; ++len)
        first[len] = (first[len - 1] + count[len - 1]) << 1;
}

// Extra bits and base of each position slot (0-50). Slots 0-2 stand for the
// repeated offsets; from slot 3 on, base + extra bits - 2 is the distance.
struct PositionSlotTables {
    std::array<uint8_t, kMaxPositionSlots + 1> extra_bits{};
    std::array<uint32_t, kMaxPositionSlots + 1> base{};
};

constexpr PositionSlotTables make_position_slot_tables() {
    PositionSlotTables t;
    uint32_t base = 0;
    for (unsigned slot = 0; slot <= kMaxPositionSlots; ++slot) {
        const unsigned extra = slot < 4 ? 0 : (slot - 2) / 2 < 17 ? (slot - 2) / 2 : 17;
        t.extra_bits[slot] = static_cast<uint8_t>(extra);
        t.base[slot] = base;
        base += 1u << extra;
    }
    return t;
}

inline constexpr PositionSlotTables kPositionSlots = make_position_slot_tables();
inline constexpr const auto &position_slot_extra_bits = kPositionSlots.extra_bits;
inline constexpr const auto &position_base = kPositionSlots.base;

// Number of position slots a window needs: the smallest m >= 4 whose base
// reaches the window size.
constexpr unsigned position_slot_count(unsigned window_exponent) {
    unsigned m = 4;
    while (m < kMaxPositionSlots && position_base[m] < (1u << window_exponent)) ++m;
    return m;
}

constexpr unsigned main_tree_size(unsigned window_exponent) {
    return kNumChars + 8 * position_slot_count(window_exponent);
}

// The decoder's translation of one call operand `v` found at stream position
// `cur`, for the E8 file size `file_size`.
constexpr uint32_t decode_call_operand(uint32_t v, uint32_t cur, uint32_t file_size) {
    if (v < file_size) return v - cur;
    if (0u - v <= cur) return v + file_size;
    return v;
}

}  // namespace cab::lzx
