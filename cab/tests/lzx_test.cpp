// LZX decoder and compressor. Handcrafted streams are written bit by bit from
// the format's description, so a fault shared by the compressor and the
// decoder cannot hide behind a round trip.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cab/lzx.h"
#include "cab/lzx_format.h"
#include "cab/tests/extraction.h"
#include "cab/writer/lzx_compressor.h"

namespace {

using namespace cab::lzx;
using Bytes = std::vector<uint8_t>;

void *test_alloc(uint32_t size) { return std::malloc(size); }
void test_free(void *block) { std::free(block); }

const cab::HostCallbacks kHost = {test_alloc, test_free, nullptr, nullptr,
                                  nullptr,    nullptr,   nullptr};

// One decoder instance, fed the way the driver feeds it: the compressed bytes
// in a buffer of the queried capacity plus kInputSlack zero bytes.
class Decoder {
public:
    explicit Decoder(unsigned window_exponent = 15) {
        EXPECT_EQ(cab::kLzxDecoder.size_query(cab::kMaxBlockSize, window_exponent, &capacity_),
                  cab::kDecodeOk);
        EXPECT_EQ(
            cab::kLzxDecoder.create(cab::kMaxBlockSize, window_exponent, kHost, 1, &instance_),
            cab::kDecodeOk);
        input_.resize(capacity_ + cab::kInputSlack);
        output_.resize(cab::kMaxBlockSize);
    }
    ~Decoder() { cab::kLzxDecoder.destroy(instance_); }

    // Decodes one frame of `size` bytes; appends the output to `out`.
    int frame(const Bytes &compressed, uint32_t size, Bytes &out) {
        EXPECT_LE(compressed.size(), capacity_);
        std::copy(compressed.begin(), compressed.end(), input_.begin());
        std::fill_n(input_.begin() + compressed.size(), cab::kInputSlack, 0);
        uint32_t count = size;
        const int result = cab::kLzxDecoder.decode(instance_, input_.data(),
                                                   static_cast<uint32_t>(compressed.size()),
                                                   output_.data(), &count);
        if (result == cab::kDecodeOk) {
            EXPECT_EQ(count, size);
            out.insert(out.end(), output_.begin(), output_.begin() + count);
        } else if (result == cab::kDecodeDataError) {
            EXPECT_EQ(count, 0u);
        }
        return result;
    }
    int reset() { return cab::kLzxDecoder.reset(instance_); }
    void *instance() { return instance_; }

private:
    void *instance_ = nullptr;
    uint32_t capacity_ = 0;
    Bytes input_;
    Bytes output_;
};

Bytes decode_all(const std::vector<cabwriter::CompressedBlock> &frames, unsigned window_exponent) {
    Decoder decoder(window_exponent);
    Bytes out;
    for (const auto &f : frames) {
        if (decoder.frame(f.bytes, f.uncompressed_size, out) != cab::kDecodeOk) {
            ADD_FAILURE() << "frame " << &f - frames.data() << " failed";
            break;
        }
    }
    return out;
}

// Content with text, call instructions, runs and incompressible stretches.
Bytes sample(size_t size, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    static const char *const kWords[] = {"cabinet ", "folder ", "window ",
                                         "the ",     "match ",  "offset\n"};
    Bytes out;
    while (out.size() < size) {
        switch (rng() % 4) {
            case 0:
                for (int i = 0; i < 40; ++i) {
                    const std::string w = kWords[rng() % 6];
                    out.insert(out.end(), w.begin(), w.end());
                }
                break;
            case 1:
                for (int i = 0; i < 30; ++i) {
                    const uint32_t target = (rng() % 16) * 4096 - static_cast<uint32_t>(out.size());
                    out.insert(out.end(),
                               {0xE8, uint8_t(target), uint8_t(target >> 8), uint8_t(target >> 16),
                                uint8_t(target >> 24), 0x8B, 0x45});
                }
                break;
            case 2: out.insert(out.end(), 1 + rng() % 300, uint8_t(rng() % 3)); break;
            default:
                for (int i = 0; i < 500; ++i) out.push_back(uint8_t(rng()));
        }
    }
    out.resize(size);
    return out;
}

Bytes round_trip(const Bytes &data, const cabwriter::LzxOptions &options) {
    const auto frames = cabwriter::make_lzx_compressor(options)->compress(data);
    return decode_all(frames, options.window_exponent);
}

// ---------------------------------------------------------------------------
// Handcrafted streams

// Writes bits most significant first into 16-bit little-endian words.
class Bits {
public:
    Bits &put(uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;) bit((value >> i) & 1);
        return *this;
    }
    Bits &align() {
        while (pending_) bit(0);
        return *this;
    }
    Bits &raw(const Bytes &b) {
        EXPECT_EQ(pending_, 0u);
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    Bits &le32(uint32_t v) {
        return raw({uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    unsigned bits_in_word() const { return pending_; }
    Bytes bytes() {
        align();
        return bytes_;
    }

private:
    void bit(unsigned b) {
        word_ = static_cast<uint16_t>(word_ << 1 | b);
        if (++pending_ == 16) {
            bytes_.push_back(uint8_t(word_));
            bytes_.push_back(uint8_t(word_ >> 8));
            pending_ = 0;
        }
    }
    Bytes bytes_;
    uint16_t word_ = 0;
    unsigned pending_ = 0;
};

std::vector<uint16_t> canonical_codes(const Bytes &lengths) {
    std::vector<uint16_t> codes(lengths.size());
    uint16_t code = 0;
    for (unsigned len = 1; len <= 16; ++len, code <<= 1) {
        for (size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] == len) codes[s] = code++;
        }
    }
    return codes;
}

void put_symbol(Bits &b, const Bytes &lengths, unsigned symbol) {
    b.put(canonical_codes(lengths)[symbol], lengths[symbol]);
}

// A complete pretree: symbols 0-11 of 4 bits, 12-19 of 5 bits.
const Bytes kPretree = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5};

void put_pretree(Bits &b, const Bytes &pretree = kPretree) {
    for (uint8_t len : pretree) b.put(len, 4);
}

// Writes lengths[first, last) as one delta symbol each against `previous`,
// which is updated, under kPretree.
void put_lengths(Bits &b, Bytes &previous, const Bytes &lengths, unsigned first, unsigned last) {
    put_pretree(b);
    for (unsigned i = first; i < last; ++i) {
        put_symbol(b, kPretree, (previous[i] + 17 - lengths[i]) % 17);
        previous[i] = lengths[i];
    }
}

constexpr unsigned kMain15 = 256 + 8 * 30;  // main tree symbols for window exponent 15

struct Trees {
    Bytes main = Bytes(kMain15, 0);
    Bytes length = Bytes(kLengthTreeSize, 0);
};

void put_header(Bits &b, unsigned type, uint32_t size) {
    b.put(type, 3).put(size >> 16, 8).put((size >> 8) & 0xFF, 8).put(size & 0xFF, 8);
}

// Main and length trees of a verbatim or aligned block.
void put_trees(Bits &b, Trees &previous, const Bytes &main, const Bytes &length) {
    put_lengths(b, previous.main, main, 0, 256);
    put_lengths(b, previous.main, main, 256, kMain15);
    put_lengths(b, previous.length, length, 0, kLengthTreeSize);
}

Bytes lengths_of(size_t size, std::initializer_list<std::pair<unsigned, uint8_t>> entries) {
    Bytes l(size, 0);
    for (auto [symbol, len] : entries) l[symbol] = len;
    return l;
}

unsigned match_symbol(unsigned slot, unsigned length) {
    return 256 + 8 * slot + std::min(length - 2, 7u);
}

// A main tree of two literals, 'a' (code 0) and 'b' (code 1).
const Bytes kTwoLiterals = lengths_of(kMain15, {{'a', 1}, {'b', 1}});
const Bytes kNoLengths(kLengthTreeSize, 0);

Bits verbatim_ab_stream(Trees &previous, const std::string &text, bool first_header = true) {
    Bits b;
    if (first_header) b.put(0, 1);  // no call translation
    put_header(b, kBlockVerbatim, static_cast<uint32_t>(text.size()));
    put_trees(b, previous, kTwoLiterals, kNoLengths);
    for (char c : text) b.put(c == 'b', 1);
    return b;
}

Bytes as_bytes(const std::string &s) { return Bytes(s.begin(), s.end()); }

// ---------------------------------------------------------------------------

TEST(LzxFormat, SlotCountsAndMainTreeSizes) {
    const unsigned slots[] = {30, 32, 34, 36, 38, 42, 50};
    for (unsigned e = 15; e <= 21; ++e) {
        EXPECT_EQ(position_slot_count(e), slots[e - 15]) << "exponent " << e;
        EXPECT_EQ(main_tree_size(e), 256 + 8 * slots[e - 15]) << "exponent " << e;
    }
    EXPECT_EQ(main_tree_size(15), 496u);
    EXPECT_EQ(main_tree_size(21), 656u);
    EXPECT_EQ(position_base[50], 2097152u);
    EXPECT_EQ(position_slot_extra_bits[49], 17u);
}

TEST(LzxInterface, SizeQueryAndParameterChecks) {
    uint32_t capacity = 0;
    EXPECT_EQ(cab::kLzxDecoder.size_query(32768, 21, &capacity), cab::kDecodeOk);
    EXPECT_EQ(capacity, 32768u + 6144);
    void *instance = nullptr;
    for (unsigned e : {0u, 14u, 22u, 31u}) {
        EXPECT_EQ(cab::kLzxDecoder.size_query(32768, e, &capacity), cab::kDecodeBadWindow) << e;
        EXPECT_EQ(cab::kLzxDecoder.create(32768, e, kHost, 1, &instance), cab::kDecodeBadWindow)
            << e;
        EXPECT_EQ(instance, nullptr);
    }
    Decoder d;
    Bytes out;
    EXPECT_EQ(d.frame({}, 32769, out), cab::kDecodeBadParameter);
    uint32_t junk[8] = {};
    uint32_t count = 1;
    EXPECT_EQ(cab::kLzxDecoder.decode(junk, nullptr, 0, nullptr, &count), cab::kDecodeBadInstance);
    EXPECT_EQ(cab::kLzxDecoder.reset(junk), cab::kDecodeBadInstance);
    EXPECT_EQ(cab::kLzxDecoder.destroy(junk), cab::kDecodeBadInstance);
}

TEST(LzxHandcrafted, EmptyTreesYieldSymbolZero) {
    // Main tree: 'x' (code 0) and a match of slot 3 (distance 1) with length
    // header 7 (code 1). The length tree is empty, so its lookup gives symbol
    // 0 and the match is 9 bytes long.
    const Bytes main = lengths_of(kMain15, {{'x', 1}, {match_symbol(3, 9), 1}});
    Trees previous;
    Bits b;
    b.put(0, 1);
    put_header(b, kBlockVerbatim, 10);
    put_trees(b, previous, main, kNoLengths);
    b.put(0, 1).put(1, 1);
    // Then an empty main tree: five literals of byte 0, read from no bits.
    put_header(b, kBlockVerbatim, 5);
    put_trees(b, previous, Bytes(kMain15, 0), kNoLengths);
    b.align().put(0, 16);  // keeps a word of the block unread, so symbols may start
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 15, out), cab::kDecodeOk);
    EXPECT_EQ(out, as_bytes("xxxxxxxxxx" + std::string(5, '\0')));
}

TEST(LzxHandcrafted, CodesLongerThanTheTablesGoThroughOverflowNodes) {
    // Main tree: 'a' to 'o' with codes of 1 to 15 bits, then 'p' and a match
    // (distance 1, length header 7) with 16 bits. Length tree: symbols 0-14
    // with 1 to 15 bits, 15 and 16 with 16 bits.
    Bytes main(kMain15, 0), length(kLengthTreeSize, 0);
    for (unsigned i = 0; i < 15; ++i) main['a' + i] = static_cast<uint8_t>(i + 1);
    main['p'] = main[match_symbol(3, 9)] = 16;
    for (unsigned i = 0; i < 15; ++i) length[i] = static_cast<uint8_t>(i + 1);
    length[15] = length[16] = 16;
    Trees previous;
    Bits b;
    b.put(0, 1);
    put_header(b, kBlockVerbatim, 52);
    put_trees(b, previous, main, length);
    put_symbol(b, main, 'p');
    put_symbol(b, main, 'o');
    put_symbol(b, main, match_symbol(3, 9));
    put_symbol(b, length, 16);  // 25 bytes
    put_symbol(b, main, 'a');
    put_symbol(b, main, match_symbol(3, 9));
    put_symbol(b, length, 15);  // 24 bytes
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 52, out), cab::kDecodeOk);
    EXPECT_EQ(out, as_bytes("po" + std::string(25, 'o') + "a" + std::string(24, 'a')));
}

TEST(LzxHandcrafted, MatchBeforeFirstByteReadsZeros) {
    const Bytes main = lengths_of(kMain15, {{'q', 1}, {match_symbol(3, 3), 1}});
    Trees previous;
    Bits b;
    b.put(0, 1);
    put_header(b, kBlockVerbatim, 4);
    put_trees(b, previous, main, kNoLengths);
    b.put(1, 1).put(0, 1);  // distance 1 at position 0, then 'q'
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 4, out), cab::kDecodeOk);
    EXPECT_EQ(out, (Bytes{0, 0, 0, 'q'}));
}

TEST(LzxHandcrafted, AlignedOffsetBlock) {
    // 16 literals, then a match of distance 16 (slot 8: three extra bits,
    // all of them from the aligned tree) and one of distance 8 (slot 6: two
    // plain extra bits).
    const Bytes main = lengths_of(kMain15, {{'a', 3},
                                            {'b', 3},
                                            {'c', 3},
                                            {'d', 3},
                                            {'e', 3},
                                            {'f', 3},
                                            {'g', 3},
                                            {match_symbol(8, 4), 4},
                                            {match_symbol(6, 3), 4}});
    Trees previous;
    Bits b;
    b.put(0, 1);
    put_header(b, kBlockAligned, 16 + 4 + 3);
    const Bytes aligned(8, 3);
    for (uint8_t len : aligned) b.put(len, 3);
    put_trees(b, previous, main, kNoLengths);
    const std::string text = "abcdefgabcdefggg";
    for (char c : text) put_symbol(b, main, static_cast<uint8_t>(c));
    put_symbol(b, main, match_symbol(8, 4));
    put_symbol(b, aligned, (16 + 2) - 16);  // formatted distance 18 minus base 16
    put_symbol(b, main, match_symbol(6, 3));
    b.put((8 + 2) - 8, 2);  // formatted 10 minus base 8
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 23, out), cab::kDecodeOk);
    EXPECT_EQ(out, as_bytes(text + "abcd" + "fgg"));
}

TEST(LzxHandcrafted, RepeatedOffsetsSwap) {
    // After "abcd": distance 4 (R = 4 1 1), distance 3 (3 4 1), slot 2 takes
    // R2 = 1 (1 4 3), slot 1 takes R1 = 4 (4 1 3), slot 2 takes R2 = 3
    // (3 1 4), slot 0 takes R0 = 3.
    const Bytes main = lengths_of(kMain15, {{'a', 3},
                                            {'b', 3},
                                            {'c', 3},
                                            {'d', 3},
                                            {match_symbol(5, 2), 3},
                                            {match_symbol(4, 2), 3},
                                            {match_symbol(2, 2), 4},
                                            {match_symbol(1, 2), 4},
                                            {match_symbol(2, 3), 4},
                                            {match_symbol(0, 2), 4}});
    Trees previous;
    Bits b;
    b.put(0, 1);
    put_header(b, kBlockVerbatim, 17);
    put_trees(b, previous, main, kNoLengths);
    for (char c : std::string("abcd")) put_symbol(b, main, static_cast<uint8_t>(c));
    put_symbol(b, main, match_symbol(5, 2));  // formatted 6 = base 6 + extra 0
    b.put(0, 1);
    put_symbol(b, main, match_symbol(4, 2));  // formatted 5 = base 4 + extra 1
    b.put(1, 1);
    put_symbol(b, main, match_symbol(2, 2));
    put_symbol(b, main, match_symbol(1, 2));
    put_symbol(b, main, match_symbol(2, 3));
    put_symbol(b, main, match_symbol(0, 2));
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 17, out), cab::kDecodeOk);
    EXPECT_EQ(out, as_bytes("abcd"
                            "ab"
                            "da"
                            "aa"
                            "da"
                            "ada"
                            "ad"));
}

TEST(LzxHandcrafted, PretreeRunsAreCutAtTheEndOfTheirRange) {
    // Literal entries: 0-96 zero (18), 97 and 98 of length 1 ('a', 'b'),
    // 99-251 zero (18 x3), then a run 18 of 51 that must stop at 255 rather
    // than spill into the match entries. Match entries: codes 19 and 17, the
    // last 19 cut to the two entries left. Length tree: 18 only.
    const Bytes pretree = lengths_of(20, {{0, 2}, {16, 2}, {17, 3}, {18, 2}, {19, 3}});
    Bits b;
    b.put(0, 1);
    put_header(b, kBlockVerbatim, 4);
    auto zeros18 = [&](unsigned n) {
        put_symbol(b, pretree, 18);
        b.put(n - 20, 5);
    };
    auto same19 = [&](unsigned delta) {  // five entries of (previous - delta) mod 17
        put_symbol(b, pretree, 19);
        b.put(1, 1);
        put_symbol(b, pretree, delta);
    };
    put_pretree(b, pretree);
    zeros18(51);
    zeros18(46);
    put_symbol(b, pretree, 16);
    put_symbol(b, pretree, 16);
    for (int i = 0; i < 4; ++i) zeros18(51);
    put_pretree(b, pretree);
    same19(0);
    for (int i = 0; i < 12; ++i) {
        put_symbol(b, pretree, 17);
        b.put(15, 4);
    }
    same19(0);
    same19(17);  // (0 - 17 + 17) mod 17 = 0, cut to 2 entries
    put_pretree(b, pretree);
    for (unsigned n : {51, 51, 51, 51, 45}) zeros18(n);
    for (char c : std::string("baab")) b.put(c == 'b', 1);
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 4, out), cab::kDecodeOk);
    EXPECT_EQ(out, as_bytes("baab"));
}

TEST(LzxHandcrafted, EmptyBlockIsFollowedByTheNextHeader) {
    Trees previous;
    Bits b = verbatim_ab_stream(previous, "");
    put_header(b, kBlockVerbatim, 3);
    put_trees(b, previous, kTwoLiterals,
              kNoLengths);  // deltas of 0 against the empty block's trees
    b.put(1, 1).put(0, 1).put(1, 1);
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 3, out), cab::kDecodeOk);
    EXPECT_EQ(out, as_bytes("bab"));
}

// A verbatim block of `literals` one-bit literals, an uncompressed block of
// `raw`, then a verbatim block "ab"; returns the stream and sets `header_end`
// to the bits used in the word where the uncompressed header ends.
Bytes uncompressed_between(unsigned literals, const std::string &raw, unsigned &header_end) {
    Trees previous;
    Bits b = verbatim_ab_stream(previous, std::string(literals, 'a'));
    put_header(b, kBlockUncompressed, static_cast<uint32_t>(raw.size()));
    header_end = b.bits_in_word();
    b.align();
    if (header_end == 0) b.put(0, 16);  // a whole word of padding
    b.le32(1).le32(2).le32(3).raw(as_bytes(raw));
    if (raw.size() % 2) b.raw({0xEE});  // pad byte after an odd-sized block
    put_header(b, kBlockVerbatim, 2);
    put_trees(b, previous, kTwoLiterals, kNoLengths);
    b.put(0, 1).put(1, 1);
    return b.bytes();
}

TEST(LzxHandcrafted, UncompressedBlockPadding) {
    for (unsigned literals = 0; literals < 16; ++literals) {
        for (const std::string raw : {"xyz", "wxyz"}) {
            unsigned header_end = 0;
            const Bytes stream = uncompressed_between(literals, raw, header_end);
            const uint32_t size = literals + static_cast<uint32_t>(raw.size()) + 2;
            Decoder d;
            Bytes out;
            ASSERT_EQ(d.frame(stream, size, out), cab::kDecodeOk)
                << literals << " literals, " << raw;
            EXPECT_EQ(out, as_bytes(std::string(literals, 'a') + raw + "ab"))
                << literals << " literals, header ends at bit " << header_end;
        }
    }
}

TEST(LzxHandcrafted, UncompressedBlockSetsRepeatedOffsets) {
    // R0 = 3 from the uncompressed header; a slot 0 match then copies "xyz".
    const Bytes main = lengths_of(kMain15, {{'a', 1}, {match_symbol(0, 3), 1}});
    Trees previous;
    Bits b;
    b.put(0, 1);
    put_header(b, kBlockUncompressed, 3);
    b.align().le32(3).le32(1).le32(1).raw(as_bytes("xyz")).raw({0});
    put_header(b, kBlockVerbatim, 3);
    put_trees(b, previous, main, kNoLengths);
    b.put(1, 1);
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 6, out), cab::kDecodeOk);
    EXPECT_EQ(out, as_bytes("xyzxyz"));
}

// ---------------------------------------------------------------------------
// Call translation

// A stream whose first frame is an uncompressed block holding `frame`
// (plus `more` bytes of the block left for later frames).
Bytes translated_stream(bool header_bit, uint32_t file_size, const Bytes &frame,
                        uint32_t more = 0) {
    Bits b;
    b.put(header_bit, 1);
    if (header_bit) b.put(file_size >> 16, 16).put(file_size & 0xFFFF, 16);
    put_header(b, kBlockUncompressed, static_cast<uint32_t>(frame.size()) + more);
    return b.align().le32(1).le32(1).le32(1).raw(frame).bytes();
}

Bytes call_at(size_t offset, uint32_t operand, size_t size) {
    Bytes frame(size, 0);
    frame[offset] = 0xE8;
    std::memcpy(&frame[offset + 1], &operand, 4);
    return frame;
}

uint32_t operand_at(const Bytes &out, size_t offset) {
    uint32_t v;
    std::memcpy(&v, &out[offset + 1], 4);
    return v;
}

TEST(LzxCalls, OperandCases) {
    const uint32_t S = 100000;
    struct Case {
        uint32_t v;
        uint32_t expected;
    } cases[] = {{0, uint32_t(0) - 10},
                 {S - 1, S - 1 - 10},
                 {0xFFFFFFFF, S - 1},
                 {S, S},
                 {0xFFFFFFF0, 0xFFFFFFF0}};
    for (const Case &c : cases) {
        Decoder d;
        Bytes out;
        ASSERT_EQ(d.frame(translated_stream(true, S, call_at(10, c.v, 32)), 32, out),
                  cab::kDecodeOk);
        EXPECT_EQ(operand_at(out, 10), c.expected) << "V = " << c.v;
    }
}

TEST(LzxCalls, OnlyWithTheHeaderBitAndNotInTheLastTenBytes) {
    Decoder plain;
    Bytes out;
    ASSERT_EQ(plain.frame(translated_stream(false, 0, call_at(10, 0, 32)), 32, out),
              cab::kDecodeOk);
    EXPECT_EQ(operand_at(out, 10), 0u);

    // At offset 22 of 32 the operand runs into the last six bytes.
    Decoder tail;
    out.clear();
    ASSERT_EQ(tail.frame(translated_stream(true, 1000, call_at(22, 0, 32)), 32, out),
              cab::kDecodeOk);
    EXPECT_EQ(operand_at(out, 22), 0u);

    Decoder tiny;
    out.clear();
    ASSERT_EQ(tiny.frame(translated_stream(true, 1000, {0xE8, 0, 0, 0, 0}), 5, out),
              cab::kDecodeOk);
    EXPECT_EQ(out, (Bytes{0xE8, 0, 0, 0, 0}));
}

TEST(LzxCalls, AcrossTheScanChunksAndIntoTheFrameEnd) {
    // The frame is copied and scanned 64 bytes at a time: an operand that
    // straddles a chunk boundary is translated, and a call among the last six
    // bytes (at 127 of 132) neither stops the copy of the chunk after it nor
    // changes it.
    const uint32_t S = 100000;
    const uint32_t v = 1000;
    Bytes frame(132, 0);
    for (size_t at : {58u, 63u, 127u}) {
        frame[at] = 0xE8;
        std::memcpy(&frame[at + 1], &v, 4);
    }
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(translated_stream(true, S, frame), 132, out), cab::kDecodeOk);
    Bytes expected = frame;
    for (uint32_t at : {58u, 63u}) {
        const uint32_t relative = v - at;
        std::memcpy(&expected[at + 1], &relative, 4);
    }
    EXPECT_EQ(out, expected);
}

TEST(LzxCalls, OnlyInTheFirst32768FramesAfterAReset) {
    // One uncompressed block of 32769 frames of 16 bytes, each with a call
    // at offset 1 whose operand is 0: translated to -(position + 1) up to
    // frame 32767, left alone in frame 32768, translated again after a reset.
    constexpr uint32_t kFrame = 16;
    const Bytes frame = call_at(1, 0, kFrame);
    const Bytes first = translated_stream(true, 1u << 20, frame, kFrame * 32768);
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(first, kFrame, out), cab::kDecodeOk);
    EXPECT_EQ(operand_at(out, 1), 0u - 1);
    for (uint32_t i = 1; i <= 32768; ++i) {
        out.clear();
        ASSERT_EQ(d.frame(frame, kFrame, out), cab::kDecodeOk) << "frame " << i;
        const uint32_t expected = i < 32768 ? 0u - (i * kFrame + 1) : 0u;
        if (operand_at(out, 1) != expected) FAIL() << "frame " << i;
    }
    ASSERT_EQ(d.reset(), cab::kDecodeOk);
    out.clear();
    ASSERT_EQ(d.frame(first, kFrame, out), cab::kDecodeOk);
    EXPECT_EQ(operand_at(out, 1), 0u - 1);
}

// ---------------------------------------------------------------------------
// Invalid streams

struct InvalidStream {
    std::string name;
    Bytes block;
    uint32_t size;  // bytes asked for
};

// Streams that must fail as data errors, each one frame of a fresh folder
// with window exponent 15.
std::vector<InvalidStream> invalid_streams() {
    std::vector<InvalidStream> cases;
    auto stream_with_main_tree = [](const Bytes &main, uint32_t block_size, unsigned symbol_bits) {
        Trees previous;
        Bits b;
        b.put(0, 1);
        put_header(b, kBlockVerbatim, block_size);
        put_trees(b, previous, main, kNoLengths);
        return b.put(0b01, symbol_bits).put(0, 32).bytes();
    };
    for (unsigned type : {0u, 4u, 5u, 6u, 7u}) {
        Bits b;
        b.put(0, 1);
        put_header(b, type, 10);
        cases.push_back({"block type " + std::to_string(type), b.put(0, 32).bytes(), 10});
    }
    cases.push_back(
        {"over-full main tree",
         stream_with_main_tree(lengths_of(kMain15, {{'a', 1}, {'b', 1}, {'c', 1}}), 2, 0), 2});
    cases.push_back(
        {"incomplete main tree", stream_with_main_tree(lengths_of(kMain15, {{'a', 1}}), 2, 0), 2});
    Bits pretree;
    pretree.put(0, 1);
    put_header(pretree, kBlockVerbatim, 2);
    put_pretree(pretree, lengths_of(20, {{0, 1}}));
    cases.push_back({"incomplete pretree", pretree.put(0, 32).bytes(), 2});
    // 'x' (code 0) and a 9-byte match of distance 1 (code 1): 'x' then the
    // match is 10 bytes, past a frame of 5 whether the block ends there or not.
    const Bytes x_and_match = lengths_of(kMain15, {{'x', 1}, {match_symbol(3, 9), 1}});
    cases.push_back({"match past the block", stream_with_main_tree(x_and_match, 5, 2), 5});
    cases.push_back({"match past the frame", stream_with_main_tree(x_and_match, 20, 2), 5});
    // Four literals in a block of 200: the input runs out.
    Trees previous;
    cases.push_back({"input exhausted by symbols",
                     verbatim_ab_stream(previous, std::string(200, 'a')).bytes(), 200});
    cases.back().block.resize(cases.back().block.size() - 20);
    const Bytes whole = verbatim_ab_stream(previous, "abab").bytes();
    cases.push_back({"input exhausted by trees", Bytes(whole.begin(), whole.begin() + 40), 4});
    for (unsigned present : {0u, 8u, 11u}) {
        Bits u;
        u.put(0, 1);
        put_header(u, kBlockUncompressed, 1);
        cases.push_back({"R0-R2 in " + std::to_string(present) + " bytes",
                         u.align().raw(Bytes(present, 1)).bytes(), 1});
    }
    return cases;
}

TEST(LzxInvalid, StreamsAreDataErrors) {
    for (const auto &c : invalid_streams()) {
        Decoder d;
        Bytes out;
        EXPECT_EQ(d.frame(c.block, c.size, out), cab::kDecodeDataError) << c.name;
    }
}

TEST(LzxInvalid, FrameBeyondTheWindowEnd) {
    // 100 bytes leave the window position at 100; a full frame would then
    // end 100 bytes past the 32768-byte window.
    Bits b;
    b.put(0, 1);
    put_header(b, kBlockUncompressed, 100 + 32768);
    b.align().le32(1).le32(1).le32(1).raw(Bytes(100, 7));
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(b.bytes(), 100, out), cab::kDecodeOk);
    EXPECT_EQ(d.frame(Bytes(32768, 7), 32768, out), cab::kDecodeDataError);
}

// ---------------------------------------------------------------------------
// Round trips through the compressor

TEST(LzxRoundTrip, EveryWindowExponent) {
    const Bytes data = sample(150000);
    for (unsigned e = 15; e <= 21; ++e) {
        cabwriter::LzxOptions o;
        o.window_exponent = e;
        EXPECT_EQ(round_trip(data, o), data) << "exponent " << e;
    }
}

TEST(LzxRoundTrip, EachBlockTypeForced) {
    const Bytes data = sample(120001, 3);
    using cabwriter::LzxBlockChoice;
    for (auto type : {LzxBlockChoice::Verbatim, LzxBlockChoice::Aligned,
                      LzxBlockChoice::Uncompressed, LzxBlockChoice::ByCost}) {
        // Blocks of an odd size that cross frames and end inside them.
        for (uint32_t block_size : {32768u, 9999u, 100000u}) {
            cabwriter::LzxOptions o;
            o.block_type = type;
            o.block_size = block_size;
            EXPECT_EQ(round_trip(data, o), data) << "type " << int(type) << " block " << block_size;
        }
    }
}

TEST(LzxRoundTrip, IncompressibleFramesGoIntoUncompressedBlocks) {
    // Blocks follow the content: random frames between compressible ones
    // are stored, and the compressible frames after them still decode with
    // the repeated offsets carried through the stored blocks' headers. The
    // last 100 bytes of frame 3 and the first 64 of frame 4 repeat what lies
    // 1000 bytes before them, so frame 4 starts with a repeated-offset match
    // that only the offsets stored after frame 3 make right.
    const Bytes text = sample(32768, 11);
    std::mt19937 rng(12);
    Bytes data;
    for (const bool random : {false, false, true, true, false, true, false}) {
        if (!random) data.insert(data.end(), text.begin(), text.end());
        for (int i = 0; random && i < 32768; ++i) data.push_back(static_cast<uint8_t>(rng()));
    }
    for (size_t i = 4 * 32768 - 100; i < 4 * 32768 + 64; ++i) data[i] = data[i - 1000];
    const auto frames = cabwriter::make_lzx_compressor(cabwriter::LzxOptions{})->compress(data);
    ASSERT_EQ(frames.size(), 7u);
    EXPECT_EQ(decode_all(frames, 21), data);
    for (size_t i : {2u, 3u, 5u}) EXPECT_GE(frames[i].bytes.size(), 32768u) << "frame " << i;
    for (size_t i : {4u, 6u}) EXPECT_LT(frames[i].bytes.size(), 4096u) << "frame " << i;
}

TEST(LzxRoundTrip, CallsTranslateToRepeatingOperands) {
    // Calls to one absolute target have different relative operands; after
    // translation they repeat, which must show in the size.
    Bytes code;
    for (uint32_t i = 0; code.size() < 65536; ++i) {
        const uint32_t rel = 0x3000 - static_cast<uint32_t>(code.size());
        code.insert(code.end(), {0x55, 0xE8, uint8_t(rel), uint8_t(rel >> 8), uint8_t(rel >> 16),
                                 uint8_t(rel >> 24), uint8_t(0x40 + i % 8)});
    }
    size_t sizes[2];
    for (bool e8 : {false, true}) {
        const auto frames = cabwriter::make_lzx_compressor(21, e8)->compress(code);
        sizes[e8] = 0;
        for (const auto &f : frames) sizes[e8] += f.bytes.size();
        EXPECT_EQ(decode_all(frames, 21), code);
    }
    EXPECT_LT(sizes[1] * 2, sizes[0]);
}

TEST(LzxRoundTrip, MatchSourceStraddlesTheWindowEnd) {
    // A 100-byte period over several passes of a 32 KiB window: at the start
    // of each pass the matches' sources begin before the window's end and
    // continue through the mirror.
    Bytes data(5 * 32768 + 77);
    std::mt19937 rng(5);
    for (size_t i = 0; i < data.size(); ++i) data[i] = i < 100 ? uint8_t(rng()) : data[i - 100];
    for (auto type : {cabwriter::LzxBlockChoice::Verbatim, cabwriter::LzxBlockChoice::Aligned}) {
        cabwriter::LzxOptions o;
        o.window_exponent = 15;
        o.block_type = type;
        EXPECT_EQ(round_trip(data, o), data);
    }
}

TEST(LzxHandcrafted, MatchSourceJustAheadReadsTheOldBytes) {
    // R0 = W - 3 from an uncompressed block that fills the window and 300
    // bytes more; then a 17-byte slot-0 match at position 300 copies from 3
    // bytes ahead: the bytes of the previous pass, 303 to 319.
    constexpr uint32_t kWindow = 32768;
    Bytes history(kWindow + 300);
    for (size_t i = 0; i < history.size(); ++i) history[i] = static_cast<uint8_t>(i * 7 % 251);
    Bits first;
    first.put(0, 1);
    put_header(first, kBlockUncompressed, kWindow + 300);
    first.align()
        .le32(kWindow - 3)
        .le32(1)
        .le32(1)
        .raw(Bytes(history.begin(), history.begin() + kWindow));
    Bits second;
    second.raw(Bytes(history.begin() + kWindow, history.end()));
    put_header(second, kBlockVerbatim, 17);
    Trees previous;
    const Bytes length_tree = lengths_of(kLengthTreeSize, {{17 - 9, 1}, {18 - 9, 1}});
    put_trees(second, previous, lengths_of(kMain15, {{'z', 1}, {match_symbol(0, 17), 1}}),
              length_tree);
    second.put(1, 1).put(0, 1);  // the match, then length symbol 8
    Decoder d;
    Bytes out;
    ASSERT_EQ(d.frame(first.bytes(), kWindow, out), cab::kDecodeOk);
    out.clear();
    ASSERT_EQ(d.frame(second.bytes(), 317, out), cab::kDecodeOk);
    EXPECT_EQ(Bytes(out.begin() + 300, out.end()),
              Bytes(history.begin() + 303, history.begin() + 320));
}

TEST(LzxRoundTrip, StateCarriesAcrossFramesAndResets) {
    const Bytes data = sample(70000, 9);
    const auto frames = cabwriter::make_lzx_compressor(16, true)->compress(data);
    Decoder d(16);
    for (int pass = 0; pass < 2; ++pass) {
        Bytes out;
        for (const auto &f : frames)
            ASSERT_EQ(d.frame(f.bytes, f.uncompressed_size, out), cab::kDecodeOk);
        EXPECT_EQ(out, data) << "pass " << pass;
        ASSERT_EQ(d.reset(), cab::kDecodeOk);
    }
}

TEST(LzxRoundTrip, SmallFolders) {
    for (size_t size : {1u, 2u, 5u, 6u, 7u, 11u, 300u}) {
        const Bytes data = sample(size, static_cast<uint32_t>(size));
        EXPECT_EQ(round_trip(data, {}), data) << size << " bytes";
    }
    EXPECT_TRUE(cabwriter::make_lzx_compressor(21, true)->compress({}).empty());
    EXPECT_THROW(cabwriter::make_lzx_compressor(14, true), std::invalid_argument);
    EXPECT_THROW(cabwriter::make_lzx_compressor(22, true), std::invalid_argument);
}

// ---------------------------------------------------------------------------
// The near-optimal parse (LzxOptions::best)

size_t compressed_size(const std::vector<cabwriter::CompressedBlock> &frames) {
    size_t size = 0;
    for (const auto &f : frames) size += f.bytes.size();
    return size;
}

cabwriter::LzxOptions best_options(unsigned window_exponent = 21) {
    cabwriter::LzxOptions o;
    o.window_exponent = window_exponent;
    o.best = true;
    return o;
}

// Records of a fixed layout whose fields change now and then: most of it is
// matches at the record's distance resumed after a changed byte, which only
// a repeated offset codes cheaply.
Bytes records(size_t size) {
    std::mt19937 rng(21);
    Bytes out;
    Bytes record(37);
    for (auto &b : record) b = static_cast<uint8_t>(rng());
    while (out.size() < size) {
        for (int field = 0; field < 3; ++field) record[rng() % record.size()] = uint8_t(rng());
        out.insert(out.end(), record.begin(), record.end());
    }
    out.resize(size);
    return out;
}

TEST(LzxBest, EveryWindowExponentRoundTripsAndBeatsTheLazyParse) {
    const Bytes data = sample(150000);
    for (unsigned e = 15; e <= 21; ++e) {
        const auto frames = cabwriter::make_lzx_compressor(best_options(e))->compress(data);
        EXPECT_EQ(decode_all(frames, e), data) << "exponent " << e;
        const auto lazy = cabwriter::make_lzx_compressor(e, true)->compress(data);
        EXPECT_LT(compressed_size(frames), compressed_size(lazy)) << "exponent " << e;
    }
}

TEST(LzxBest, RepeatedOffsetHeavyContent) {
    const Bytes data = records(200000);
    const auto best = cabwriter::make_lzx_compressor(best_options(16))->compress(data);
    EXPECT_EQ(decode_all(best, 16), data);
    const auto lazy = cabwriter::make_lzx_compressor(16, true)->compress(data);
    EXPECT_LT(compressed_size(best), compressed_size(lazy));
}

TEST(LzxBest, IncompressibleAndTinyContent) {
    std::mt19937 rng(4);
    Bytes noise(100000);
    for (auto &b : noise) b = static_cast<uint8_t>(rng());
    const auto frames = cabwriter::make_lzx_compressor(best_options())->compress(noise);
    EXPECT_EQ(decode_all(frames, 21), noise);
    EXPECT_LT(compressed_size(frames), noise.size() + 64);
    for (size_t size : {1u, 2u, 3u, 258u, 32769u}) {
        const Bytes data = sample(size, static_cast<uint32_t>(size));
        EXPECT_EQ(round_trip(data, best_options()), data) << size << " bytes";
    }
}

TEST(LzxBest, FixedBlocksThatCrossFramesAndEachBlockType) {
    // Block ends inside frames cut the parse where no match may cross.
    Bytes data = sample(120001, 3);
    const Bytes more = records(50000);
    data.insert(data.end(), more.begin(), more.end());
    using cabwriter::LzxBlockChoice;
    for (auto type : {LzxBlockChoice::Verbatim, LzxBlockChoice::Aligned, LzxBlockChoice::ByCost}) {
        for (uint32_t block_size : {9999u, 100000u}) {
            cabwriter::LzxOptions o = best_options(15);
            o.block_type = type;
            o.block_size = block_size;
            EXPECT_EQ(round_trip(data, o), data) << "type " << int(type) << " block " << block_size;
        }
    }
}

TEST(LzxBest, EachFolderStartsAfresh) {
    // The counts that price a piece come from the one before; a new folder
    // must not inherit them, or the same input would compress differently.
    const Bytes first = records(70000), second = sample(70000, 5);
    auto compressor = cabwriter::make_lzx_compressor(best_options());
    const auto alone = compressor->compress(second);
    compressor->compress(first);
    const auto after = compressor->compress(second);
    ASSERT_EQ(alone.size(), after.size());
    for (size_t i = 0; i < alone.size(); ++i) EXPECT_EQ(alone[i].bytes, after[i].bytes) << i;
}

// ---------------------------------------------------------------------------
// Through the engine

cabwriter::Folder lzx_folder(unsigned window_exponent, std::vector<cabwriter::FileEntry> files,
                             std::shared_ptr<cabwriter::FolderCompressor> compressor = nullptr) {
    cabwriter::Folder folder;
    folder.method.kind = cabwriter::MethodKind::Lzx;
    folder.method.window_exponent = window_exponent;
    folder.files = std::move(files);
    folder.compressor = std::move(compressor);
    return folder;
}

TEST(LzxEngine, ExtractsFoldersAndAFolderSpanningACabinetSet) {
    cabwriter::LzxOptions odd_blocks;
    odd_blocks.window_exponent = 15;
    odd_blocks.block_size = 9999;
    const std::vector<cabwriter::Folder> folders = {
        lzx_folder(21, {cabtest::file_of("text", sample(150000, 1)), cabtest::file_of("empty", {}),
                        cabtest::file_of("more", sample(70000, 2))}),
        lzx_folder(15, {cabtest::file_of("small window", sample(90000, 3))},
                   cabwriter::make_lzx_compressor(odd_blocks)),
    };
    for (uint32_t max_size : {0u, 30000u}) cabtest::expect_round_trip(folders, max_size);
}

TEST(LzxEngine, ExtractsFoldersOfTheBestParse) {
    auto folder = lzx_folder(17, {cabtest::file_of("text", sample(150000, 1)),
                                  cabtest::file_of("records", records(60000))});
    folder.method.lzx_best = true;
    for (uint32_t max_size : {0u, 30000u}) cabtest::expect_round_trip({folder}, max_size);
}

TEST(LzxEngine, InvalidStreamsAndWindowsFailWithDecodeError) {
    auto cases = invalid_streams();
    const Bytes valid = translated_stream(false, 0, Bytes(10, 'v'));
    for (unsigned e : {14u, 22u})
        cases.push_back({"window exponent " + std::to_string(e), valid, 10});
    for (const auto &c : cases) {
        const unsigned window_exponent =
            c.name.starts_with("window") ? std::stoul(c.name.substr(16)) : 15;
        cabtest::MemoryHost host;
        const auto blocks = std::make_shared<cabtest::PresetBlocks>(
            std::vector<cabwriter::CompressedBlock>{{c.block, static_cast<uint16_t>(c.size)}});
        cabtest::add_cabinets(
            host, cabwriter::write_cabinet_set({lzx_folder(
                      window_exponent, {cabtest::file_of("f", Bytes(c.size, 'v'))}, blocks)}));
        cabtest::Extraction x(host);
        EXPECT_FALSE(x.copy("cabinet1.cab")) << c.name;
        EXPECT_EQ(x.error.code, CAB_ERR_DECODE) << c.name;
    }
}

}  // namespace
