#include <gtest/gtest.h>

#include <stdexcept>

#include "sfx/sfx_writer.h"

namespace {

const std::vector<uint8_t> kStub = {'E', 'L', 'F'};
const std::vector<uint8_t> kCabinet = {'M', 'S', 'C', 'F', 1, 2};

std::string as_text(const std::vector<uint8_t> &bytes) { return {bytes.begin(), bytes.end()}; }

TEST(SfxWriter, WritesOnlyTheGivenEntriesInOrder) {
    sfx::SfxBlock block;
    block.title = "T";
    block.options = "-A";
    using namespace std::string_literals;
    EXPECT_EQ(as_text(sfx::write_self_extractor(kStub, block, kCabinet)),
              "ELF$$$$$TITLE=T\0$CMDLINE=-A\0$MSCF\x01\x02"s);
    EXPECT_EQ(as_text(sfx::write_self_extractor(kStub, {}, kCabinet)), "ELF$$$$$MSCF\x01\x02"s);
}

TEST(SfxWriter, RefusesWhatTheInstallerWouldMisread) {
    sfx::SfxBlock with_nul;
    with_nul.cabinet_name = std::string("a\0b", 3);
    EXPECT_THROW(sfx::write_self_extractor(kStub, with_nul, kCabinet), std::invalid_argument);
    sfx::SfxBlock long_message;
    long_message.message = std::string(255, 'm');
    EXPECT_THROW(sfx::write_self_extractor(kStub, long_message, kCabinet), std::invalid_argument);
    const std::vector<uint8_t> marked_stub = {'a', '$', '$', '$', '$'};
    EXPECT_THROW(sfx::write_self_extractor(marked_stub, {}, kCabinet), std::invalid_argument);
    const std::vector<uint8_t> dollar_end = {'a', '$'};
    EXPECT_THROW(sfx::write_self_extractor(dollar_end, {}, kCabinet), std::invalid_argument)
        << "a trailing '$' would join the marker";
    EXPECT_THROW(sfx::write_self_extractor(kStub, {}, kStub), std::invalid_argument)
        << "not a cabinet";
}

}  // namespace
