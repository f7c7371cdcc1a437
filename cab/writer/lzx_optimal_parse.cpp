#include "cab/writer/lzx_optimal_parse.h"

#include <algorithm>
#include <cmath>

#include "cab/bytes.h"
#include "cab/format.h"

namespace cabwriter::lzx {

using namespace cab::lzx;

namespace {

// Parses of each piece: the first priced with the counts of the piece before
// (the default costs at a folder's start), each further one with the counts
// of the parse before it. A third pass gains about 0.1%.
constexpr unsigned kPasses = 2;
// A match this long is taken as it is; the positions it covers only join the
// tree, and are not priced.
constexpr uint32_t kTakeLength = kNiceLength;
constexpr uint32_t kUnreached = 0xFFFFFFFF;

uint32_t bits(double b) {
    return static_cast<uint32_t>(std::clamp(b, 1.0, 16.0) * CostModel::kScale + 0.5);
}

}  // namespace

void CostModel::set_default() {
    std::fill(std::begin(literal_), std::end(literal_), 8 * kScale);
    for (unsigned slot = 0; slot < kMaxPositionSlots; ++slot) {
        const Match m{kMinMatch, slot < 3 ? 0 : position_base[slot] - 2, slot < 3 ? slot : 3};
        std::fill_n(slot_header_[slot], 8, match_cost(m) * kScale);
    }
    for (uint32_t length = kMinMatch; length <= kMaxMatch; ++length)
        length_tail_[length] = length_header(length) == kNumPrimaryLengths ? 6 * kScale : 0;
}

void CostModel::set_from_counts(const uint32_t *main_freq, unsigned main_symbols,
                                const uint32_t *length_freq) {
    // Half a count for every symbol keeps unused ones finite.
    double total = 0.5 * main_symbols;
    for (unsigned s = 0; s < main_symbols; ++s) total += main_freq[s];
    auto cost = [&](uint32_t f, double sum) { return bits(std::log2(sum / (f + 0.5))); };
    for (unsigned c = 0; c < kNumChars; ++c) literal_[c] = cost(main_freq[c], total);
    for (unsigned slot = 0; slot < kMaxPositionSlots; ++slot) {
        const uint32_t extra = slot < 3 ? 0 : position_slot_extra_bits[slot] * kScale;
        for (unsigned header = 0; header < 8; ++header) {
            const unsigned symbol = kNumChars + 8 * slot + header;
            slot_header_[slot][header] =
                (symbol < main_symbols ? cost(main_freq[symbol], total) : 16 * kScale) + extra;
        }
    }
    double length_total = 0.5 * kLengthTreeSize;
    for (unsigned s = 0; s < kLengthTreeSize; ++s) length_total += length_freq[s];
    for (uint32_t length = kMinMatch; length <= kMaxMatch; ++length) {
        length_tail_[length] =
            length_header(length) == kNumPrimaryLengths
                ? cost(length_freq[length - kMinMatch - kNumPrimaryLengths], length_total)
                : 0;
    }
}

OptimalParser::OptimalParser(unsigned window_exponent)
    : main_symbols_(main_tree_size(window_exponent)),
      nodes_(cab::kMaxBlockSize + 1),
      first_candidate_(cab::kMaxBlockSize + 1) {
    candidates_.reserve(4 * cab::kMaxBlockSize);
    steps_.reserve(cab::kMaxBlockSize);
}

std::span<const Match> OptimalParser::parse(MatchTree &tree, const uint8_t *data, size_t start,
                                            size_t end, const uint32_t (&repeats)[3]) {
    const size_t n = end - start;
    find_candidates(tree, start, end);
    if (counted_)
        model_.set_from_counts(main_freq_, main_symbols_, length_freq_);
    else
        model_.set_default();
    for (unsigned pass = 0; pass < kPasses; ++pass) {
        if (pass > 0) {
            count_steps(data, start);
            model_.set_from_counts(main_freq_, main_symbols_, length_freq_);
        }
        find_path(data, start, n, repeats);
        trace_back(n);
    }
    count_steps(data, start);
    counted_ = true;
    return steps_;
}

// Searches every position but those inside a match of kTakeLength or more.
void OptimalParser::find_candidates(MatchTree &tree, size_t start, size_t end) {
    candidates_.clear();
    Match found[MatchTree::kMaxCandidates];
    size_t covered = start;
    for (size_t pos = start; pos < end; ++pos) {
        first_candidate_[pos - start] = static_cast<uint32_t>(candidates_.size());
        if (pos < covered) {
            tree.skip(pos);
            continue;
        }
        const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, end - pos));
        const unsigned count = tree.find(pos, limit, found);
        candidates_.insert(candidates_.end(), found, found + count);
        if (count > 0 && found[count - 1].length >= kTakeLength)
            covered = pos + found[count - 1].length;
    }
    first_candidate_[end - start] = static_cast<uint32_t>(candidates_.size());
}

// Forward pass: every reached position offers a literal, its repeated-offset
// matches and its candidates at every length to the positions ahead. A
// position's repeated offsets are those of the cheapest path to it, which
// makes the result near-optimal rather than optimal.
void OptimalParser::find_path(const uint8_t *data, size_t start, size_t n,
                              const uint32_t (&repeats)[3]) {
    for (size_t i = 1; i <= n; ++i) nodes_[i].cost = kUnreached;
    nodes_[0].cost = 0;
    std::copy_n(repeats, 3, nodes_[0].repeats);
    for (size_t i = 0; i < n;) {
        Node &node = nodes_[i];
        if (i > 0) {
            const Node &from = nodes_[i - node.span()];
            std::copy_n(from.repeats, 3, node.repeats);
            if (node.length > 1)
                update_repeats(node.repeats, {node.length, node.distance, node.repeat});
        }
        const size_t pos = start + i;
        const uint8_t *here = data + pos;
        const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, n - i));
        const uint32_t literal = node.cost + model_.literal(*here);
        if (literal < nodes_[i + 1].cost) {
            nodes_[i + 1].cost = literal;
            nodes_[i + 1].length = 1;
            nodes_[i + 1].resumed = 0;
        }
        Match longest;
        for (unsigned r = 0; r < 3 && limit >= kMinMatch; ++r) {
            const uint32_t distance = node.repeats[r];
            if (distance > pos || (r > 0 && distance == node.repeats[0]) ||
                (r == 2 && distance == node.repeats[1]))
                continue;
            const Match m{cab::common_length(here, here - distance, limit), distance, r};
            if (m.length < kMinMatch) continue;
            relax_all_lengths(i, node.cost, kMinMatch, m, r);
            offer_resumed(data, start, n, i, node.cost, m, r);
            if (m.length > longest.length) longest = m;
        }
        uint32_t shorter = kMinMatch - 1;
        for (uint32_t c = first_candidate_[i]; c < first_candidate_[i + 1]; ++c) {
            const Match &m = candidates_[c];
            // A repeated offset already offered these lengths, for less.
            if (m.distance != node.repeats[0] && m.distance != node.repeats[1] &&
                m.distance != node.repeats[2]) {
                const unsigned slot = distance_slot(m.distance);
                relax_all_lengths(i, node.cost, shorter + 1, m, slot);
                if (c + 1 == first_candidate_[i + 1])
                    offer_resumed(data, start, n, i, node.cost, m, slot);
            }
            shorter = m.length;
            if (m.length > longest.length) longest = m;
        }
        // A long match is taken whole: the positions it covers are skipped.
        i = longest.length >= kTakeLength ? i + longest.length : i + 1;
    }
}

// Offers m's distance at lengths first..m.length.
void OptimalParser::relax_all_lengths(size_t i, uint32_t base, uint32_t first, const Match &m,
                                      unsigned slot) {
    for (uint32_t length = first; length <= m.length; ++length) {
        const uint32_t cost = base + model_.match(slot, length);
        Node &to = nodes_[i + length];
        if (cost < to.cost) {
            to.cost = cost;
            to.length = static_cast<uint16_t>(length);
            to.distance = m.distance;
            to.repeat = static_cast<uint8_t>(m.repeat);
            to.resumed = 0;
        }
    }
}

// Offers m whole, then a literal and the longest match that resumes at m's
// distance: a record that differs in a byte continues as repeated offset 0,
// which the cheapest path to the literal alone would not have kept.
void OptimalParser::offer_resumed(const uint8_t *data, size_t start, size_t n, size_t i,
                                  uint32_t base, const Match &m, unsigned slot) {
    const size_t literal = i + m.length;
    if (literal + 1 + kMinMatch > n) return;
    const uint8_t *next = data + start + literal + 1;
    const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, n - literal - 1));
    const uint32_t resumed = cab::common_length(next, next - m.distance, limit);
    if (resumed < kMinMatch) return;
    const uint32_t cost = base + model_.match(slot, m.length) +
                          model_.literal(data[start + literal]) + model_.match(0, resumed);
    Node &to = nodes_[literal + 1 + resumed];
    if (cost < to.cost) {
        to.cost = cost;
        to.length = static_cast<uint16_t>(m.length);
        to.distance = m.distance;
        to.repeat = static_cast<uint8_t>(m.repeat);
        to.resumed = static_cast<uint16_t>(resumed);
    }
}

void OptimalParser::trace_back(size_t n) {
    steps_.clear();
    for (size_t i = n; i > 0; i -= nodes_[i].span()) {
        const Node &node = nodes_[i];
        if (node.resumed) {
            steps_.push_back({node.resumed, node.distance, 0});
            steps_.push_back({1, 0, 3});
        }
        if (node.length == 1)
            steps_.push_back({1, 0, 3});
        else
            steps_.push_back({node.length, node.distance, node.repeat});
    }
    std::reverse(steps_.begin(), steps_.end());
}

void OptimalParser::count_steps(const uint8_t *data, size_t start) {
    std::fill_n(main_freq_, main_symbols_, 0);
    std::fill_n(length_freq_, kLengthTreeSize, 0);
    size_t pos = start;
    for (const Match &step : steps_) {
        if (step.length == 1) {
            ++main_freq_[data[pos]];
        } else {
            const unsigned slot = step.repeat < 3 ? step.repeat : distance_slot(step.distance);
            const unsigned header = length_header(step.length);
            ++main_freq_[kNumChars + 8 * slot + header];
            if (header == kNumPrimaryLengths)
                ++length_freq_[step.length - kMinMatch - kNumPrimaryLengths];
        }
        pos += step.length;
    }
}

}  // namespace cabwriter::lzx
