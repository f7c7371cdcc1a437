// The rules the three decoders share behind the driver's contract: the
// largest-block parameter, window exponents, and what a failed decode
// reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cab/decoder.h"
#include "cab/testing/memory_host.h"
#include "cab/writer/writer.h"

namespace {

using cabtest::MemoryHost;

struct Method {
    const char *name;
    const char *source;  // the decoder's source file
    unsigned kind;
    unsigned window_exponent;  // a valid one
    uint32_t input_extra;      // compressed bytes allowed beyond the block size
    unsigned bad_window;       // 0: the method has no window to refuse
    std::vector<uint8_t> bad_block;
};

std::vector<Method> methods() {
    return {
        {"Mszip", "mszip.cpp", cab::kMethodMszip, 0, 12, 0, {'X', 'X', 0x03, 0x00}},  // no "CK"
        {"Quantum", "quantum.cpp", cab::kMethodQuantum, 15, 10240, 22, {}},  // no input at all
        {"Lzx", "lzx.cpp", cab::kMethodLzx, 15, 6144, 14,
         std::vector<uint8_t>(16, 0)},  // block type 0
    };
}

const cab::HostCallbacks kHost = {MemoryHost::alloc, MemoryHost::free,  MemoryHost::open,
                                  MemoryHost::read,  MemoryHost::write, MemoryHost::close,
                                  MemoryHost::seek};

class DecoderRules : public ::testing::TestWithParam<Method> {
protected:
    ~DecoderRules() override {
        if (instance_) {
            EXPECT_EQ(ops().destroy(instance_), cab::kDecodeOk);
        }
    }

    const cab::DecoderOps &ops() const { return *cab::decoder_for_method(GetParam().kind); }

    // The test's instance, with the method's valid window.
    void *instance() {
        if (!instance_) {
            EXPECT_EQ(
                ops().create(cab::kMaxBlockSize, GetParam().window_exponent, kHost, 1, &instance_),
                cab::kDecodeOk);
        }
        return instance_;
    }

    // Decodes `block` as the driver does, from a buffer with slack behind it.
    int decode(const std::vector<uint8_t> &block, uint32_t &count) {
        std::vector<uint8_t> input = block;
        input.resize(block.size() + cab::kInputSlack);
        return ops().decode(instance(), input.data(), static_cast<uint32_t>(block.size()),
                            output_.data(), &count);
    }

    MemoryHost host_;
    void *instance_ = nullptr;
    std::vector<uint8_t> output_ = std::vector<uint8_t>(cab::kMaxBlockSize);
};

TEST_P(DecoderRules, LargestBlockIsClampedToTheBlockSize) {
    const Method &m = GetParam();
    for (uint32_t largest : {0u, cab::kMaxBlockSize + 1, 0xFFFFFFFFu}) {
        uint32_t capacity = 0;
        EXPECT_EQ(ops().size_query(largest, m.window_exponent, &capacity), cab::kDecodeOk)
            << largest;
        EXPECT_EQ(capacity, cab::kMaxBlockSize + m.input_extra) << largest;

        void *instance = nullptr;
        ASSERT_EQ(ops().create(largest, m.window_exponent, kHost, 1, &instance), cab::kDecodeOk)
            << largest;
        std::vector<uint8_t> input(16), output(cab::kMaxBlockSize + 1);
        uint32_t count = cab::kMaxBlockSize + 1;
        const int too_many = ops().decode(instance, input.data(), 16, output.data(), &count);
        if (!ops().count_is_limit) {
            EXPECT_EQ(too_many, cab::kDecodeBadParameter) << largest;
        }
        EXPECT_EQ(ops().destroy(instance), cab::kDecodeOk);
    }
}

TEST_P(DecoderRules, AWindowExponentOutOfRangeIsABadWindow) {
    const Method &m = GetParam();
    // A method without a window ignores the exponent.
    const int expected = m.bad_window == 0 ? cab::kDecodeOk : cab::kDecodeBadWindow;
    const unsigned exponent = m.bad_window == 0 ? 31 : m.bad_window;
    uint32_t capacity = 0;
    EXPECT_EQ(ops().size_query(cab::kMaxBlockSize, exponent, &capacity), expected);
    EXPECT_EQ(ops().create(cab::kMaxBlockSize, exponent, kHost, 1, &instance_), expected);
    EXPECT_EQ(instance_ != nullptr, expected == cab::kDecodeOk);
}

TEST_P(DecoderRules, AFailedDecodeReportsNoBytes) {
    uint32_t count = 100;
    EXPECT_EQ(decode(GetParam().bad_block, count), cab::kDecodeDataError);
    EXPECT_EQ(count, 0u);

    count = cab::kMaxBlockSize + 1;
    const int refused = decode({}, count);
    EXPECT_NE(refused, cab::kDecodeOk);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ops().last_fault(instance()) != nullptr, refused == cab::kDecodeDataError)
        << "only a data error leaves a fault, never the previous one";

    uint32_t not_a_decoder[16] = {};
    count = 100;
    EXPECT_EQ(ops().decode(not_a_decoder, output_.data(), 0, output_.data(), &count),
              cab::kDecodeBadInstance);
    EXPECT_EQ(count, 0u);
}

TEST_P(DecoderRules, AFailedDecodeNamesTheCheckThatFired) {
    const Method &m = GetParam();
    EXPECT_EQ(ops().last_fault(instance()), nullptr);
    uint32_t count = 100;
    ASSERT_EQ(decode(m.bad_block, count), cab::kDecodeDataError);
    const char *fault = ops().last_fault(instance());
    ASSERT_NE(fault, nullptr);
    EXPECT_TRUE(std::string(fault).starts_with(std::string(m.source) + ":")) << fault;

    // A good block clears it.
    const cabwriter::Method method{static_cast<cabwriter::MethodKind>(m.kind), m.window_exponent,
                                   true};
    const auto blocks = method.make_compressor()->compress(std::vector<uint8_t>(1000, 'a'));
    ASSERT_EQ(blocks.size(), 1u);
    ASSERT_EQ(ops().reset(instance()), cab::kDecodeOk);
    count = ops().count_is_limit ? cab::kMaxBlockSize : 1000;
    EXPECT_EQ(decode(blocks[0].bytes, count), cab::kDecodeOk);
    EXPECT_EQ(count, 1000u);
    EXPECT_EQ(ops().last_fault(instance()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Decoders, DecoderRules, ::testing::ValuesIn(methods()),
                         [](const ::testing::TestParamInfo<Method> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
