#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cab/mszip.h"
#include "cab/mszip_tables.h"
#include "cab/tests/extraction.h"
#include "cab/writer/mszip_compressor.h"
#include "cab/writer/writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

void *test_alloc(uint32_t size) { return std::malloc(size); }
void test_free(void *block) { std::free(block); }

// Drives the decoder as the extraction driver does: one instance, one
// 32768-byte output buffer (zero-filled once) used for every block.
class FolderDecoder {
public:
    FolderDecoder() : buffer_(cab::kMaxBlockSize, 0) {
        const cab::HostCallbacks host{test_alloc, test_free, nullptr, nullptr,
                                      nullptr,    nullptr,   nullptr};
        EXPECT_EQ(cab::kMszipDecoder.create(cab::kMaxBlockSize, 0, host, 0, &instance_),
                  cab::kDecodeOk);
    }
    ~FolderDecoder() { cab::kMszipDecoder.destroy(instance_); }

    // Decodes one data block with the given output limit; the produced bytes
    // are in output().
    int decode(const Bytes &block, uint32_t limit = cab::kMaxBlockSize) {
        produced_ = limit;
        return cab::kMszipDecoder.decode(instance_, block.data(),
                                         static_cast<uint32_t>(block.size()), buffer_.data(),
                                         &produced_);
    }
    Bytes output() const { return {buffer_.begin(), buffer_.begin() + produced_}; }
    uint32_t produced() const { return produced_; }
    void reset() { ASSERT_EQ(cab::kMszipDecoder.reset(instance_), cab::kDecodeOk); }
    Bytes &buffer() { return buffer_; }

    // Decodes a writer folder; every block must yield its uncompressed size.
    Bytes decode_folder(const std::vector<cabwriter::CompressedBlock> &blocks) {
        Bytes out;
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(decode(blocks[i].bytes), cab::kDecodeOk) << "block " << i;
            EXPECT_EQ(produced_, blocks[i].uncompressed_size) << "block " << i;
            const Bytes part = output();
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    }

private:
    Bytes buffer_;
    void *instance_ = nullptr;
    uint32_t produced_ = 0;
};

// Writes a Deflate stream least significant bit first, after "CK".
class BitWriter {
public:
    BitWriter() : bytes_{'C', 'K'} {}
    BitWriter &bits(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) put_bit((value >> i) & 1);
        return *this;
    }
    // A Huffman code: its first (most significant) bit is written first.
    BitWriter &code(uint32_t value, unsigned length) {
        for (unsigned i = length; i-- > 0;) put_bit((value >> i) & 1);
        return *this;
    }
    BitWriter &align() {
        used_ = 0;
        return *this;
    }
    BitWriter &raw(const Bytes &data) {
        align();
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    Bytes done() const { return bytes_; }

private:
    void put_bit(uint32_t bit) {
        if (used_ == 0) bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(bit << used_);
        used_ = (used_ + 1) % 8;
    }
    Bytes bytes_;
    unsigned used_ = 0;
};

// Fixed-code symbols, as the format defines them.
void fixed_literal(BitWriter &w, unsigned symbol) {
    if (symbol < 144)
        w.code(0x30 + symbol, 8);
    else if (symbol < 256)
        w.code(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        w.code(symbol - 256, 7);
    else
        w.code(0xC0 + symbol - 280, 8);
}
void fixed_block_header(BitWriter &w, bool final) { w.bits(final, 1).bits(1, 2); }
// A match whose extra bits are all zero: the length symbol, its extra bits,
// the distance symbol, its extra bits.
void fixed_match(BitWriter &w, unsigned length_symbol, unsigned length_extra_bits,
                 unsigned distance_symbol, unsigned distance_extra_bits) {
    fixed_literal(w, length_symbol);
    w.bits(0, length_extra_bits).code(distance_symbol, 5).bits(0, distance_extra_bits);
}

Bytes stored_block(const Bytes &data, bool final) {
    const auto n = static_cast<uint16_t>(data.size());
    return BitWriter()
        .bits(final, 1)
        .bits(0, 2)
        .raw({static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
              static_cast<uint8_t>(~n >> 8)})
        .raw(data)
        .done();
}

// Canonical codes from code lengths.
std::vector<uint32_t> canonical_codes(const std::vector<uint8_t> &lengths) {
    unsigned count[16] = {};
    for (uint8_t len : lengths) ++count[len];
    count[0] = 0;
    uint32_t next[16] = {};
    for (unsigned len = 1, code = 0; len < 16; ++len)
        next[len] = code = (code + count[len - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

// A dynamic block header declaring `hlit` literal/length and `hdist` distance
// codes. The code-length code gives lengths 0-13 4 bits, lengths 14 and 15
// and the zero runs 17 and 18 5 bits.
struct DynamicCode {
    std::vector<uint8_t> literal_lengths, distance_lengths;
    std::vector<uint32_t> literal_codes, distance_codes;
};
DynamicCode dynamic_header(BitWriter &w, bool final, unsigned hlit, unsigned hdist,
                           std::vector<uint8_t> literal_lengths,
                           std::vector<uint8_t> distance_lengths) {
    literal_lengths.resize(hlit);
    distance_lengths.resize(hdist);
    const std::vector<uint8_t> cl_lengths = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
                                             4, 4, 4, 4, 5, 5, 0, 5, 5};
    const auto cl_codes = canonical_codes(cl_lengths);
    const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.bits(final, 1).bits(2, 2).bits(hlit - 257, 5).bits(hdist - 1, 5).bits(19 - 4, 4);
    for (uint8_t symbol : order) w.bits(cl_lengths[symbol], 3);
    std::vector<uint8_t> all = literal_lengths;
    all.insert(all.end(), distance_lengths.begin(), distance_lengths.end());
    for (size_t i = 0; i < all.size();) {
        size_t run = 0;
        while (i + run < all.size() && all[i + run] == 0 && run < 138) ++run;
        if (run >= 11) {
            w.code(cl_codes[18], 5).bits(static_cast<uint32_t>(run - 11), 7);
        } else if (run >= 3) {
            w.code(cl_codes[17], 5).bits(static_cast<uint32_t>(run - 3), 3);
        } else {
            run = 1;
            w.code(cl_codes[all[i]], cl_lengths[all[i]]);
        }
        i += run;
    }
    return {literal_lengths, distance_lengths, canonical_codes(literal_lengths),
            canonical_codes(distance_lengths)};
}
void emit(BitWriter &w, const std::vector<uint8_t> &lengths, const std::vector<uint32_t> &codes,
          unsigned symbol) {
    w.code(codes[symbol], lengths[symbol]);
}

// Literal 'A' and end of block, each a 1-bit code.
std::vector<uint8_t> two_symbol_literals() {
    std::vector<uint8_t> lengths(257, 0);
    lengths['A'] = 1;
    lengths[256] = 1;
    return lengths;
}

Bytes dynamic_block_with_counts(unsigned hlit, unsigned hdist) {
    BitWriter w;
    const DynamicCode c = dynamic_header(w, true, hlit, hdist, two_symbol_literals(), {1, 1});
    emit(w, c.literal_lengths, c.literal_codes, 'A');
    emit(w, c.literal_lengths, c.literal_codes, 256);
    return w.done();
}

TEST(MszipBlocks, EmptyFinalStoredBlockProducesNothing) {
    FolderDecoder d;
    ASSERT_EQ(d.decode(stored_block({}, true)), cab::kDecodeOk);
    EXPECT_EQ(d.produced(), 0u);
}

TEST(MszipBlocks, MatchesReachIntoThePreviousBlockAndWrap) {
    FolderDecoder d;
    Bytes first(cab::kMaxBlockSize);
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i * 7 + i / 251);
    ASSERT_EQ(d.decode(stored_block(first, true)), cab::kDecodeOk);

    // Three literals, then length 5 at distance 5: two bytes from the end of
    // the first block, then the three new ones (the source wraps).
    BitWriter w;
    fixed_block_header(w, true);
    for (uint8_t c : {'x', 'y', 'z'}) fixed_literal(w, c);
    fixed_match(w, 259, 0, 4, 1);  // length 5, distance 5
    fixed_literal(w, 256);
    ASSERT_EQ(d.decode(w.done(), 8), cab::kDecodeOk);
    EXPECT_EQ(d.output(), (Bytes{'x', 'y', 'z', first[32766], first[32767], 'x', 'y', 'z'}));
}

TEST(MszipBlocks, DistanceBeforeTheFolderStartReadsZeros) {
    FolderDecoder d;
    std::fill(d.buffer().begin(), d.buffer().end(), 0xAA);  // stale bytes of an earlier folder
    BitWriter w;
    fixed_block_header(w, true);
    fixed_literal(w, 'x');
    fixed_match(w, 259, 0, 4, 1);  // length 5, distance 5: four bytes before the start, then 'x'
    fixed_literal(w, 256);
    const Bytes block = w.done();
    ASSERT_EQ(d.decode(block), cab::kDecodeOk);
    const Bytes expected = {'x', 0, 0, 0, 0, 'x'};
    EXPECT_EQ(d.output(), expected);

    // A new folder in the same buffer may not see the old folder's bytes.
    ASSERT_EQ(d.decode(stored_block(Bytes(cab::kMaxBlockSize, 0x55), true)), cab::kDecodeOk);
    d.reset();
    ASSERT_EQ(d.decode(block), cab::kDecodeOk);
    EXPECT_EQ(d.output(), expected);

    // Nor after a short block: positions it did not write still hold 0x55.
    d.reset();
    ASSERT_EQ(d.decode(stored_block(Bytes(100, 'b'), true)), cab::kDecodeOk);
    BitWriter far;
    fixed_block_header(far, true);
    fixed_match(far, 257, 0, 15, 6);  // length 3, distance 193
    fixed_literal(far, 256);
    ASSERT_EQ(d.decode(far.done()), cab::kDecodeOk);
    EXPECT_EQ(d.output(), Bytes(3, 0));
}

TEST(MszipBlocks, StreamWithoutFinalBlockIsJudgedByWhatItProduced) {
    // A non-final stored block that fills the output ends the data block.
    FolderDecoder d;
    ASSERT_EQ(d.decode(stored_block(Bytes(cab::kMaxBlockSize, 7), false)), cab::kDecodeOk);
    EXPECT_EQ(d.produced(), cab::kMaxBlockSize);

    // A dynamic code in which zero bits mean 'A' runs on through the padding
    // up to the output limit.
    BitWriter w;
    const DynamicCode c = dynamic_header(w, false, 257, 1, two_symbol_literals(), {1});
    emit(w, c.literal_lengths, c.literal_codes, 'A');
    ASSERT_EQ(d.decode(w.done(), 1000), cab::kDecodeOk);
    EXPECT_EQ(d.output(), Bytes(1000, 'A'));
}

TEST(MszipBlocks, OutputLimitStopsInTheMiddleOfAMatch) {
    FolderDecoder d;
    BitWriter w;
    fixed_block_header(w, true);
    fixed_literal(w, 'a');
    fixed_match(w, 284, 5, 0, 0);  // length 227, distance 1
    fixed_literal(w, 256);
    ASSERT_EQ(d.decode(w.done(), 100), cab::kDecodeOk);
    EXPECT_EQ(d.output(), Bytes(100, 'a'));
}

TEST(MszipDynamicCodes, AtMost286LiteralAnd30DistanceCodes) {
    FolderDecoder d;
    for (auto [hlit, hdist] : {std::pair{286u, 30u}, {257u, 1u}}) {
        ASSERT_EQ(d.decode(dynamic_block_with_counts(hlit, hdist)), cab::kDecodeOk)
            << hlit << " " << hdist;
        EXPECT_EQ(d.output(), Bytes{'A'});
    }
    for (auto [hlit, hdist] : {std::pair{287u, 30u}, {288u, 30u}, {286u, 31u}, {286u, 32u}})
        EXPECT_EQ(d.decode(dynamic_block_with_counts(hlit, hdist)), cab::kDecodeDataError)
            << hlit << " " << hdist;
}

TEST(MszipDynamicCodes, SingleDistanceCodeOfLengthOne) {
    // Literals a-d, then length 8 at distance 4 (distance code 3, the only one).
    std::vector<uint8_t> literal_lengths(263, 0);
    for (unsigned s : {'a', 'b'}) literal_lengths[s] = 2;
    for (unsigned s : {unsigned{'c'}, unsigned{'d'}, 256u, 262u}) literal_lengths[s] = 3;
    BitWriter w;
    const DynamicCode c = dynamic_header(w, true, 263, 4, literal_lengths, {0, 0, 0, 1});
    for (unsigned s : {unsigned{'a'}, unsigned{'b'}, unsigned{'c'}, unsigned{'d'}, 262u})
        emit(w, c.literal_lengths, c.literal_codes, s);
    emit(w, c.distance_lengths, c.distance_codes, 3);
    emit(w, c.literal_lengths, c.literal_codes, 256);
    FolderDecoder d;
    ASSERT_EQ(d.decode(w.done()), cab::kDecodeOk);
    const std::string expected = "abcdabcdabcd";
    EXPECT_EQ(d.output(), Bytes(expected.begin(), expected.end()));
}

TEST(MszipDynamicCodes, LongCodesSpreadOverManySubTablesFit) {
    // Codes of lengths 1-6, 8 and 9 leave five 9-bit prefixes: one holds
    // lengths 10-15 and 15, four hold 64 codes of length 15 each. The table
    // needs 512 + 5 * 64 = 832 entries.
    std::vector<uint8_t> lengths(286, 0);
    const uint8_t short_lengths[] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 15};
    std::copy(std::begin(short_lengths), std::end(short_lengths), lengths.begin() + 'A');
    // 256 codes of length 15: the 29 length codes, 176 + 51 literals.
    std::fill(lengths.begin() + 257, lengths.begin() + 286, 15);
    std::fill(lengths.begin() + 80, lengths.begin() + 256, 15);
    std::fill(lengths.begin(), lengths.begin() + 51, 15);
    lengths[256] = lengths['A' + 14];  // end of block takes the second 15-bit code
    lengths['A' + 14] = 0;
    BitWriter w;
    const DynamicCode c = dynamic_header(w, true, 286, 1, lengths, {1});
    emit(w, c.literal_lengths, c.literal_codes, 'A');
    emit(w, c.literal_lengths, c.literal_codes, 256);
    FolderDecoder d;
    ASSERT_EQ(d.decode(w.done()), cab::kDecodeOk);
    EXPECT_EQ(d.output(), Bytes{'A'});
}

// A distance code of 30 symbols whose table needs the most entries. The 1-,
// 2- and 3-bit codes leave eight 6-bit prefixes, each with a sub-table: six
// of 2 entries for twelve 7-bit codes, one of 4, and one of 64 for the codes
// of 8-15 bits, under which two 12-bit prefixes hold the 13- to 15-bit codes
// in tables of 2 and 8 entries: 64 + 12 + 4 + 64 + 2 + 8 = 154 entries.
// Symbols 0 and 1 take the 15-bit codes: distances 1 and 2.
std::vector<uint8_t> deepest_distance_code() {
    std::vector<uint8_t> lengths(30);
    const std::pair<unsigned, uint8_t> runs[] = {{2, 15}, {1, 14}, {3, 13}, {1, 11},
                                                 {1, 10}, {1, 9},  {5, 8},  {13, 7},
                                                 {1, 3},  {1, 2},  {1, 1}};
    auto at = lengths.begin();
    for (const auto &[count, length] : runs) at = std::fill_n(at, count, length);
    return lengths;
}

// Literals 'a' and 'b', end of block and the length-3 code, 2 bits each, with
// the deepest distance code: "ab", then length 3 at distances 2, 1 and 5
// (distance symbols 1, 0 and 4, the last with one extra bit, 0).
Bytes block_with_deepest_distance_code() {
    std::vector<uint8_t> literal_lengths(258, 0);
    for (unsigned s : {unsigned{'a'}, unsigned{'b'}, 256u, 257u}) literal_lengths[s] = 2;
    BitWriter w;
    const DynamicCode c =
        dynamic_header(w, true, 258, 30, literal_lengths, deepest_distance_code());
    emit(w, c.literal_lengths, c.literal_codes, 'a');
    emit(w, c.literal_lengths, c.literal_codes, 'b');
    for (unsigned distance_symbol : {1u, 0u, 4u}) {
        emit(w, c.literal_lengths, c.literal_codes, 257);
        emit(w, c.distance_lengths, c.distance_codes, distance_symbol);
        if (distance_symbol == 4) w.bits(0, 1);
    }
    emit(w, c.literal_lengths, c.literal_codes, 256);
    return w.done();
}
const std::string kDeepestDistanceCodeOutput = "ababaaaabaa";

TEST(MszipDynamicCodes, DeepestDistanceCodeDecodes) {
    FolderDecoder d;
    ASSERT_EQ(d.decode(block_with_deepest_distance_code()), cab::kDecodeOk);
    EXPECT_EQ(d.output(),
              Bytes(kDeepestDistanceCodeOutput.begin(), kDeepestDistanceCodeOutput.end()));
}

// Calls visit(codes_of_length) for every way to complete a prefix code whose
// codes shorter than `length` bits, counted in codes_of_length, leave `open`
// codes of `length` bits unused, with at most `left` more codes of up to 15
// bits. A code is given by its number of codes of each length: that decides
// the canonical codes, and with them the table, whichever symbols have them.
template <typename Visit>
void for_each_completion(unsigned (&codes_of_length)[cab::mszip::kMaxCodeLength + 1],
                         unsigned length, unsigned open, unsigned left, Visit &visit) {
    for (unsigned n = 0; n <= std::min(open, left); ++n) {
        codes_of_length[length] = n;
        // Each code still open needs at least one more symbol.
        const unsigned still_open = open - n;
        if (still_open == 0)
            visit(codes_of_length);
        else if (length < cab::mszip::kMaxCodeLength && still_open <= left - n)
            for_each_completion(codes_of_length, length + 1, 2 * still_open, left - n, visit);
    }
    codes_of_length[length] = 0;
}

// Builds the distance table of a code given by its lengths; the number of
// entries used, 0 when the builder refuses the code.
unsigned distance_table_entries(const uint8_t *lengths, unsigned count) {
    using namespace cab::mszip;
    static std::vector<HuffEntry> table(1u << kMaxCodeLength);
    unsigned root_bits = 0;
    return build_table<distance_entry>(lengths, count, kDistanceLookupBits, table.data(),
                                       static_cast<unsigned>(table.size()), &root_bits);
}

// A complete code needs as many entries as the code that has the fewest
// codes of up to 6 bits (the root width) leaving the same root entries open:
// short codes fill root entries directly, and the longer ones go to
// sub-tables under the open entries, the last ones, in the same order either
// way. So for each number of open root entries the test takes the fewest
// short codes (one per binary digit of the entries they fill) and builds
// every completion with the symbols left. Codes of at most 6 bits need at
// most 64 entries.
TEST(MszipTableCapacity, EveryCompleteDistanceCodeFitsAndTheDeepestFillsTheTable) {
    using namespace cab::mszip;
    constexpr unsigned kRootEntries = 1u << kDistanceLookupBits;
    unsigned most = 0;
    auto build = [&](const unsigned(&codes_of_length)[kMaxCodeLength + 1]) {
        uint8_t lengths[kMaxDistanceCodes];
        unsigned count = 0;
        for (unsigned len = 1; len <= kMaxCodeLength; ++len)
            for (unsigned i = 0; i < codes_of_length[len]; ++i)
                lengths[count++] = static_cast<uint8_t>(len);
        const unsigned used = distance_table_entries(lengths, count);
        ASSERT_NE(used, 0u);
        most = std::max(most, used);
    };
    for (unsigned open = 1; open < kRootEntries; ++open) {
        unsigned codes_of_length[kMaxCodeLength + 1] = {};
        unsigned short_codes = 0;
        for (unsigned len = 1; len <= kDistanceLookupBits; ++len) {
            codes_of_length[len] = ((kRootEntries - open) >> (kDistanceLookupBits - len)) & 1;
            short_codes += codes_of_length[len];
        }
        if (open + short_codes <= kMaxDistanceCodes)
            for_each_completion(codes_of_length, kDistanceLookupBits + 1, 2 * open,
                                kMaxDistanceCodes - short_codes, build);
    }
    EXPECT_EQ(most, kDistanceTableCapacity);
    const std::vector<uint8_t> deepest = deepest_distance_code();
    EXPECT_EQ(distance_table_entries(deepest.data(), 30), kDistanceTableCapacity);
}

// Streams that must be refused with a data error and without touching
// anything outside the block's bytes and the output buffer.
std::vector<std::pair<std::string, Bytes>> invalid_streams() {
    const auto fixed_with = [](auto body) {
        BitWriter w;
        fixed_block_header(w, true);
        body(w);
        return w.done();
    };
    const auto dynamic_with = [](std::vector<uint8_t> literal_lengths,
                                 std::vector<uint8_t> distance_lengths) {
        BitWriter w;
        dynamic_header(w, true, 257, static_cast<unsigned>(distance_lengths.size()),
                       literal_lengths, distance_lengths);
        return w.bits(0, 16).done();
    };
    std::vector<uint8_t> oversubscribed = two_symbol_literals();
    oversubscribed['B'] = 1;
    std::vector<uint8_t> incomplete = two_symbol_literals();
    incomplete['A'] = 2;

    return {
        {"missing CK", {'C', 'X', 0x03, 0x00, 0x00}},
        {"only C", {'C'}},
        {"block type 3", BitWriter().bits(1, 1).bits(3, 2).bits(0, 13).done()},
        {"stored NLEN not the complement",
         BitWriter().bits(1, 1).bits(0, 2).raw({4, 0, 0xFB, 0xFE, 1, 2, 3, 4}).done()},
        {"stored LEN past the input",
         BitWriter().bits(1, 1).bits(0, 2).raw({5, 0, 0xFA, 0xFF, 1, 2, 3, 4}).done()},
        {"stored header cut short", BitWriter().bits(1, 1).bits(0, 2).raw({5, 0, 0xFA}).done()},
        {"fixed literal/length code 286", fixed_with([](BitWriter &w) { fixed_literal(w, 286); })},
        {"fixed literal/length code 287", fixed_with([](BitWriter &w) { fixed_literal(w, 287); })},
        {"fixed distance code 30", fixed_with([](BitWriter &w) { fixed_match(w, 257, 0, 30, 0); })},
        {"fixed distance code 31", fixed_with([](BitWriter &w) { fixed_match(w, 257, 0, 31, 0); })},
        {"padding read as end of block, then as a stored header",
         [] {
             BitWriter w;
             fixed_block_header(w, false);
             fixed_literal(w, 'a');
             return w.done();
         }()},
        {"over-subscribed literal code", dynamic_with(oversubscribed, {1, 1})},
        {"incomplete literal code", dynamic_with(incomplete, {1, 1})},
        {"empty literal/length code", dynamic_with({}, {1})},
        // Code-length code of one 1-bit symbol (18), then a run of 138 zeros
        // past 257 + 1 lengths: HCLEN 4 gives lengths for 16, 17, 18, 0.
        {"repeat past the code lengths", BitWriter()
                                             .bits(1, 1)
                                             .bits(2, 2)
                                             .bits(0, 5)
                                             .bits(0, 5)
                                             .bits(0, 4)
                                             .bits(0, 3)
                                             .bits(0, 3)
                                             .bits(1, 3)
                                             .bits(0, 3)
                                             .code(0, 1)
                                             .bits(127, 7)
                                             .code(0, 1)
                                             .bits(127, 7)
                                             .code(0, 1)
                                             .bits(0, 7)
                                             .done()},
        {"empty code-length code",
         BitWriter().bits(1, 1).bits(2, 2).bits(0, 14).bits(0, 12).bits(0, 16).done()},
    };
}

TEST(MszipInvalidStreams, AreRefusedAsDataErrors) {
    for (const auto &[name, block] : invalid_streams()) {
        FolderDecoder d;
        std::fill(d.buffer().begin(), d.buffer().end(), 0xEE);
        // Each block is its own allocation: the sanitizers see any read past it.
        EXPECT_EQ(d.decode(block), cab::kDecodeDataError) << name;
        if (name.starts_with("stored")) {
            EXPECT_EQ(d.buffer()[0], 0xEE) << name << ": copied before refusing";
        }
    }
}

TEST(MszipInstances, BadInstanceAndOversizedInputAreRefused) {
    FolderDecoder d;
    const Bytes too_big(cab::kMaxBlockSize + 13, 0);
    EXPECT_EQ(d.decode(too_big), cab::kDecodeBadParameter);

    uint32_t capacity = 0;
    EXPECT_EQ(cab::kMszipDecoder.size_query(0, 0, &capacity), cab::kDecodeOk);
    EXPECT_EQ(capacity, cab::kMaxBlockSize + 12);
    EXPECT_EQ(cab::kMszipDecoder.size_query(1000, 0, &capacity), cab::kDecodeOk);
    EXPECT_EQ(capacity, 1012u);

    uint32_t not_a_decoder[8] = {0x4349444C};  // "LDIC"
    uint32_t count = 10;
    const uint8_t block[] = {'C', 'K', 0x03, 0x00};
    EXPECT_EQ(cab::kMszipDecoder.decode(not_a_decoder, block, 4, d.buffer().data(), &count),
              cab::kDecodeBadInstance);
    EXPECT_EQ(cab::kMszipDecoder.reset(not_a_decoder), cab::kDecodeBadInstance);
    EXPECT_EQ(cab::kMszipDecoder.destroy(nullptr), cab::kDecodeBadInstance);
}

TEST(MszipInstances, CreateReportsNoMemoryAndFreesWhatItTook) {
    cabtest::MemoryHost host;
    const cab::HostCallbacks callbacks{cabtest::MemoryHost::alloc,
                                       cabtest::MemoryHost::free,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
    for (int fail_at : {1, 2}) {
        int calls = 0;
        host.fault = [&](cabtest::HostOp op) {
            return op == cabtest::HostOp::Alloc && ++calls == fail_at;
        };
        void *instance = &calls;
        EXPECT_EQ(cab::kMszipDecoder.create(cab::kMaxBlockSize, 0, callbacks, 0, &instance),
                  cab::kDecodeNoMemory);
        EXPECT_EQ(instance, nullptr);
        EXPECT_EQ(host.live_blocks(), 0u) << "allocation " << fail_at << " failing";
    }
}

// ---------------------------------------------------------------------------
// Round trips of zlib-compressed folders

Bytes content(const std::string &kind, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size);
    const std::string words[] = {"kana ", "typing ",  "cabinet ", "folder\n",
                                 "the ",  "decoder ", "of "};
    while (out.size() < size) {
        if (kind == "text") {
            const std::string &w = words[rng() % 7];
            out.insert(out.end(), w.begin(), w.end());
        } else if (kind == "runs") {
            out.insert(out.end(), 1 + rng() % 300, static_cast<uint8_t>(rng() % 3));
        } else if (kind == "random") {
            out.push_back(static_cast<uint8_t>(rng()));
        } else {  // binary: small values, repeated records
            const uint32_t v = rng() % 64;
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v * (i + 1)));
        }
    }
    out.resize(size);
    return out;
}

// Incompressible blocks that Deflate would grow past what the decoder takes
// are written stored; the decoder refuses an oversized block.
TEST(MszipRoundTrip, EveryStrategyAndContentDecodesToTheInput) {
    using cabwriter::DeflateStrategy;
    const std::pair<const char *, cabwriter::MszipOptions> settings[] = {
        {"default", {6, DeflateStrategy::Default}},
        {"best", {9, DeflateStrategy::Default}},
        {"stored", {0, DeflateStrategy::Default}},
        {"filtered", {6, DeflateStrategy::Filtered}},
        {"huffman-only", {6, DeflateStrategy::HuffmanOnly}},
        {"rle", {6, DeflateStrategy::Rle}},
        {"fixed", {6, DeflateStrategy::Fixed}},
        {"fast", {1, DeflateStrategy::Default}},
    };
    const size_t sizes[] = {1, 32767, 32768, 32769, 3 * 32768 + 100};
    // The Deflate block type (header bits 1-2) each setting starts a full
    // block of text with, so that every type is known to be covered.
    const std::map<std::string, unsigned> text_block_type = {
        {"stored", 0}, {"fixed", 1}, {"default", 2}};
    uint32_t seed = 1;
    for (const auto &[name, options] : settings) {
        auto compressor = cabwriter::make_mszip_compressor(options);
        for (const char *kind : {"text", "runs", "random", "binary"}) {
            for (size_t size : sizes) {
                const Bytes input = content(kind, size, seed++);
                const auto blocks = compressor->compress(input);
                FolderDecoder d;
                EXPECT_EQ(d.decode_folder(blocks), input) << name << " " << kind << " " << size;
                if (std::string(kind) == "text" && size >= 32768 &&
                    text_block_type.contains(name)) {
                    EXPECT_EQ((blocks[0].bytes[2] >> 1) & 3, text_block_type.at(name)) << name;
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Through the engine: cabinets written by the writer, extracted by cab_copy

cabwriter::Folder mszip_folder(std::vector<cabwriter::FileEntry> files,
                               std::shared_ptr<cabwriter::FolderCompressor> compressor = nullptr) {
    cabwriter::Folder folder;
    folder.method.kind = cabwriter::MethodKind::Mszip;
    folder.files = std::move(files);
    folder.compressor = std::move(compressor);
    return folder;
}

TEST(MszipEngine, ExtractsFoldersOfSeveralStrategiesAndACabinetSet) {
    const std::vector<cabwriter::Folder> folders = {
        mszip_folder({cabtest::file_of("text", content("text", 100000, 1)),
                      cabtest::file_of("empty", {}),
                      cabtest::file_of("runs", content("runs", 40000, 2))}),
        mszip_folder({cabtest::file_of("fixed", content("binary", 70000, 3)),
                      cabtest::file_of("random", content("random", 5000, 4))},
                     cabwriter::make_mszip_compressor({9, cabwriter::DeflateStrategy::Fixed})),
    };
    for (uint32_t max_size : {0u, 20000u}) cabtest::expect_round_trip(folders, max_size);
}

TEST(MszipEngine, ExtractsABlockWithTheDeepestDistanceCode) {
    const Bytes expected(kDeepestDistanceCodeOutput.begin(), kDeepestDistanceCodeOutput.end());
    const auto blocks =
        std::make_shared<cabtest::PresetBlocks>(std::vector<cabwriter::CompressedBlock>{
            {block_with_deepest_distance_code(), static_cast<uint16_t>(expected.size())}});
    cabtest::MemoryHost host;
    const auto folder = mszip_folder({cabtest::file_of("f", expected)}, blocks);
    cabtest::add_cabinets(host, cabwriter::write_cabinet_set({folder}));
    cabtest::Extraction x(host);
    ASSERT_TRUE(x.copy("cabinet1.cab")) << x.error.code;
    EXPECT_EQ(x.files["f"], expected);
}

TEST(MszipEngine, InvalidStreamsFailWithDecodeError) {
    for (const auto &[name, block] : invalid_streams()) {
        const auto blocks = std::make_shared<cabtest::PresetBlocks>(
            std::vector<cabwriter::CompressedBlock>{{block, 10}});
        cabtest::MemoryHost host;
        const auto folder = mszip_folder({cabtest::file_of("f", Bytes(10, 'f'))}, blocks);
        cabtest::add_cabinets(host, cabwriter::write_cabinet_set({folder}));
        cabtest::Extraction x(host);
        EXPECT_FALSE(x.copy("cabinet1.cab")) << name;
        EXPECT_EQ(x.error.code, CAB_ERR_DECODE) << name;
    }
}

}  // namespace
