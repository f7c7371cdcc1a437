#include "cab/writer/quantum_compressor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "cab/bytes.h"
#include "cab/quantum_model.h"

namespace cabwriter {
namespace {

using namespace cab::quantum;

// The decoder accepts at most this many compressed bytes per block.
constexpr size_t kMaxCompressedBlock = cab::kMaxBlockSize + 10240;

// Places the bits of one block where the decoder will read them. The decoder
// reads the first 16 arithmetic bits at the start, then one arithmetic bit per
// renormalising shift, with raw extra bits interleaved in the same stream.
// The encoder settles arithmetic bits only later, so it records the stream
// position of every arithmetic bit as the decoder would read it and fills the
// position when the bit is known; raw bits go straight to the read position.
class BlockBits {
public:
    void start() {
        bytes_.clear();
        arithmetic_positions_.clear();
        settled_ = 0;
        read_position_ = 0;
        for (int i = 0; i < 16; ++i) arithmetic_positions_.push_back(reserve_position());
    }

    void decoder_shifts() { arithmetic_positions_.push_back(reserve_position()); }

    void settle(unsigned bit) { set(arithmetic_positions_[settled_++], bit); }

    void raw(uint32_t value, unsigned count) {
        for (unsigned k = count; k-- > 0;) set(reserve_position(), (value >> k) & 1);
    }

    // The block's bytes; every reserved position has been settled by now.
    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    uint32_t reserve_position() {
        if ((read_position_ >> 3) >= bytes_.size()) bytes_.push_back(0);
        return read_position_++;
    }

    void set(uint32_t position, unsigned bit) {
        if (bit)
            bytes_[position >> 3] =
                static_cast<uint8_t>(bytes_[position >> 3] | (0x80 >> (position & 7)));
    }

    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> arithmetic_positions_;
    size_t settled_ = 0;
    uint32_t read_position_ = 0;
};

// The inverse of the decoder's arithmetic decoder: same narrowing, same
// renormalisation, with straddling shifts held back as pending bits until the
// next settled bit decides them.
class ArithmeticEncoder {
public:
    explicit ArithmeticEncoder(BlockBits &bits) : bits_(bits) {}

    void start() {
        low_ = 0;
        high_ = 0xFFFF;
        pending_ = 0;
        bits_.start();
    }

    void encode(Model &model, unsigned symbol) {
        const unsigned i = entry_of(model, symbol);
        narrow_interval(low_, high_, model.cumfreq[i], model.cumfreq[i + 1], model.total());
        renormalise();
        model.update(i);
    }

    void raw(uint32_t value, unsigned count) { bits_.raw(value, count); }

    // Settles a 16-bit value inside the final interval: the decoder's last
    // code register. Exactly the bits the decoder reads are then in place.
    void finish() {
        settle(low_ >> 15);
        for (unsigned k = 15; k-- > 0;) bits_.settle((low_ >> k) & 1);
    }

private:
    static unsigned entry_of(const Model &model, unsigned symbol) {
        const void *at = std::memchr(model.symbol, static_cast<int>(symbol), model.symbols);
        return static_cast<unsigned>(static_cast<const uint8_t *>(at) - model.symbol);
    }

    void renormalise() {
        for (;;) {
            if (((low_ ^ high_) & 0x8000) == 0) {
                settle(low_ >> 15);
            } else if ((low_ & 0x4000) && !(high_ & 0x4000)) {
                ++pending_;
                low_ &= 0x3FFF;
                high_ |= 0x4000;
            } else {
                return;
            }
            low_ = (low_ << 1) & 0xFFFF;
            high_ = ((high_ << 1) | 1) & 0xFFFF;
            bits_.decoder_shifts();
        }
    }

    void settle(unsigned bit) {
        bits_.settle(bit);
        for (; pending_ > 0; --pending_) bits_.settle(bit ^ 1);
    }

    BlockBits &bits_;
    uint32_t low_ = 0;
    uint32_t high_ = 0xFFFF;
    uint32_t pending_ = 0;
};

unsigned position_slot_of(uint32_t distance) {
    const uint32_t v = distance - 1;
    if (v < 4) return v;
    const unsigned top = 31 - static_cast<unsigned>(__builtin_clz(v));
    return 2 * top + ((v >> (top - 1)) & 1);
}

constexpr std::array<uint8_t, kMaxMatch - kLongMatchMin + 1> length_slot_of = [] {
    std::array<uint8_t, kMaxMatch - kLongMatchMin + 1> slots{};
    for (unsigned slot = 0; slot < kLengthSlots; ++slot)
        for (unsigned v = length_base[slot];
             v < length_base[slot] + (1u << length_extra_bits[slot]); ++v)
            slots[v] = static_cast<uint8_t>(slot);
    return slots;
}();

// Costs in 1/256 bit.
using Cost = int32_t;
constexpr Cost kBit = 256;

// Estimated cost of every symbol under the current models; refreshed now and
// then, since the models drift with every symbol coded.
class CostTable {
public:
    CostTable() {
        for (uint32_t f = 1; f < log2_.size(); ++f)
            log2_[f] = static_cast<Cost>(std::lround(std::log2(f) * kBit));
    }

    void refresh(const Models &m) {
        fill(m.selector, selector_);
        std::array<Cost, kLiteralSymbols> symbol_cost{};
        for (unsigned k = 0; k < kLiteralModels; ++k) {
            fill(m.literal[k], symbol_cost);
            for (unsigned s = 0; s < kLiteralSymbols; ++s)
                literal_[k * kLiteralSymbols + s] = selector_[k] + symbol_cost[s];
        }
        fill(m.match3_position, match3_);
        fill(m.match4_position, match4_);
        fill(m.long_position, long_position_);
        fill(m.length, length_);
    }

    Cost literal(uint8_t byte) const { return literal_[byte]; }

    // Cost of a match, or a negative value when no selector can code it.
    Cost match(uint32_t length, uint32_t distance, const PositionSlotCounts &slots) const {
        const unsigned slot = position_slot_of(distance);
        const Cost position_extra = position_extra_bits[slot] * kBit;
        if (length == 3) {
            return slot < slots.match3 ? selector_[kSelectorMatch3] + match3_[slot] + position_extra
                                       : -1;
        }
        if (length == 4) {
            return slot < slots.match4 ? selector_[kSelectorMatch4] + match4_[slot] + position_extra
                                       : -1;
        }
        const unsigned length_slot = length_slot_of[length - kLongMatchMin];
        return selector_[kSelectorLongMatch] + length_[length_slot] +
               length_extra_bits[length_slot] * kBit + long_position_[slot] + position_extra;
    }

private:
    template <size_t N>
    void fill(const Model &model, std::array<Cost, N> &cost) const {
        const Cost total = log2_[model.total()];
        for (unsigned i = 0; i < model.symbols; ++i)
            cost[model.symbol[i]] = total - log2_[model.cumfreq[i] - model.cumfreq[i + 1]];
    }

    std::array<Cost, kMaxTotalFrequency + 1> log2_{};
    std::array<Cost, kSelectorSymbols> selector_{};
    std::array<Cost, 256> literal_{};
    std::array<Cost, kPositionSlots> match3_{}, match4_{}, long_position_{};
    std::array<Cost, kLengthSlots> length_{};
};

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
    Cost saving = 0;  // literal cost of the covered bytes minus the match's cost
};

// One hash chain over the folder: for every position, the previous position
// whose next `kKey` bytes hash alike, within the window.
template <unsigned kKey>
class HashChain {
public:
    static constexpr unsigned kHashBits = 17;
    static constexpr uint32_t kNone = UINT32_MAX;

    explicit HashChain(unsigned window_exponent)
        : mask_((1u << window_exponent) - 1),
          head_(size_t{1} << kHashBits),
          previous_(size_t{1} << window_exponent) {}

    void start() { std::fill(head_.begin(), head_.end(), kNone); }

    // `p` must have kKey bytes behind it.
    void insert(const uint8_t *data, uint32_t p) {
        uint32_t &h = head_[hash(data + p)];
        previous_[p & mask_] = h;
        h = p;
    }

    uint32_t first(const uint8_t *data, uint32_t p) const { return head_[hash(data + p)]; }
    uint32_t next(uint32_t candidate) const { return previous_[candidate & mask_]; }

private:
    static uint32_t hash(const uint8_t *at) {
        uint64_t v = 0;
        std::memcpy(&v, at, kKey);
        return static_cast<uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
    }

    uint32_t mask_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> previous_;
};

// Finds match candidates in two chains: a shallow one keyed on 3 bytes for
// short, near matches, and a deep one keyed on 8 bytes, whose candidates all
// share 8 bytes, for long matches far back in the window.
class MatchFinder {
public:
    // A match this long is good enough; searching on costs more than it gains.
    static constexpr uint32_t kNiceLength = 32;
    static constexpr unsigned kShortChainDepth = 16;
    static constexpr unsigned kLongKey = 8;

    MatchFinder(unsigned window_exponent, unsigned chain_depth)
        : max_distance_((1u << window_exponent) - 1),
          long_depth_(chain_depth),
          short_chain_(window_exponent),
          long_chain_(window_exponent) {}

    void start(std::span<const uint8_t> data) {
        data_ = data;
        inserted_ = 0;
        short_chain_.start();
        long_chain_.start();
    }

    // Chains every position before `position`.
    void insert_until(uint32_t position) {
        const uint32_t size = static_cast<uint32_t>(data_.size());
        for (; inserted_ < position && inserted_ + 3 <= size; ++inserted_) {
            short_chain_.insert(data_.data(), inserted_);
            if (inserted_ + kLongKey <= size) long_chain_.insert(data_.data(), inserted_);
        }
    }

    // Visits earlier positions whose bytes match at `position` for longer
    // than every nearer candidate, with the match length (capped at
    // `limit`): along a chain distances only grow, so a candidate no longer
    // than one already seen cannot be cheaper.
    template <class Visit>
    void for_each_match(uint32_t position, uint32_t limit, Visit &&visit) const {
        if (limit < 3 || position + 3 > data_.size()) return;
        uint32_t longest = 2;
        search(short_chain_, kShortChainDepth, position, limit, longest, visit);
        if (longest < kNiceLength && limit >= kLongKey && position + kLongKey <= data_.size())
            search(long_chain_, long_depth_, position, limit, longest, visit);
    }

private:
    template <class Chain, class Visit>
    void search(const Chain &chain, unsigned depth, uint32_t position, uint32_t limit,
                uint32_t &longest, Visit &visit) const {
        const uint8_t *here = data_.data() + position;
        uint32_t candidate = chain.first(data_.data(), position);
        for (; depth > 0 && candidate < position && longest < limit; --depth) {
            const uint32_t distance = position - candidate;
            if (distance > max_distance_) break;
            const uint8_t *there = data_.data() + candidate;
            if (there[longest] == here[longest]) {
                const uint32_t length = cab::common_length(there, here, limit);
                if (length > longest) {
                    longest = length;
                    visit(length, distance);
                    if (length >= kNiceLength) return;
                }
            }
            candidate = chain.next(candidate);
        }
    }

    uint32_t max_distance_;
    unsigned long_depth_;
    HashChain<3> short_chain_;
    HashChain<kLongKey> long_chain_;
    std::span<const uint8_t> data_;
    uint32_t inserted_ = 0;
};

class QuantumCompressor final : public FolderCompressor {
public:
    explicit QuantumCompressor(const QuantumOptions &options)
        : window_exponent_(options.window_exponent),
          slots_(position_slot_counts(options.window_exponent)),
          finder_(options.window_exponent, options.chain_depth),
          coder_(bits_) {}

    std::vector<CompressedBlock> compress(std::span<const uint8_t> folder) override {
        data_ = folder;
        models_.init(window_exponent_);
        finder_.start(folder);
        std::vector<CompressedBlock> blocks;
        for (size_t start = 0; start < folder.size(); start += cab::kMaxBlockSize) {
            const uint32_t end =
                static_cast<uint32_t>(std::min(folder.size(), start + cab::kMaxBlockSize));
            blocks.push_back(compress_block(static_cast<uint32_t>(start), end));
        }
        return blocks;
    }

private:
    // Literal costs are summed from a prefix table over the bytes from
    // `prefix_start_`, rebuilt with fresh model costs every kRefreshInterval
    // bytes. Matches are only sought less than kRefreshInterval + 1 bytes
    // past its start, so the table reaches every byte a match may cover.
    static constexpr uint32_t kRefreshInterval = 4096;
    static constexpr uint32_t kPrefixReach = kRefreshInterval + kMaxMatch + 2;
    static constexpr uint32_t kLazyBelow = 8;

    CompressedBlock compress_block(uint32_t start, uint32_t end) {
        coder_.start();
        block_end_ = end;
        prefix_start_ = start;
        refresh_costs(start);
        uint32_t p = start;
        Match current = best_match(p);
        while (p < end) {
            Match next;
            bool next_known = false;
            if (current.length == 0) {
                encode_literal(p++);
            } else if (current.length < kLazyBelow &&
                       (next = best_match(p + 1)).saving > current.saving) {
                // Lazy evaluation: a better match one byte on is worth a
                // literal. It pays only for short matches; longer ones are
                // taken as they are.
                encode_literal(p++);
                next_known = true;
            } else {
                encode_match(current);
                p += current.length;
            }
            if (p - prefix_start_ >= kRefreshInterval) {
                refresh_costs(p);
                next_known = false;
            }
            current = next_known ? next : best_match(p);
        }
        coder_.finish();
        const std::vector<uint8_t> &bytes = bits_.bytes();
        if (bytes.size() > kMaxCompressedBlock)
            throw std::runtime_error("quantum block does not fit its compressed size limit");
        return {bytes, static_cast<uint16_t>(end - start)};
    }

    void refresh_costs(uint32_t from) {
        costs_.refresh(models_);
        prefix_start_ = from;
        const uint32_t reach = std::min(block_end_ - from, kPrefixReach);
        literal_prefix_[0] = 0;
        for (uint32_t i = 0; i < reach; ++i)
            literal_prefix_[i + 1] = literal_prefix_[i] + costs_.literal(data_[from + i]);
    }

    Cost literal_cost(uint32_t position, uint32_t length) const {
        const uint32_t i = position - prefix_start_;
        return literal_prefix_[i + length] - literal_prefix_[i];
    }

    // The match at `position` saving the most bits, or length 0 when no
    // match saves any.
    Match best_match(uint32_t position) {
        Match best;
        if (position >= block_end_) return best;
        finder_.insert_until(position);
        const uint32_t limit = std::min(block_end_ - position, kMaxMatch);
        finder_.for_each_match(position, limit, [&](uint32_t length, uint32_t distance) {
            const Cost cost = costs_.match(length, distance, slots_);
            if (cost < 0) return;
            const Cost saving = literal_cost(position, length) - cost;
            if (saving > best.saving) best = {length, distance, saving};
        });
        return best;
    }

    void encode_literal(uint32_t position) {
        const uint8_t byte = data_[position];
        const unsigned model = byte / kLiteralSymbols;
        coder_.encode(models_.selector, model);
        coder_.encode(models_.literal[model], byte % kLiteralSymbols);
    }

    void encode_match(const Match &m) {
        const unsigned slot = position_slot_of(m.distance);
        if (m.length == 3) {
            coder_.encode(models_.selector, kSelectorMatch3);
            coder_.encode(models_.match3_position, slot);
        } else if (m.length == 4) {
            coder_.encode(models_.selector, kSelectorMatch4);
            coder_.encode(models_.match4_position, slot);
        } else {
            const uint32_t v = m.length - kLongMatchMin;
            const unsigned length_slot = length_slot_of[v];
            coder_.encode(models_.selector, kSelectorLongMatch);
            coder_.encode(models_.length, length_slot);
            coder_.raw(v - length_base[length_slot], length_extra_bits[length_slot]);
            coder_.encode(models_.long_position, slot);
        }
        coder_.raw(m.distance - 1 - position_base[slot], position_extra_bits[slot]);
    }

    unsigned window_exponent_;
    PositionSlotCounts slots_;
    MatchFinder finder_;
    BlockBits bits_;
    ArithmeticEncoder coder_;
    Models models_{};
    CostTable costs_;
    std::array<Cost, kPrefixReach + 1> literal_prefix_{};
    std::span<const uint8_t> data_;
    uint32_t block_end_ = 0;
    uint32_t prefix_start_ = 0;
};

}  // namespace

std::unique_ptr<FolderCompressor> make_quantum_compressor(const QuantumOptions &options) {
    if (!valid_window_exponent(options.window_exponent))
        throw std::invalid_argument("quantum window exponent must be 10..21");
    return std::make_unique<QuantumCompressor>(options);
}

std::unique_ptr<FolderCompressor> make_quantum_compressor(unsigned window_exponent) {
    QuantumOptions options;
    options.window_exponent = window_exponent;
    return make_quantum_compressor(options);
}

}  // namespace cabwriter
