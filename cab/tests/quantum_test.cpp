// The Quantum models, the decoder on handcrafted streams and on the
// compressor's output, its paged window, and Quantum folders through the engine.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "cab/format.h"
#include "cab/quantum.h"
#include "cab/quantum_model.h"
#include "cab/tests/extraction.h"
#include "cab/writer/quantum_compressor.h"

namespace {

using namespace cab::quantum;
using Bytes = std::vector<uint8_t>;

using cabtest::expect_files;
using cabtest::Extraction;
using cabtest::HostOp;
using cabtest::MemoryHost;

// The decoder's callbacks: the in-memory host, which gives "*" a new scratch
// file, behind limits that refuse the flat window's block (to force the paged
// window) and grant only so many page buffers (a page plus a small header).
struct Limits {
    uint32_t refused_size = 0;
    int page_buffers = INT_MAX;
    Bytes scratch_name;  // "*", its NUL and the window size
};
thread_local Limits limits;

void *limited_alloc(uint32_t size) {
    if (size == limits.refused_size) return nullptr;
    if (size > 4096 && size < 4096 + 256 && limits.page_buffers-- <= 0) return nullptr;
    return MemoryHost::alloc(size);
}
int32_t recording_open(const char *path, int32_t flags, int32_t mode) {
    EXPECT_EQ(flags, CAB_OPEN_SCRATCH);
    limits.scratch_name.assign(path, path + 6);
    return MemoryHost::open(path, flags, mode);
}

constexpr cab::HostCallbacks kHost = {limited_alloc,    MemoryHost::free,  recording_open,
                                      MemoryHost::read, MemoryHost::write, MemoryHost::close,
                                      MemoryHost::seek};
const cab::DecoderOps &ops = cab::kQuantumDecoder;

// A decoder instance that is destroyed with the test.
struct Decoder {
    void *instance = nullptr;
    int created;
    explicit Decoder(unsigned w, uint32_t largest_block = 32768)
        : created(ops.create(largest_block, w, kHost, 1, &instance)) {}
    ~Decoder() {
        if (instance) {
            EXPECT_EQ(ops.destroy(instance), cab::kDecodeOk);
        }
    }
    int decode(const Bytes &input, uint32_t wanted, Bytes &out) {
        out.assign(32768, 0xCC);
        const int result = ops.decode(instance, input.data(), static_cast<uint32_t>(input.size()),
                                      out.data(), &wanted);
        out.resize(std::min<uint32_t>(wanted, 32768));
        return result;
    }
};

// A reference encoder written straight from the stream format, independent of
// the writer's compressor: it records the order in which the decoder reads
// bits (arithmetic bits and raw bits interleaved) and assembles the bytes once
// every arithmetic bit is known. It shares only the models, which are tested
// on their own below.
class ReferenceEncoder {
public:
    explicit ReferenceEncoder(unsigned w) { models.init(w); }

    Models models{};

    void start_block() {
        low = 0, high = 0xFFFF, pending = 0;
        arithmetic.clear();
        reads.assign(16, -1);
    }
    void symbol(Model &m, unsigned s) {
        unsigned i = 0;
        while (m.symbol[i] != s) ++i;
        const uint32_t range = high - low + 1, total = m.cumfreq[0];
        high = low + m.cumfreq[i] * range / total - 1;
        low = low + m.cumfreq[i + 1] * range / total;
        for (;;) {
            if ((low >> 15) == (high >> 15)) {
                put(low >> 15);
            } else if ((low >> 14) == 1 && (high >> 14) == 2) {
                ++pending;
                low -= 0x4000;
                high += 0x4000;
            } else {
                break;
            }
            low = (low << 1) & 0xFFFF;
            high = ((high << 1) & 0xFFFF) | 1;
            reads.push_back(-1);
        }
        m.update(i);
    }
    void raw(uint32_t value, unsigned n) {
        while (n--) reads.push_back(static_cast<int>((value >> n) & 1));
    }
    void literal(uint8_t b) {
        symbol(models.selector, b / 64);
        symbol(models.literal[b / 64], b % 64);
    }
    // A match coded with selector 4, 5 or 6; `slot` and `extra` give the
    // distance, `length_slot` and `length_extra` the length for selector 6.
    void match(unsigned selector, unsigned slot, uint32_t extra, unsigned length_slot = 0,
               uint32_t length_extra = 0) {
        symbol(models.selector, selector);
        if (selector == 6) {
            symbol(models.length, length_slot);
            raw(length_extra, length_extra_bits[length_slot]);
            symbol(models.long_position, slot);
        } else {
            symbol(selector == 4 ? models.match3_position : models.match4_position, slot);
        }
        raw(extra, position_extra_bits[slot]);
    }
    // Ends the block: the decoder's final code register is `low`.
    Bytes finish(size_t *bit_count = nullptr) {
        put(low >> 15);
        for (int k = 14; k >= 0; --k) arithmetic.push_back((low >> k) & 1);
        Bytes out((reads.size() + 7) / 8);
        size_t next = 0;
        for (size_t i = 0; i < reads.size(); ++i) {
            const int bit = reads[i] < 0 ? arithmetic.at(next++) : reads[i];
            if (bit) out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
        }
        EXPECT_EQ(next, arithmetic.size());
        if (bit_count) *bit_count = reads.size();
        return out;
    }

private:
    void put(unsigned bit) {
        arithmetic.push_back(static_cast<int>(bit));
        for (; pending; --pending) arithmetic.push_back(static_cast<int>(bit ^ 1));
    }
    uint32_t low = 0, high = 0xFFFF, pending = 0;
    std::vector<int> arithmetic;  // arithmetic bits in the order they settle
    std::vector<int> reads;       // -1: the decoder reads an arithmetic bit; else a raw bit
};

Bytes text_bytes(const char *s) { return Bytes(s, s + std::strlen(s)); }

Bytes mixed_data(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    const char *words[] = {"quantum ", "window ",          "model ", "cabinet ",
                           "folder ",  "\x01\x02\x03\x04", "data "};
    while (out.size() < size) {
        const unsigned kind = rng() % 4;
        const size_t piece = 200 + rng() % 3000;
        for (size_t i = 0; i < piece && out.size() < size;) {
            if (kind == 0) {
                out.push_back(static_cast<uint8_t>(rng()));
                ++i;
            } else if (kind == 3 && out.size() > 5000) {
                // A copy from far back, for long distances.
                const size_t from = rng() % (out.size() - 400), n = 5 + rng() % 300;
                for (size_t k = 0; k < n; ++k) out.push_back(out[from + k]);
                i += n;
            } else {
                const char *w = words[rng() % 7];
                out.insert(out.end(), w, w + std::strlen(w));
                i += std::strlen(w);
            }
        }
    }
    out.resize(size);
    return out;
}

std::vector<cabwriter::CompressedBlock> compress(const Bytes &data, unsigned w) {
    return cabwriter::make_quantum_compressor(w)->compress(data);
}

// Decodes a folder's blocks in order with one instance.
Bytes decode_folder(const std::vector<cabwriter::CompressedBlock> &blocks, unsigned w) {
    Decoder d(w);
    EXPECT_EQ(d.created, cab::kDecodeOk);
    Bytes all, out;
    for (const auto &b : blocks) {
        EXPECT_EQ(d.decode(b.bytes, b.uncompressed_size, out), cab::kDecodeOk);
        all.insert(all.end(), out.begin(), out.end());
    }
    return all;
}

// Every decoder test has a fresh host, without limits, and counts the
// scratch file's reads and writes.
class QuantumTest : public ::testing::Test {
protected:
    QuantumTest() {
        limits = {};
        host.fault = [this](HostOp op) {
            page_reads += op == HostOp::Read;
            page_writes += op == HostOp::Write;
            return fail_writes && op == HostOp::Write;
        };
    }
    ~QuantumTest() override { EXPECT_EQ(host.live_blocks(), 0u); }
    MemoryHost host;
    int page_reads = 0, page_writes = 0;
    bool fail_writes = false;
};
using QuantumDecoderSetup = QuantumTest;
using QuantumStreams = QuantumTest;
using QuantumRoundTrip = QuantumTest;
using QuantumPagedWindow = QuantumTest;

// ---------------------------------------------------------------------------

TEST(QuantumModels, PositionSlotCountsFollowTheWindow) {
    const PositionSlotCounts small = position_slot_counts(10), large = position_slot_counts(21);
    EXPECT_EQ(small.match3, 20u);
    EXPECT_EQ(small.match4, 20u);
    EXPECT_EQ(small.long_match, 20u);
    EXPECT_EQ(large.match3, 24u);
    EXPECT_EQ(large.match4, 36u);
    EXPECT_EQ(large.long_match, 42u);
}

TEST(QuantumModels, RangeScaleDividesExactlyOverTheCodersRange) {
    for (uint32_t d = kSelectorSymbols; d <= kMaxTotalFrequency; ++d) {  // no model totals less
        for (uint32_t range : {1u, 2u, 0x4001u, 0x7FFFu, 0xFFFFu, 0x10000u}) {
            const RangeScale scale(range, d);
            for (uint32_t f : {1u, d / 2, d - 1, d})
                ASSERT_EQ(scale(f), f * range / d) << f << " * " << range << " / " << d;
        }
        // Every frequency at one odd range, to meet products just below a multiple of d.
        const RangeScale scale(0xFFFF, d);
        for (uint32_t f = 1; f <= d; ++f) ASSERT_EQ(scale(f), f * 0xFFFFu / d) << f << " / " << d;
    }
}

TEST(QuantumModels, ThreeHalvingsThenASortEveryFiftieth) {
    Model m;
    m.init(4);
    const uint16_t start[] = {100, 60, 50, 10, 0};  // frequencies 40, 10, 40, 10
    std::memcpy(m.cumfreq, start, sizeof start);
    m.rebuild();
    m.rebuild();
    m.rebuild();
    const uint16_t halved[] = {12, 7, 6, 1, 0};
    EXPECT_EQ(0, std::memcmp(m.cumfreq, halved, sizeof halved));
    EXPECT_EQ(m.rebuild_countdown, 1);
    m.rebuild();  // frequencies 3, 1, 3, 1: symbol 2 moves up beside symbol 0
    const uint16_t sorted[] = {8, 5, 2, 1, 0};
    const uint8_t order[] = {0, 2, 1, 3};
    EXPECT_EQ(0, std::memcmp(m.cumfreq, sorted, sizeof sorted));
    EXPECT_EQ(0, std::memcmp(m.symbol, order, sizeof order));
    EXPECT_EQ(m.rebuild_countdown, 50);
    for (int i = 0; i < 49; ++i) m.rebuild();
    EXPECT_EQ(m.rebuild_countdown, 1);
    m.rebuild();
    EXPECT_EQ(m.rebuild_countdown, 50);

    m.init(3);  // cumulative 3, 2, 1, 0: halving keeps every frequency at 1
    m.rebuild();
    const uint16_t kept[] = {3, 2, 1, 0};
    EXPECT_EQ(0, std::memcmp(m.cumfreq, kept, sizeof kept));
}

TEST(QuantumModels, ExchangeSortOrdersEqualFrequenciesByItsSwaps) {
    Model m;
    m.init(3);
    const uint16_t start[] = {14, 10, 6, 0};  // frequencies 4, 4, 6 -> halved 2, 2, 3
    std::memcpy(m.cumfreq, start, sizeof start);
    m.rebuild_countdown = 1;
    m.rebuild();
    const uint8_t order[] = {2, 1, 0};  // a stable sort would give 2, 0, 1
    EXPECT_EQ(0, std::memcmp(m.symbol, order, sizeof order));
}

TEST(QuantumModels, RebuildStartsWhenTheTotalExceeds3800) {
    Model m;
    m.init(7);
    for (int i = 0; i < 474; ++i) m.update(0);  // total 7 + 474 * 8 = 3799
    EXPECT_EQ(m.rebuild_countdown, 4);
    m.update(0);
    EXPECT_EQ(m.rebuild_countdown, 3);
    EXPECT_LE(m.total(), 3800u);
}

// ---------------------------------------------------------------------------

TEST_F(QuantumDecoderSetup, RefusesWindowExponentsOutside10To21) {
    uint32_t capacity = 0;
    EXPECT_EQ(ops.size_query(32768, 22, &capacity), cab::kDecodeBadWindow);
    EXPECT_EQ(ops.size_query(32768, 9, &capacity), cab::kDecodeBadWindow);
    EXPECT_EQ(Decoder(22).created, cab::kDecodeBadWindow);
    EXPECT_THROW(cabwriter::make_quantum_compressor(9), std::invalid_argument);
    EXPECT_THROW(cabwriter::make_quantum_compressor(22), std::invalid_argument);
    EXPECT_EQ(ops.size_query(32768, 21, &capacity), cab::kDecodeOk);
    EXPECT_EQ(capacity, 32768u + 10240u);
    EXPECT_EQ(ops.size_query(0, 10, &capacity), cab::kDecodeOk);
    EXPECT_EQ(capacity, 32768u + 10240u);
}

TEST_F(QuantumDecoderSetup, ChecksInstanceAndRequestedSize) {
    Decoder d(15, 1000);
    Bytes out;
    EXPECT_EQ(d.decode(Bytes(8), 1001, out), cab::kDecodeBadParameter);
    uint32_t not_a_decoder[64] = {};
    uint32_t count = 1;
    uint8_t buffer[4];
    EXPECT_EQ(ops.decode(not_a_decoder, nullptr, 0, buffer, &count), cab::kDecodeBadInstance);
    EXPECT_EQ(ops.reset(nullptr), cab::kDecodeBadInstance);
    EXPECT_EQ(ops.destroy(not_a_decoder), cab::kDecodeBadInstance);
}

// ---------------------------------------------------------------------------

// Literals of all four models, then matches of every selector: a run from
// distance 1, extra bits of length and position interleaved with the
// arithmetic bits, and the longest match.
TEST_F(QuantumStreams, HandcraftedStreamDecodes) {
    ReferenceEncoder enc(12);
    enc.start_block();
    Bytes expected = text_bytes("Quantum \x01\xff\x80 literals");
    for (uint8_t b : expected) enc.literal(b);
    auto repeat = [&](uint32_t distance, uint32_t length) {
        for (uint32_t i = 0; i < length; ++i)
            expected.push_back(expected[expected.size() - distance]);
    };
    enc.match(4, 0, 0);  // length 3, distance 1
    repeat(1, 3);
    // Distance 13 = base 12 (slot 7, 2 extra bits) + 0 + 1; length 20 = 5 +
    // base 14 (slot 10, 2 extra bits) + 1.
    enc.match(6, 7, 0, 10, 1);
    repeat(13, 20);
    enc.match(5, 5, 1);  // length 4, distance 6 (slot 5 base) + 1 + 1
    repeat(8, 4);
    enc.match(6, 0, 0, 26);  // length slot 26: 254 + 5, no extra bits
    repeat(1, 259);
    Decoder d(12);
    Bytes out;
    ASSERT_EQ(d.decode(enc.finish(), static_cast<uint32_t>(expected.size()), out), cab::kDecodeOk);
    EXPECT_EQ(out, expected);
}

TEST_F(QuantumStreams, BlockEndingOnTheLastNeededBitSucceedsOneByteShortFails) {
    // Grow a literal run until the stream fills its last byte exactly.
    for (size_t n = 1; n < 64; ++n) {
        ReferenceEncoder enc(10);
        enc.start_block();
        Bytes text;
        for (size_t i = 0; i < n; ++i) text.push_back(static_cast<uint8_t>('a' + i % 26));
        for (uint8_t b : text) enc.literal(b);
        size_t bits = 0;
        Bytes stream = enc.finish(&bits);
        if (bits % 8 != 0) continue;
        Decoder d(10);
        Bytes out;
        ASSERT_EQ(d.decode(stream, static_cast<uint32_t>(n), out), cab::kDecodeOk);
        EXPECT_EQ(out, text);
        // Without the last byte every byte is still produced, but the last
        // renormalisation reads past the end.
        stream.pop_back();
        Decoder d2(10);
        EXPECT_EQ(d2.decode(stream, static_cast<uint32_t>(n), out), cab::kDecodeDataError);
        return;
    }
    FAIL() << "no literal run filled its last byte";
}

TEST_F(QuantumStreams, MatchLongerThanTheBlockWantsIsAnOverrun) {
    ReferenceEncoder enc(10);
    enc.start_block();
    enc.literal('x');
    enc.match(5, 0, 0);  // 4 bytes, but only 3 more are wanted
    Decoder d(10);
    Bytes out;
    EXPECT_EQ(d.decode(enc.finish(), 4, out), cab::kDecodeDataError);
}

TEST_F(QuantumStreams, ExhaustedInputIsADataError) {
    Decoder d(10);
    Bytes out;
    EXPECT_EQ(d.decode(Bytes{}, 1, out), cab::kDecodeDataError);
    EXPECT_EQ(d.decode(Bytes{0x12}, 1, out), cab::kDecodeDataError);
    EXPECT_EQ(d.decode(Bytes(3, 0), 1000, out), cab::kDecodeDataError);
}

TEST_F(QuantumStreams, MatchBeforeTheFolderStartReadsZerosEvenAfterReset) {
    Decoder d(10);
    Bytes out;
    // Fill the window with another folder's bytes first.
    ReferenceEncoder first(10);
    first.start_block();
    for (int i = 0; i < 300; ++i) first.literal('#');
    ASSERT_EQ(d.decode(first.finish(), 300, out), cab::kDecodeOk);
    ASSERT_EQ(ops.reset(d.instance), cab::kDecodeOk);

    ReferenceEncoder enc(10);
    enc.start_block();
    enc.literal('a');
    enc.match(6, 13, 3, 0);  // distance 48 + 3 + 1 = 52, length 5
    ASSERT_EQ(d.decode(enc.finish(), 6, out), cab::kDecodeOk);
    EXPECT_EQ(out, (Bytes{'a', 0, 0, 0, 0, 0}));
}

// ---------------------------------------------------------------------------

TEST_F(QuantumRoundTrip, CompressorOutputDecodesForSeveralWindows) {
    const Bytes data = mixed_data(150000, 7);
    for (unsigned w : {10u, 15u, 21u}) {
        const auto blocks = compress(data, w);
        ASSERT_EQ(blocks.size(), 5u);
        EXPECT_EQ(decode_folder(blocks, w), data) << "window exponent " << w;
    }
}

TEST_F(QuantumRoundTrip, EdgeContent) {
    const Bytes cases[] = {
        Bytes{42}, Bytes(70000, 0),  // one long run across blocks
        text_bytes("ab"),            // shorter than any match
        mixed_data(32768, 3),        // exactly one block
    };
    for (const Bytes &data : cases)
        EXPECT_EQ(decode_folder(compress(data, 16), 16), data) << data.size();
    EXPECT_TRUE(compress(Bytes{}, 16).empty());
}

TEST_F(QuantumRoundTrip, IncompressibleBlocksFitTheCompressedBuffer) {
    Bytes data(100000);
    std::mt19937 rng(5);
    for (auto &b : data) b = static_cast<uint8_t>(rng());
    const auto blocks = compress(data, 21);
    for (const auto &b : blocks) EXPECT_LE(b.bytes.size(), 32768u + 10240u);
    EXPECT_EQ(decode_folder(blocks, 21), data);
}

// ---------------------------------------------------------------------------

// Decodes with the flat window refused and only `buffers` page buffers.
Bytes decode_paged(const std::vector<cabwriter::CompressedBlock> &blocks, unsigned w, int buffers) {
    limits = {1u << w, buffers, {}};
    Bytes all = decode_folder(blocks, w);
    const uint32_t size = 1u << w;
    EXPECT_EQ(limits.scratch_name,
              (Bytes{'*', 0, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                     static_cast<uint8_t>(size >> 16), 0}));
    return all;
}

TEST_F(QuantumPagedWindow, NoMemoryWhenNeitherWindowFits) {
    limits = {1u << 21, 2, {}};
    EXPECT_EQ(Decoder(21).created, cab::kDecodeNoMemory);
    limits = {1u << 21, INT_MAX, {}};
    host.fault = [](HostOp op) { return op == HostOp::Open; };
    EXPECT_EQ(Decoder(21).created, cab::kDecodeNoMemory);
}

TEST_F(QuantumPagedWindow, GivesTheSameOutputAsTheFlatWindow) {
    const Bytes data = mixed_data(200000, 11);
    const auto blocks = compress(data, 16);
    const Bytes paged = decode_paged(blocks, 16, 3);
    EXPECT_GT(page_writes, 0);
    EXPECT_GT(page_reads, 0);
    EXPECT_EQ(paged, data);
    EXPECT_EQ(decode_paged(blocks, 16, 1000), data);  // every page resident
}

TEST_F(QuantumPagedWindow, SmallWindowsUseOnePage) {
    const Bytes data = mixed_data(40000, 2);
    EXPECT_EQ(decode_paged(compress(data, 10), 10, 3), data);
}

// With three buffers: the cursor's page and two others. Matches from three
// evicted dirty pages in a row read each back from the scratch file, and the
// third must evict the older source page, not the page being written.
TEST_F(QuantumPagedWindow, ReadsEvictedPagesBackAndKeepsTheCursorPage) {
    ReferenceEncoder enc(14);
    enc.start_block();
    Bytes expected;
    for (int i = 0; i < 3 * 4096 + 10; ++i) {
        expected.push_back(static_cast<uint8_t>((i * 7 + i / 4096) % 251));
        enc.literal(expected.back());
    }
    // Length 5 matches from pages 0, 1 and 2: distances 12298, 8202, 4106.
    // Long-position slot 26 has base 8192 and 12 extra bits, slot 24 base
    // 4096 and 11, slot 27 base 12288 and 12.
    const struct {
        unsigned slot;
        uint32_t extra;
    } matches[] = {{27, 9}, {26, 9}, {24, 9}};
    for (const auto &m : matches) {
        enc.match(6, m.slot, m.extra, 0);
        const uint32_t distance = position_base[m.slot] + m.extra + 1;
        for (int k = 0; k < 5; ++k) expected.push_back(expected[expected.size() - distance]);
    }
    limits = {1u << 14, 3, {}};
    Decoder d(14);
    ASSERT_EQ(d.created, cab::kDecodeOk);
    Bytes out;
    ASSERT_EQ(d.decode(enc.finish(), static_cast<uint32_t>(expected.size()), out), cab::kDecodeOk);
    EXPECT_EQ(out, expected);
    EXPECT_GE(page_reads, 3);
}

TEST_F(QuantumPagedWindow, ScratchFileFailureIsADataErrorUntilReset) {
    const Bytes data = mixed_data(100000, 4);
    const auto blocks = compress(data, 16);
    limits = {1u << 16, 3, {}};
    fail_writes = true;
    Decoder d(16);
    ASSERT_EQ(d.created, cab::kDecodeOk);
    Bytes out;
    int result = cab::kDecodeOk;
    for (const auto &b : blocks)
        if ((result = d.decode(b.bytes, b.uncompressed_size, out)) != cab::kDecodeOk) break;
    EXPECT_EQ(result, cab::kDecodeDataError);
    EXPECT_EQ(d.decode(blocks[0].bytes, blocks[0].uncompressed_size, out), cab::kDecodeDataError);
    fail_writes = false;
    ASSERT_EQ(ops.reset(d.instance), cab::kDecodeOk);
    ASSERT_EQ(d.decode(blocks[0].bytes, blocks[0].uncompressed_size, out), cab::kDecodeOk);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}

TEST_F(QuantumPagedWindow, ReadingAPageNeverWrittenIsADataError) {
    ReferenceEncoder enc(14);
    enc.start_block();
    enc.literal('a');
    enc.match(6, 27, 0, 0);  // distance 12289: a page the folder never wrote
    limits.refused_size = 1u << 14;
    Decoder d(14);
    Bytes out;
    EXPECT_EQ(d.decode(enc.finish(), 6, out), cab::kDecodeDataError);
}

// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------
// Through the engine: cab_copy over the in-memory host.

cabwriter::Folder quantum_folder(unsigned w, size_t files, size_t size, uint32_t seed) {
    cabwriter::Folder folder;
    folder.method = {cabwriter::MethodKind::Quantum, w};
    for (size_t i = 0; i < files; ++i) {
        folder.files.push_back(
            cabtest::file_of("q" + std::to_string(w) + "\\file" + std::to_string(i),
                             mixed_data(size + i * 1013, seed + static_cast<uint32_t>(i))));
    }
    return folder;
}

TEST(QuantumEngine, SpanningSetDecodesAlikeWithFlatAndPagedWindow) {
    const std::vector<cabwriter::Folder> folders = {quantum_folder(21, 3, 40000, 1),
                                                    quantum_folder(12, 2, 30000, 9)};
    cabwriter::SetOptions options;
    options.max_cabinet_size = 20000;
    const auto set = cabwriter::write_cabinet_set(folders, options);
    ASSERT_GT(set.size(), 2u);
    for (bool paged : {false, true}) {
        MemoryHost host;
        cabtest::add_cabinets(host, set);
        // Refusing blocks larger than the driver's buffers leaves only the paged window.
        if (paged) host.largest_allocation = 32768 + 10240 + cab::kInputSlack;
        Extraction x(host);
        ASSERT_TRUE(x.copy_set(set[0].name)) << "paged " << paged << " error " << x.error.code;
        expect_files(x, folders);
    }
}

// One context's Quantum folder is decoded in full while another context is
// in the middle of its own: neither may disturb the other's models or window.
TEST(QuantumEngine, InterleavedContextsKeepTheirOwnState) {
    const std::vector<cabwriter::Folder> a = {quantum_folder(21, 3, 50000, 3)},
                                         b = {quantum_folder(16, 2, 60000, 4)};
    MemoryHost host;
    host.add_file("a.cab", cabwriter::write_cabinet_set(a)[0].bytes);
    host.add_file("b.cab", cabwriter::write_cabinet_set(b)[0].bytes);
    Extraction xa(host), xb(host);
    bool b_done = false;
    xa.answer = [&](int32_t kind, CabNotification &) {
        if (kind == CAB_NOTE_FILE_START && !xa.files.empty() && !b_done) {
            b_done = true;
            EXPECT_TRUE(xb.copy("b.cab")) << xb.error.code;
        }
        return Extraction::kDefault;
    };
    ASSERT_TRUE(xa.copy("a.cab")) << xa.error.code;
    ASSERT_TRUE(b_done);
    expect_files(xa, a);
    expect_files(xb, b);
}

TEST(QuantumEngine, ContextsInTwoThreads) {
    const std::vector<cabwriter::Folder> a = {quantum_folder(20, 2, 70000, 5)},
                                         b = {quantum_folder(20, 2, 70000, 6)};
    const auto cab_a = cabwriter::write_cabinet_set(a)[0].bytes,
               cab_b = cabwriter::write_cabinet_set(b)[0].bytes;
    auto run = [](const std::vector<uint8_t> &cabinet,
                  const std::vector<cabwriter::Folder> &folders) {
        MemoryHost host;  // each thread has its own host
        host.add_file("x.cab", cabinet);
        Extraction x(host);
        EXPECT_TRUE(x.copy("x.cab")) << x.error.code;
        expect_files(x, folders);
    };
    std::thread ta(run, std::cref(cab_a), std::cref(a));
    std::thread tb(run, std::cref(cab_b), std::cref(b));
    ta.join();
    tb.join();
}

TEST(QuantumEngine, FailuresHaveTheirErrorCodes) {
    const std::vector<cabwriter::Folder> folders = {quantum_folder(16, 1, 40000, 8)};
    cabwriter::SetOptions no_checksums;
    no_checksums.checksums = false;
    const auto cabinet = cabwriter::write_cabinet_set(folders, no_checksums)[0].bytes;
    const size_t data =
        cab::load_u32(cabinet.data() + cab::kHeaderSize) + 8;  // first block's bytes

    {  // damaged compressed bytes
        auto damaged = cabinet;
        for (size_t i = 0; i < 64; ++i) damaged[data + 100 + i] ^= 0x5A;
        MemoryHost host;
        host.add_file("a.cab", damaged);
        Extraction x(host);
        EXPECT_FALSE(x.copy("a.cab"));
        EXPECT_EQ(x.error.code, CAB_ERR_DECODE);
    }
    {  // neither the window nor a scratch file
        MemoryHost host;
        host.add_file("a.cab", cabinet);
        host.largest_allocation = 32768 + 10240 + cab::kInputSlack;
        Extraction x(host);
        bool refuse_scratch = false;  // from the first file on, after the cabinet is open
        x.answer = [&](int32_t kind, CabNotification &) {
            if (kind == CAB_NOTE_FILE_START) refuse_scratch = true;
            return Extraction::kDefault;
        };
        host.fault = [&](cabtest::HostOp op) {
            return op == cabtest::HostOp::Open && refuse_scratch;
        };
        EXPECT_FALSE(x.copy("a.cab"));
        EXPECT_EQ(x.error.code, CAB_ERR_MEMORY);
        EXPECT_EQ(host.open_handles(), 0u);
    }
}

}  // namespace
