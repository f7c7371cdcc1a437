// Near-optimal parsing for the LZX compressor: a frame's literals and
// matches are chosen as the cheapest path through the frame, every step
// priced in bits under a model of the Huffman codes the block will get.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cab/lzx_format.h"
#include "cab/writer/lzx_match.h"
#include "cab/writer/lzx_match_tree.h"

namespace cabwriter::lzx {

// Estimated bits of every step, in 1/16 bit: literals, and matches by
// position slot (0-2 the repeated offsets) and length.
class CostModel {
public:
    static constexpr uint32_t kScale = 16;

    // Costs for a first parse: about what typical content settles at.
    void set_default();
    // Costs from symbol counts: -log2 of each symbol's share, within 1..16
    // bits, the distances' extra bits added.
    void set_from_counts(const uint32_t *main_freq, unsigned main_symbols,
                         const uint32_t *length_freq);

    uint32_t literal(uint8_t byte) const { return literal_[byte]; }
    uint32_t match(unsigned slot, uint32_t length) const {
        return slot_header_[slot][length_header(length)] + length_tail_[length];
    }

private:
    uint32_t literal_[cab::lzx::kNumChars];
    // Main symbol plus extra bits of each slot and length header.
    uint32_t slot_header_[cab::lzx::kMaxPositionSlots][8];
    // The length symbol of lengths past the primary ones, 0 for the others.
    uint32_t length_tail_[cab::lzx::kMaxMatch + 1];
};

class OptimalParser {
public:
    explicit OptimalParser(unsigned window_exponent);

    // Forgets the counts of the last piece, which price the next one's
    // first parse: the next piece starts a folder.
    void start_folder() { counted_ = false; }

    // Chooses the steps that encode data[start, end), a frame or part of
    // one, given the repeated offsets before `start`; the tree must have
    // visited every position before `start`. A step of length 1 is a literal; the
    // others are matches as the compressor writes them.
    std::span<const Match> parse(MatchTree &tree, const uint8_t *data, size_t start, size_t end,
                                 const uint32_t (&repeats)[3]);

private:
    // The cheapest known way to reach a position of the frame.
    struct Node {
        uint32_t cost;      // 1/16 bits from the frame's start
        uint32_t distance;  // of the step that arrives here
        uint16_t length;    // of that step; 1 for a literal
        uint8_t repeat;     // of that step, as in Match
        // When nonzero, a literal and a match of this length at the same
        // distance (repeated offset 0) follow the step before this position.
        uint16_t resumed;
        uint32_t repeats[3];  // repeated offsets after the step
        uint32_t span() const { return length + (resumed ? resumed + 1u : 0u); }
    };

    void find_candidates(MatchTree &tree, size_t start, size_t end);
    void find_path(const uint8_t *data, size_t start, size_t n, const uint32_t (&repeats)[3]);
    void relax_all_lengths(size_t i, uint32_t base, uint32_t first, const Match &m, unsigned slot);
    void offer_resumed(const uint8_t *data, size_t start, size_t n, size_t i, uint32_t base,
                       const Match &m, unsigned slot);
    void trace_back(size_t n);
    void count_steps(const uint8_t *data, size_t start);

    unsigned main_symbols_;
    CostModel model_;
    std::vector<Node> nodes_;                // one per position of the frame, and its end
    std::vector<Match> candidates_;          // every position's, in order
    std::vector<uint32_t> first_candidate_;  // into candidates_, per position and the end
    std::vector<Match> steps_;
    uint32_t main_freq_[cab::lzx::kMaxMainTreeSize];
    uint32_t length_freq_[cab::lzx::kLengthTreeSize];
    bool counted_ = false;  // the counts are of the piece before
};

}  // namespace cabwriter::lzx
