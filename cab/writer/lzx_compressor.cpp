// LZX compressor: the exact inverse of cab/lzx.cpp.
//
// The folder is first call-translated frame by frame, then parsed into
// literals and matches (hash chains, one step of lazy evaluation, the three
// repeated offsets tried at every position). Each LZX block becomes a
// verbatim, aligned-offset or uncompressed block, whichever costs fewest
// bits. The bitstream is 16-bit little-endian words filled from the most
// significant bit and realigned to a word at every frame end, since every
// frame (cabinet data block) is decoded on its own.
#include "cab/writer/lzx_compressor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "cab/bytes.h"
#include "cab/lzx_format.h"

namespace cabwriter {
namespace {

using namespace cab::lzx;

// The E8 file size written into the stream. A multiple of 2^24 below
// 0xE8000000: the decoder then never changes the bytes of an operand that runs
// into a frame's sentinel bytes, so those operands need no inverse.
constexpr uint32_t kCallFileSize = 1u << 24;
// Largest compressed frame the decoder's input buffer holds.
constexpr size_t kMaxCompressedFrame = cab::kMaxBlockSize + kFrameInputExtra;

constexpr unsigned kHashBits = 16;
constexpr unsigned kLongPrefix = 8;  // bytes behind the long-match table
constexpr unsigned kLongHashBits = 18;
constexpr unsigned kMaxChain = 48;
constexpr unsigned kGoodLength = 32;  // chains are searched a quarter as deep beyond this
constexpr unsigned kNiceLength = 128;  // long enough to stop searching
constexpr unsigned kLiteralCost = 8;   // assumed bits of a literal when choosing matches

// ---------------------------------------------------------------------------
// Call translation

// The operand the decoder turns into `original` at stream position `cur`.
uint32_t encode_call_operand(uint32_t original, uint32_t cur) {
    for (const uint32_t candidate : {original + cur, original - kCallFileSize}) {
        if (decode_call_operand(candidate, cur, kCallFileSize) == original) return candidate;
    }
    return original;
}

// Applies the inverse of the decoder's per-frame scan: the same E8 bytes are
// found (operand bytes are skipped alike, and the decoder never changes an
// E8 byte), and every operand that lies wholly before the frame's last six
// bytes is replaced.
void translate_calls(std::vector<uint8_t> &data) {
    uint32_t position = 0;
    for (size_t start = 0, frame = 0; start < data.size() && frame < kCallTranslationFrames;
         start += cab::kMaxBlockSize, ++frame) {
        const uint32_t length = static_cast<uint32_t>(std::min<size_t>(cab::kMaxBlockSize, data.size() - start));
        uint8_t *out = data.data() + start;
        if (length >= kCallSentinelBytes) {
            const uint32_t scan_end = length - kCallSentinelBytes;
            for (uint32_t r = 0; r < scan_end; r += 5) {
                auto *hit = static_cast<uint8_t *>(std::memchr(out + r, 0xE8, scan_end - r));
                if (hit == nullptr) break;
                r = static_cast<uint32_t>(hit - out);
                if (r + 5 <= scan_end) cab::store_u32(hit + 1, encode_call_operand(cab::load_u32(hit + 1), position + r));
            }
        }
        position += length;
    }
}

// ---------------------------------------------------------------------------
// Huffman codes

// Code lengths of at most `limit` bits for the frequencies. A code with one
// used symbol gets a second one, since the decoder accepts only complete or
// empty codes.
void build_code_lengths(const uint32_t *freq, unsigned symbols, unsigned limit, uint8_t *lengths) {
    std::fill_n(lengths, symbols, 0);
    std::vector<uint32_t> f(freq, freq + symbols);
    unsigned used = 0, last = 0;
    for (unsigned s = 0; s < symbols; ++s) {
        if (f[s]) ++used, last = s;
    }
    if (used == 0) return;
    if (used == 1) {
        lengths[last] = 1;
        lengths[last == 0 ? 1 : 0] = 1;
        return;
    }
    std::vector<unsigned> order;
    std::vector<uint32_t> weight(2 * symbols);
    std::vector<unsigned> parent(2 * symbols);
    for (;;) {
        order.clear();
        for (unsigned s = 0; s < symbols; ++s) {
            if (f[s]) order.push_back(s);
        }
        std::stable_sort(order.begin(), order.end(), [&](unsigned a, unsigned b) { return f[a] < f[b]; });
        // Two-queue construction: leaves in ascending order, internal nodes
        // in the order they are made (also ascending).
        const unsigned n = static_cast<unsigned>(order.size());
        for (unsigned i = 0; i < n; ++i) weight[i] = f[order[i]];
        unsigned leaf = 0, inner = n, made = n;
        auto take = [&]() {
            if (leaf < n && (inner == made || weight[leaf] <= weight[inner])) return leaf++;
            return inner++;
        };
        while (made < 2 * n - 1) {
            const unsigned a = take(), b = take();
            weight[made] = weight[a] + weight[b];
            parent[a] = parent[b] = made;
            ++made;
        }
        std::vector<unsigned> depth(made, 0);
        unsigned longest = 0;
        for (unsigned i = made - 1; i-- > 0;) {
            depth[i] = depth[parent[i]] + 1;
            if (i < n) longest = std::max(longest, depth[i]);
        }
        if (longest <= limit) {
            for (unsigned i = 0; i < n; ++i) lengths[order[i]] = static_cast<uint8_t>(depth[i]);
            return;
        }
        for (auto &x : f) x = x ? (x + 1) / 2 : 0;
    }
}

// Canonical codes, as the decoder builds them: shorter codes first, equal
// lengths in symbol order.
void build_codes(const uint8_t *lengths, unsigned symbols, uint16_t *codes) {
    unsigned count[kMaxCodeLength + 1] = {};
    for (unsigned s = 0; s < symbols; ++s) ++count[lengths[s]];
    uint32_t next[kMaxCodeLength + 1];
    first_canonical_codes(count, next);
    for (unsigned s = 0; s < symbols; ++s) codes[s] = lengths[s] ? static_cast<uint16_t>(next[lengths[s]]++) : 0;
}

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

// ---------------------------------------------------------------------------
// Bit output

// Collects one frame's bytes. Bits fill 16-bit little-endian words from the
// most significant end; raw bytes (uncompressed blocks) go in between words.
class FrameWriter {
public:
    explicit FrameWriter(std::vector<CompressedBlock> &frames) : frames_(frames) {}

    void put_bits(uint32_t value, unsigned n) {
        acc_ = acc_ << n | value;
        pending_ += n;
        while (pending_ >= 16) {
            pending_ -= 16;
            const auto word = static_cast<uint16_t>(acc_ >> pending_);
            bytes_.push_back(static_cast<uint8_t>(word));
            bytes_.push_back(static_cast<uint8_t>(word >> 8));
        }
    }
    // Pads to the next word boundary, or a whole word when already on one:
    // what the decoder skips after an uncompressed block's header.
    void pad_after_uncompressed_header() { put_bits(0, 16 - pending_); }
    void put_raw(const uint8_t *p, size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
    void put_raw_le32(uint32_t v) {
        uint8_t b[4];
        cab::store_u32(b, v);
        put_raw(b, 4);
    }
    // Ends the frame of `uncompressed` bytes; the bitstream restarts on a
    // fresh word in the next one.
    void end_frame(uint32_t uncompressed) {
        if (pending_) put_bits(0, 16 - pending_);
        if (bytes_.size() > kMaxCompressedFrame) throw std::logic_error("lzx frame exceeds the decoder's input buffer");
        frames_.push_back({std::move(bytes_), static_cast<uint16_t>(uncompressed)});
        bytes_ = {};
    }

private:
    std::vector<CompressedBlock> &frames_;
    std::vector<uint8_t> bytes_;
    uint64_t acc_ = 0;
    unsigned pending_ = 0;
};

// ---------------------------------------------------------------------------
// Code lengths through the pretree

struct PretreeItem {
    uint8_t symbol;
    uint8_t extra_bits;
    uint8_t extra;
    uint8_t second;  // code 19: the delta symbol that follows
};

// Describes lengths[first, last) as pretree symbols relative to `previous`.
void describe_lengths(const uint8_t *previous, const uint8_t *lengths, unsigned first, unsigned last,
                      std::vector<PretreeItem> &items) {
    items.clear();
    for (unsigned i = first; i < last;) {
        unsigned run = 1;
        while (i + run < last && lengths[i + run] == lengths[i]) ++run;
        if (lengths[i] == 0 && run >= 20) {
            run = std::min(run, 20u + 31);
            items.push_back({18, 5, static_cast<uint8_t>(run - 20), 0});
        } else if (lengths[i] == 0 && run >= 4) {
            run = std::min(run, 4u + 15);
            items.push_back({17, 4, static_cast<uint8_t>(run - 4), 0});
        } else if (run >= 4) {
            run = std::min(run, 5u);
            const auto delta = static_cast<uint8_t>((previous[i] + 17 - lengths[i]) % 17);
            items.push_back({19, 1, static_cast<uint8_t>(run - 4), delta});
        } else {
            run = 1;
            items.push_back({static_cast<uint8_t>((previous[i] + 17 - lengths[i]) % 17), 0, 0, 0});
        }
        i += run;
    }
}

// One tree's lengths ready to send: the pretree and its symbols.
struct LengthsEncoding {
    std::vector<PretreeItem> items;
    Tree<kPretreeSize> pretree;

    uint64_t prepare(const uint8_t *previous, const uint8_t *lengths, unsigned first, unsigned last) {
        describe_lengths(previous, lengths, first, last, items);
        pretree.clear_freq();
        uint64_t extra = 0;
        for (const auto &item : items) {
            ++pretree.freq[item.symbol];
            if (item.symbol == 19) ++pretree.freq[item.second];
            extra += item.extra_bits;
        }
        pretree.build(kPretreeSize, 15);
        return kPretreeSize * kPretreeLengthBits + pretree.cost(kPretreeSize) + extra;
    }

    void write(FrameWriter &out) const {
        for (unsigned s = 0; s < kPretreeSize; ++s) out.put_bits(pretree.lengths[s], kPretreeLengthBits);
        for (const auto &item : items) {
            out.put_bits(pretree.codes[item.symbol], pretree.lengths[item.symbol]);
            out.put_bits(item.extra, item.extra_bits);
            if (item.symbol == 19) out.put_bits(pretree.codes[item.second], pretree.lengths[item.second]);
        }
    }
};

// ---------------------------------------------------------------------------
// Matching

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
    unsigned repeat = 3;  // 0-2: which repeated offset; 3: a new distance
};

unsigned distance_slot(uint32_t distance) {
    const uint32_t formatted = distance + 2;
    if (formatted < 4) return formatted;
    if (formatted >= position_base[38]) return 38 + ((formatted - position_base[38]) >> 17);
    const unsigned high = 31 - static_cast<unsigned>(__builtin_clz(formatted));
    return 2 * high + ((formatted >> (high - 1)) & 1);
}

// Rough bits of a match, to weigh matches against each other and literals.
// Far slots are used rarely, so their main symbols cost more than near ones;
// the growth beyond slot 16 is an estimate tuned on mixed content (it also
// spares the decoder cache misses that would save nothing).
unsigned match_cost(const Match &m) {
    const unsigned length_bits = m.length - kMinMatch >= kNumPrimaryLengths ? 6 : 0;
    if (m.repeat < 3) return 6 + 2 * m.repeat + length_bits;
    const unsigned slot = distance_slot(m.distance);
    const unsigned rarity = slot > 16 ? 3 * (slot - 16) / 2 : 0;
    return 9 + position_slot_extra_bits[slot] + rarity + length_bits;
}

int match_score(const Match &m) {
    return m.length == 0 ? 0 : static_cast<int>(kLiteralCost * m.length) - static_cast<int>(match_cost(m));
}

class MatchFinder {
public:
    MatchFinder(const uint8_t *data, size_t size, unsigned window_exponent)
        : data_(data), size_(size), max_distance_((1u << window_exponent) - 3),
          head_(1u << kHashBits, kNone), prev_(size_t{1} << window_exponent, kNone),
          prev_mask_((1u << window_exponent) - 1), long_head_(1u << kLongHashBits, kNone) {}

    // Best match at `pos` of at most `limit` bytes, repeated offsets
    // included; the chains hold every position before `pos`.
    Match find(size_t pos, uint32_t limit, const uint32_t (&repeats)[3]) {
        insert_before(pos);
        Match best;
        if (limit < kMinMatch) return best;
        const uint8_t *here = data_ + pos;
        for (unsigned r = 0; r < 3; ++r) {
            if (repeats[r] > pos) continue;
            const Match m{cab::common_length(here, here - repeats[r], limit), repeats[r], r};
            if (m.length >= kMinMatch && match_score(m) > match_score(best)) best = m;
        }
        // The last position that began with the same long prefix: a long
        // match the chain of recent short prefixes often does not reach.
        if (limit >= kLongPrefix && pos + kLongPrefix <= size_) {
            const uint32_t cand = long_head_[long_hash(pos)];
            const uint32_t distance = static_cast<uint32_t>(pos - cand);
            if (cand != kNone && distance <= max_distance_) {
                const Match m{cab::common_length(here, data_ + cand, limit), distance, 3};
                if (m.length >= 3 && match_score(m) > match_score(best)) best = m;
            }
        }
        if (limit < 3 || pos + 3 > size_) return best;
        unsigned chain = best.length >= kGoodLength ? kMaxChain / 4 : kMaxChain;
        for (uint32_t cand = head_[hash(pos)]; cand != kNone && chain-- > 0; cand = prev_[cand & prev_mask_]) {
            const uint32_t distance = static_cast<uint32_t>(pos - cand);
            if (distance > max_distance_) break;
            if (best.length >= limit) break;
            const uint8_t *there = data_ + cand;
            if (best.length >= 3 && there[best.length] != here[best.length]) continue;
            const uint32_t length = cab::common_length(here, there, limit);
            if (length < 3) continue;
            const Match m{length, distance, 3};
            if (match_score(m) > match_score(best)) {
                best = m;
                if (length >= kNiceLength) break;
            }
        }
        return best;
    }

private:
    static constexpr uint32_t kNone = 0xFFFFFFFF;

    uint32_t hash(size_t pos) const {
        const uint8_t *p = data_ + pos;
        const uint32_t v = p[0] | p[1] << 8 | p[2] << 16;
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    uint32_t long_hash(size_t pos) const {
        static_assert(kLongPrefix == 8);
        return static_cast<uint32_t>((cab::load_u64(data_ + pos) * 0x9E3779B97F4A7C15ull) >> (64 - kLongHashBits));
    }
    void insert_before(size_t pos) {
        for (; inserted_ < pos && inserted_ + 3 <= size_; ++inserted_) {
            const uint32_t h = hash(inserted_);
            prev_[inserted_ & prev_mask_] = head_[h];
            head_[h] = static_cast<uint32_t>(inserted_);
            if (inserted_ + kLongPrefix <= size_) long_head_[long_hash(inserted_)] = static_cast<uint32_t>(inserted_);
        }
    }

    const uint8_t *data_;
    size_t size_;
    uint32_t max_distance_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> prev_;
    uint32_t prev_mask_;
    std::vector<uint32_t> long_head_;
    size_t inserted_ = 0;
};

// ---------------------------------------------------------------------------
// Blocks

struct Token {
    uint16_t main;           // main tree symbol
    uint16_t length_symbol;  // kNoLengthSymbol unless the length header is 7
    uint32_t extra;          // formatted distance minus the slot's base
};
constexpr uint16_t kNoLengthSymbol = 0xFFFF;

class LzxCompressor final : public FolderCompressor {
public:
    explicit LzxCompressor(const LzxOptions &options)
        : options_(options), main_symbols_(main_tree_size(options.window_exponent)) {}

    std::vector<CompressedBlock> compress(std::span<const uint8_t> folder) override {
        std::vector<CompressedBlock> frames;
        if (folder.empty()) return frames;
        data_.assign(folder.begin(), folder.end());
        if (options_.e8_translation) translate_calls(data_);
        MatchFinder finder(data_.data(), data_.size(), options_.window_exponent);
        FrameWriter out(frames);
        std::fill(std::begin(previous_main_), std::end(previous_main_), 0);
        std::fill(std::begin(previous_length_), std::end(previous_length_), 0);
        repeats_[0] = repeats_[1] = repeats_[2] = 1;
        first_header_ = true;
        pad_pending_ = false;
        frame_start_ = 0;
        if (options_.block_size == 0) {
            write_blocks_by_content(finder, out);
        } else {
            for (size_t start = 0; start < data_.size(); start += options_.block_size) {
                const size_t end = std::min(data_.size(), start + options_.block_size);
                tokens_.clear();
                parse(finder, start, end);
                write_block(out, start, end, tokens_.size(), repeats_);
            }
        }
        return frames;
    }

private:
    // Estimated bits of the symbols and extra bits that `tokens` would cost
    // under codes fitted to them alone (trees not included).
    struct Histogram {
        uint32_t main[kMaxMainTreeSize] = {};
        uint32_t length[kLengthTreeSize] = {};
        uint64_t extra_bits = 0;

        void add(std::span<const Token> tokens) { extra_bits += count_symbols(tokens, main, length); }
        void add(const Histogram &h) {
            for (unsigned i = 0; i < kMaxMainTreeSize; ++i) main[i] += h.main[i];
            for (unsigned i = 0; i < kLengthTreeSize; ++i) length[i] += h.length[i];
            extra_bits += h.extra_bits;
        }
        double bits() const { return entropy_bits(main, kMaxMainTreeSize) + entropy_bits(length, kLengthTreeSize) + extra_bits; }
    };

    static double entropy_bits(const uint32_t *freq, unsigned symbols) {
        uint64_t total = 0;
        for (unsigned s = 0; s < symbols; ++s) total += freq[s];
        double bits = 0;
        for (unsigned s = 0; s < symbols; ++s) {
            if (freq[s]) bits += freq[s] * std::log2(static_cast<double>(total) / freq[s]);
        }
        return bits;
    }

    // Blocks made of whole frames: a frame joins the block before it while
    // one set of trees serves both about as well as two would, and frames
    // that do not compress go into uncompressed blocks of their own. Fewer
    // blocks mean fewer trees for the decoder to read and build.
    void write_blocks_by_content(MatchFinder &finder, FrameWriter &out) {
        // About what a block's trees cost, and what a split must save: more
        // than the trees, since every block is one more for the decoder.
        constexpr double kTreeBits = 2000;
        constexpr double kSplitSavingBits = 4000;
        constexpr size_t kMaxBlockFrames = 256;
        tokens_.clear();
        size_t block_start = 0;
        bool block_raw = false;
        uint32_t block_repeats[3];
        // The block's symbols and their estimated bits; not kept for stored
        // blocks, which are never weighed against a frame.
        Histogram &block = block_histogram_, &frame = frame_histogram_, &joined = joined_histogram_;
        double block_bits = 0;
        for (size_t start = 0; start < data_.size(); start += cab::kMaxBlockSize) {
            const size_t end = std::min(data_.size(), start + cab::kMaxBlockSize);
            const size_t first = tokens_.size();
            parse(finder, start, end);
            frame = {};
            frame.add(std::span<const Token>(tokens_).subspan(first));
            const double frame_bits = frame.bits();
            const bool raw = frame_bits + kTreeBits >= 8.0 * static_cast<double>(end - start);
            bool split = start > block_start && (raw != block_raw || start - block_start >= kMaxBlockFrames * cab::kMaxBlockSize);
            double joined_bits = 0;
            if (start > block_start && !split && !raw) {
                joined = block;
                joined.add(frame);
                joined_bits = joined.bits();
                split = joined_bits > block_bits + frame_bits + kSplitSavingBits;
            }
            if (split) {
                write_block(out, block_start, start, first, block_repeats);
                tokens_.erase(tokens_.begin(), tokens_.begin() + static_cast<std::ptrdiff_t>(first));
                block_start = start;
            }
            if (start == block_start) {
                block = frame;
                block_bits = frame_bits;
            } else if (!raw) {
                block = joined;
                block_bits = joined_bits;
            }
            block_raw = raw;
            std::copy(std::begin(repeats_), std::end(repeats_), block_repeats);
        }
        write_block(out, block_start, data_.size(), tokens_.size(), block_repeats);
    }

    // Appends the literals and matches of data_[start, end); no match
    // crosses a frame or `end`.
    void parse(MatchFinder &finder, size_t start, size_t end) {
        size_t pos = start;
        Match pending = finder.find(pos, limit_at(pos, end), repeats_);
        while (pos < end) {
            Match m = pending;
            if (match_score(m) <= 0) {
                add_literal(pos++);
                if (pos < end) pending = finder.find(pos, limit_at(pos, end), repeats_);
                continue;
            }
            if (m.length < kNiceLength && pos + 1 < end) {
                const Match next = finder.find(pos + 1, limit_at(pos + 1, end), repeats_);
                if (match_score(next) > match_score(m) + static_cast<int>(kLiteralCost)) {
                    add_literal(pos++);
                    pending = next;
                    continue;
                }
            }
            add_match(m);
            pos += m.length;
            if (pos < end) pending = finder.find(pos, limit_at(pos, end), repeats_);
        }
    }

    static uint32_t limit_at(size_t pos, size_t block_end) {
        const size_t frame_end = (pos / cab::kMaxBlockSize + 1) * cab::kMaxBlockSize;
        return static_cast<uint32_t>(std::min<size_t>({kMaxMatch, frame_end - pos, block_end - pos}));
    }

    void add_literal(size_t pos) { tokens_.push_back({data_[pos], kNoLengthSymbol, 0}); }

    void add_match(const Match &m) {
        unsigned slot;
        uint32_t extra = 0;
        if (m.repeat == 0) {
            slot = 0;
        } else if (m.repeat == 1) {
            slot = 1;
            std::swap(repeats_[0], repeats_[1]);
        } else if (m.repeat == 2) {
            slot = 2;
            std::swap(repeats_[0], repeats_[2]);
        } else {
            slot = distance_slot(m.distance);
            extra = m.distance + 2 - position_base[slot];
            repeats_[2] = repeats_[1];
            repeats_[1] = repeats_[0];
            repeats_[0] = m.distance;
        }
        const unsigned header = std::min(m.length - kMinMatch, kNumPrimaryLengths);
        const uint16_t length_symbol =
            header == kNumPrimaryLengths ? static_cast<uint16_t>(m.length - kMinMatch - kNumPrimaryLengths)
                                         : kNoLengthSymbol;
        tokens_.push_back({static_cast<uint16_t>(kNumChars + 8 * slot + header), length_symbol, extra});
    }

    static unsigned token_slot(const Token &t) { return (t.main - kNumChars) >> 3; }
    static bool uses_aligned(const Token &t) {
        return t.main >= kNumChars && token_slot(t) >= 3 && position_slot_extra_bits[token_slot(t)] >= 3;
    }

    // Adds the main and length symbols of `tokens` to the frequencies and
    // returns their distances' extra bits.
    static uint64_t count_symbols(std::span<const Token> tokens, uint32_t *main_freq, uint32_t *length_freq) {
        uint64_t extra_bits = 0;
        for (const Token &t : tokens) {
            ++main_freq[t.main];
            if (t.length_symbol != kNoLengthSymbol) ++length_freq[t.length_symbol];
            if (t.main >= kNumChars) extra_bits += position_slot_extra_bits[token_slot(t)];
        }
        return extra_bits;
    }

    unsigned choose_block_type(std::span<const Token> tokens, size_t size) {
        main_.clear_freq();
        length_.clear_freq();
        aligned_.clear_freq();
        const uint64_t extra_bits = count_symbols(tokens, main_.freq, length_.freq);
        uint64_t aligned_count = 0;
        for (const Token &t : tokens) {
            if (uses_aligned(t)) ++aligned_.freq[t.extra & 7], ++aligned_count;
        }
        // Codes that fit the decoder's direct tables spare it the slow walk
        // through overflow nodes, for about 1% of size.
        main_.build(main_symbols_, kMainTableBits);
        length_.build(kLengthTreeSize, kLengthTableBits);
        aligned_.build(kAlignedTreeSize, 7);
        const uint64_t trees = main_chars_.prepare(previous_main_, main_.lengths, 0, kNumChars) +
                               main_matches_.prepare(previous_main_, main_.lengths, kNumChars, main_symbols_) +
                               lengths_.prepare(previous_length_, length_.lengths, 0, kLengthTreeSize);
        const uint64_t verbatim = trees + main_.cost(main_symbols_) + length_.cost(kLengthTreeSize) + extra_bits;
        const uint64_t aligned = verbatim + kAlignedTreeSize * kAlignedLengthBits +
                                 aligned_.cost(kAlignedTreeSize) - 3 * aligned_count;
        const uint64_t uncompressed = 8 * (size + 12) + 16;
        switch (options_.block_type) {
        case LzxBlockChoice::Verbatim: return kBlockVerbatim;
        case LzxBlockChoice::Aligned: return kBlockAligned;
        case LzxBlockChoice::Uncompressed: return kBlockUncompressed;
        case LzxBlockChoice::ByCost: break;
        }
        if (uncompressed < std::min(verbatim, aligned)) return kBlockUncompressed;
        return aligned < verbatim ? kBlockAligned : kBlockVerbatim;
    }

    void write_header(FrameWriter &out, unsigned type, size_t size) {
        if (pad_pending_) out.put_raw(reinterpret_cast<const uint8_t *>("\0"), 1);
        pad_pending_ = false;
        if (first_header_) {
            out.put_bits(options_.e8_translation, 1);
            if (options_.e8_translation) {
                out.put_bits(kCallFileSize >> 16, 16);
                out.put_bits(kCallFileSize & 0xFFFF, 16);
            }
            first_header_ = false;
        }
        out.put_bits(type, 3);
        out.put_bits(static_cast<uint32_t>(size >> 16), 8);
        out.put_bits(static_cast<uint32_t>(size >> 8) & 0xFF, 8);
        out.put_bits(static_cast<uint32_t>(size) & 0xFF, 8);
    }

    // Writes data_[start, end) as one block of the first `token_count`
    // tokens; an uncompressed block carries `repeats`, the repeated offsets
    // after those tokens.
    void write_block(FrameWriter &out, size_t start, size_t end, size_t token_count, const uint32_t (&repeats)[3]) {
        const std::span<const Token> tokens(tokens_.data(), token_count);
        const unsigned type = choose_block_type(tokens, end - start);
        write_header(out, type, end - start);
        if (type == kBlockUncompressed) {
            write_uncompressed(out, start, end, repeats);
            return;
        }
        if (type == kBlockAligned) {
            for (unsigned s = 0; s < kAlignedTreeSize; ++s) out.put_bits(aligned_.lengths[s], kAlignedLengthBits);
        }
        main_chars_.write(out);
        main_matches_.write(out);
        lengths_.write(out);
        std::copy_n(main_.lengths, main_symbols_, previous_main_);
        std::copy_n(length_.lengths, kLengthTreeSize, previous_length_);

        size_t pos = start;
        for (const Token &t : tokens) {
            out.put_bits(main_.codes[t.main], main_.lengths[t.main]);
            if (t.main < kNumChars) {
                ++pos;
            } else {
                const unsigned length_header = (t.main - kNumChars) & 7;
                if (t.length_symbol != kNoLengthSymbol)
                    out.put_bits(length_.codes[t.length_symbol], length_.lengths[t.length_symbol]);
                write_distance(out, t, type == kBlockAligned);
                pos += kMinMatch + length_header + (t.length_symbol != kNoLengthSymbol ? t.length_symbol : 0);
            }
            end_frame_at(out, pos);
        }
    }

    void write_distance(FrameWriter &out, const Token &t, bool aligned_block) {
        const unsigned slot = token_slot(t);
        if (slot < 3) return;
        const unsigned extra = position_slot_extra_bits[slot];
        if (aligned_block && extra >= 3) {
            out.put_bits(t.extra >> 3, extra - 3);
            out.put_bits(aligned_.codes[t.extra & 7], aligned_.lengths[t.extra & 7]);
        } else {
            out.put_bits(t.extra, extra);
        }
    }

    void write_uncompressed(FrameWriter &out, size_t start, size_t end, const uint32_t (&repeats)[3]) {
        out.pad_after_uncompressed_header();
        for (const uint32_t r : repeats) out.put_raw_le32(r);
        for (size_t pos = start; pos < end;) {
            const size_t n = std::min(end, (pos / cab::kMaxBlockSize + 1) * cab::kMaxBlockSize) - pos;
            out.put_raw(data_.data() + pos, n);
            pos += n;
            end_frame_at(out, pos);
        }
        pad_pending_ = (end - start) % 2 == 1;
    }

    // Closes the frame when `pos` is its end or the folder's end.
    void end_frame_at(FrameWriter &out, size_t pos) {
        if (pos == data_.size() || pos - frame_start_ == cab::kMaxBlockSize) {
            out.end_frame(static_cast<uint32_t>(pos - frame_start_));
            frame_start_ = pos;
        }
    }

    LzxOptions options_;
    unsigned main_symbols_;
    std::vector<uint8_t> data_;
    std::vector<Token> tokens_;
    uint32_t repeats_[3] = {1, 1, 1};
    bool first_header_ = true;
    bool pad_pending_ = false;
    size_t frame_start_ = 0;
    Tree<kMaxMainTreeSize> main_;
    Tree<kLengthTreeSize> length_;
    Tree<kAlignedTreeSize> aligned_;
    uint8_t previous_main_[kMaxMainTreeSize] = {};
    uint8_t previous_length_[kLengthTreeSize] = {};
    LengthsEncoding main_chars_, main_matches_, lengths_;
    Histogram block_histogram_, frame_histogram_, joined_histogram_;
};

}  // namespace

std::unique_ptr<FolderCompressor> make_lzx_compressor(const LzxOptions &options) {
    if (!valid_window_exponent(options.window_exponent))
        throw std::invalid_argument("lzx window exponent must be 15..21");
    // Every block carries its trees (or, uncompressed, its header and
    // offsets); below 4 KiB a frame of many blocks could outgrow the
    // decoder's input buffer. The block size field has 24 bits.
    if (options.block_size != 0 && (options.block_size < 4096 || options.block_size > 0xFFFFFF))
        throw std::invalid_argument("lzx block size must be 4096..16777215");
    return std::make_unique<LzxCompressor>(options);
}

std::unique_ptr<FolderCompressor> make_lzx_compressor(unsigned window_exponent, bool e8_translation) {
    LzxOptions options;
    options.window_exponent = window_exponent;
    options.e8_translation = e8_translation;
    return make_lzx_compressor(options);
}

}  // namespace cabwriter
