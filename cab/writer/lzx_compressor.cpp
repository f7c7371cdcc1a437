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
#include <cstdlib>
#include <optional>
#include <span>
#include <stdexcept>

#include "cab/lzx_format.h"
#include "cab/writer/lzx_calls.h"
#include "cab/writer/lzx_frame_writer.h"
#include "cab/writer/lzx_huffman.h"
#include "cab/writer/lzx_match.h"
#include "cab/writer/lzx_optimal_parse.h"
#include "cab/writer/lzx_pretree.h"

namespace cabwriter {
namespace lzx {
namespace {

using namespace cab::lzx;

struct Token {
    uint16_t main;           // main tree symbol
    uint16_t length_symbol;  // kNoLengthSymbol unless the length header is 7
    uint32_t extra;          // formatted distance minus the slot's base
};
constexpr uint16_t kNoLengthSymbol = 0xFFFF;

class LzxCompressor final : public FolderCompressor {
public:
    explicit LzxCompressor(const LzxOptions &options)
        : options_(options), main_symbols_(main_tree_size(options.window_exponent)) {
        if (options.best) optimal_ = std::make_unique<OptimalParser>(options.window_exponent);
    }

    std::vector<CompressedBlock> compress(std::span<const uint8_t> folder) override {
        std::vector<CompressedBlock> frames;
        if (folder.empty()) return frames;
        data_.assign(folder.begin(), folder.end());
        if (options_.e8_translation) translate_calls(data_);
        if (optimal_) {
            tree_.emplace(data_.data(), data_.size(), options_.window_exponent);
            optimal_->start_folder();
        } else
            finder_.emplace(data_.data(), data_.size(), options_.window_exponent);
        FrameWriter out(frames);
        std::fill(std::begin(previous_main_), std::end(previous_main_), 0);
        std::fill(std::begin(previous_length_), std::end(previous_length_), 0);
        repeats_[0] = repeats_[1] = repeats_[2] = 1;
        first_header_ = true;
        pad_pending_ = false;
        frame_start_ = 0;
        if (options_.block_size == 0) {
            write_blocks_by_content(out);
        } else {
            for (size_t start = 0; start < data_.size(); start += options_.block_size) {
                const size_t end = std::min(data_.size(), start + options_.block_size);
                tokens_.clear();
                parse(start, end);
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

        void add(std::span<const Token> tokens) {
            extra_bits += count_symbols(tokens, main, length);
        }
        void add(const Histogram &h) {
            for (unsigned i = 0; i < kMaxMainTreeSize; ++i) main[i] += h.main[i];
            for (unsigned i = 0; i < kLengthTreeSize; ++i) length[i] += h.length[i];
            extra_bits += h.extra_bits;
        }
        double bits() const {
            return entropy_bits(main, kMaxMainTreeSize) + entropy_bits(length, kLengthTreeSize) +
                   extra_bits;
        }
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
    void write_blocks_by_content(FrameWriter &out) {
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
            parse(start, end);
            frame = {};
            frame.add(std::span<const Token>(tokens_).subspan(first));
            const double frame_bits = frame.bits();
            const bool raw = frame_bits + kTreeBits >= 8.0 * static_cast<double>(end - start);
            bool split =
                start > block_start &&
                (raw != block_raw || start - block_start >= kMaxBlockFrames * cab::kMaxBlockSize);
            double joined_bits = 0;
            if (start > block_start && !split && !raw) {
                joined = block;
                joined.add(frame);
                joined_bits = joined.bits();
                split = joined_bits > block_bits + frame_bits + kSplitSavingBits;
            }
            if (split) {
                write_block(out, block_start, start, first, block_repeats);
                tokens_.erase(tokens_.begin(),
                              tokens_.begin() + static_cast<std::ptrdiff_t>(first));
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
    void parse(size_t start, size_t end) {
        if (optimal_) return parse_optimally(start, end);
        MatchFinder &finder = *finder_;
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

    void parse_optimally(size_t start, size_t end) {
        for (size_t pos = start; pos < end;) {
            const size_t piece_end =
                std::min(end, (pos / cab::kMaxBlockSize + 1) * cab::kMaxBlockSize);
            for (const Match &step :
                 optimal_->parse(*tree_, data_.data(), pos, piece_end, repeats_)) {
                if (step.length == 1)
                    add_literal(pos);
                else
                    add_match(step);
                pos += step.length;
            }
        }
    }

    static uint32_t limit_at(size_t pos, size_t block_end) {
        const size_t frame_end = (pos / cab::kMaxBlockSize + 1) * cab::kMaxBlockSize;
        return static_cast<uint32_t>(
            std::min<size_t>({kMaxMatch, frame_end - pos, block_end - pos}));
    }

    void add_literal(size_t pos) { tokens_.push_back({data_[pos], kNoLengthSymbol, 0}); }

    void add_match(const Match &m) {
        unsigned slot = m.repeat;
        uint32_t extra = 0;
        if (m.repeat == 3) {
            slot = distance_slot(m.distance);
            extra = m.distance + 2 - position_base[slot];
        }
        update_repeats(repeats_, m);
        const unsigned header = length_header(m.length);
        const uint16_t length_symbol =
            header == kNumPrimaryLengths
                ? static_cast<uint16_t>(m.length - kMinMatch - kNumPrimaryLengths)
                : kNoLengthSymbol;
        tokens_.push_back(
            {static_cast<uint16_t>(kNumChars + 8 * slot + header), length_symbol, extra});
    }

    static unsigned token_slot(const Token &t) { return (t.main - kNumChars) >> 3; }
    static bool uses_aligned(const Token &t) {
        return t.main >= kNumChars && token_slot(t) >= 3 &&
               position_slot_extra_bits[token_slot(t)] >= 3;
    }

    // Adds the main and length symbols of `tokens` to the frequencies and
    // returns their distances' extra bits.
    static uint64_t count_symbols(std::span<const Token> tokens, uint32_t *main_freq,
                                  uint32_t *length_freq) {
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
        const uint64_t trees =
            main_chars_.prepare(previous_main_, main_.lengths, 0, kNumChars) +
            main_matches_.prepare(previous_main_, main_.lengths, kNumChars, main_symbols_) +
            lengths_.prepare(previous_length_, length_.lengths, 0, kLengthTreeSize);
        const uint64_t verbatim =
            trees + main_.cost(main_symbols_) + length_.cost(kLengthTreeSize) + extra_bits;
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
    void write_block(FrameWriter &out, size_t start, size_t end, size_t token_count,
                     const uint32_t (&repeats)[3]) {
        const std::span<const Token> tokens(tokens_.data(), token_count);
        const unsigned type = choose_block_type(tokens, end - start);
        write_header(out, type, end - start);
        if (type == kBlockUncompressed) {
            write_uncompressed(out, start, end, repeats);
            return;
        }
        if (type == kBlockAligned) {
            for (unsigned s = 0; s < kAlignedTreeSize; ++s)
                out.put_bits(aligned_.lengths[s], kAlignedLengthBits);
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
                pos += kMinMatch + length_header +
                       (t.length_symbol != kNoLengthSymbol ? t.length_symbol : 0);
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

    void write_uncompressed(FrameWriter &out, size_t start, size_t end,
                            const uint32_t (&repeats)[3]) {
        out.pad_after_uncompressed_header();
        for (const uint32_t r : repeats) out.put_raw_le32(r);
        for (size_t pos = start; pos < end;) {
            const size_t n =
                std::min(end, (pos / cab::kMaxBlockSize + 1) * cab::kMaxBlockSize) - pos;
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
    std::unique_ptr<OptimalParser> optimal_;
    std::optional<MatchFinder> finder_;  // the lazy parse's, or
    std::optional<MatchTree> tree_;      // the optimal parse's, for the folder
};

}  // namespace
}  // namespace lzx

std::unique_ptr<FolderCompressor> make_lzx_compressor(const LzxOptions &options) {
    if (!cab::lzx::valid_window_exponent(options.window_exponent))
        throw std::invalid_argument("lzx window exponent must be 15..21");
    // Every block carries its trees (or, uncompressed, its header and
    // offsets); below 4 KiB a frame of many blocks could outgrow the
    // decoder's input buffer. The block size field has 24 bits.
    if (options.block_size != 0 && (options.block_size < 4096 || options.block_size > 0xFFFFFF))
        throw std::invalid_argument("lzx block size must be 4096..16777215");
    return std::make_unique<lzx::LzxCompressor>(options);
}

std::unique_ptr<FolderCompressor> make_lzx_compressor(unsigned window_exponent,
                                                      bool e8_translation) {
    LzxOptions options;
    options.window_exponent = window_exponent;
    options.e8_translation = e8_translation;
    return make_lzx_compressor(options);
}

}  // namespace cabwriter
