// Cabinets whose declared sizes, counts and offsets lie: the engine refuses
// them with the matching error, in bounded time and memory, and writes only
// bytes it really decoded.
#include <gtest/gtest.h>

#include <cstring>

#include "cab/format.h"
#include "cab/tests/extraction.h"

using cabtest::Extraction;
using cabtest::file_of;
using cabtest::MemoryHost;
using cabtest::put_u16;
using cabtest::put_u32;
using cabwriter::FileEntry;
using cabwriter::Folder;
using cabwriter::Method;
using cabwriter::MethodKind;

namespace {

std::vector<uint8_t> cabinet_of(Method method, std::vector<FileEntry> files) {
    return cabwriter::write_cabinet_set({Folder{method, std::move(files), nullptr}}).at(0).bytes;
}

constexpr size_t kFolderTable = cab::kHeaderSize;  // no reserve fields, no set names

// Extracts "a.cab" into sinks; the host gives up when asked for a next cabinet.
struct Outcome {
    int32_t code = 0;  // 0 on success
    size_t started = 0;
    size_t written = 0;
    size_t peak_bytes = 0;
    size_t reads = 0;
};

Outcome extract(const std::vector<uint8_t> &cabinet, bool skip_files = false) {
    MemoryHost host;
    host.add_file("a.cab", cabinet);
    Outcome out;
    {
        Extraction x(host);
        x.answer = [&](int32_t kind, CabNotification &note) {
            if (kind == CAB_NOTE_FILE_END) return MemoryHost::close(note.handle) == 0 ? 1 : 0;
            if (kind != CAB_NOTE_FILE_START) return Extraction::kDefault;
            ++out.started;
            return skip_files ? 0 : host.create_sink();
        };
        host.reset_calls();
        out.code = x.copy("a.cab") ? 0 : x.error.code;
        EXPECT_EQ(host.open_handles(), 0u);
    }
    EXPECT_EQ(host.live_blocks(), 0u);
    out.written = host.bytes_written();
    out.peak_bytes = host.peak_bytes();
    out.reads = host.calls(cabtest::HostOp::Read);
    return out;
}

TEST(DeclaredCounts, FileAndFolderCountsBeyondTheTablesAreCorrupt) {
    auto files = cabinet_of({}, {file_of("a", std::vector<uint8_t>(10, 'a'))});
    put_u16(files, cab::kHeaderFileCount, 0xFFFF);
    const Outcome walked = extract(files);
    EXPECT_EQ(walked.code, CAB_ERR_CORRUPT);
    EXPECT_EQ(walked.started, 1u);
    EXPECT_LT(walked.reads, 20u) << "stops at the first entry that is not there";

    auto folders = cabinet_of({}, {file_of("a", std::vector<uint8_t>(10, 'a'))});
    put_u16(folders, cab::kHeaderFolderCount, 0xFFFF);
    put_u16(folders, cabtest::file_entry_positions(folders)[0] + cab::kFileFolderIndex, 0xFFFC);
    EXPECT_EQ(extract(folders).code, CAB_ERR_CORRUPT) << "folder entry past the end of file";
}

TEST(DeclaredCounts, TheLargestFileTableIsWalkedWithoutAllocating) {
    std::vector<FileEntry> files(0xFFFF);
    for (size_t i = 0; i < files.size(); ++i) files[i].name = std::to_string(i);
    const Outcome out = extract(cabinet_of({}, files), true);
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.started, 0xFFFFu);
    EXPECT_LT(out.peak_bytes, 64u * 1024) << "no allocation per file";
}

TEST(DeclaredCounts, ACabinetOfOnlyAHeader) {
    std::vector<uint8_t> header(cab::kHeaderSize, 0);
    std::memcpy(header.data(), "MSCF", 4);
    put_u16(header, cab::kHeaderVersion, 0x0103);
    put_u32(header, cab::kHeaderFilesOffset, cab::kHeaderSize);
    EXPECT_EQ(extract(header).code, 0) << "no folders and no files is an empty walk";
    put_u16(header, cab::kHeaderFileCount, 1);
    EXPECT_EQ(extract(header).code, CAB_ERR_CORRUPT);
    put_u16(header, cab::kHeaderFolderCount, 0xFFFF);
    EXPECT_EQ(extract(header).code, CAB_ERR_CORRUPT);
}

TEST(DeclaredSizes, AFolderWithoutBlocksEndsAtTheNextCabinetQuestion) {
    auto cabinet = cabinet_of({}, {file_of("a", std::vector<uint8_t>(10, 'a'))});
    put_u16(cabinet, kFolderTable + cab::kFolderBlockCount, 0);
    const Outcome out = extract(cabinet);
    EXPECT_EQ(out.code, CAB_ERR_ABORT);
    EXPECT_EQ(out.written, 0u);
}

TEST(DeclaredSizes, OffsetsPastTheEndOfFileAreCorrupt) {
    const auto good = cabinet_of({}, {file_of("a", std::vector<uint8_t>(10, 'a'))});
    for (uint32_t offset : {0x7FFFFFF0u, 0xFFFFFFF0u, static_cast<uint32_t>(good.size())}) {
        auto cabinet = good;
        put_u32(cabinet, kFolderTable + cab::kFolderFirstBlock, offset);
        EXPECT_EQ(extract(cabinet).code, CAB_ERR_CORRUPT) << offset;
    }
    auto beyond_folder = good;  // the file starts far behind the folder's data
    put_u32(beyond_folder, cabtest::file_entry_positions(good)[0] + cab::kFileFolderOffset,
            0xFFFFFF00u);
    const Outcome out = extract(beyond_folder);
    EXPECT_EQ(out.code, CAB_ERR_ABORT);
    EXPECT_EQ(out.written, 0u);
}

// A small folder of zeros, for each compressing method.
class Bomb : public ::testing::TestWithParam<Method> {
protected:
    static constexpr size_t kRealSize = 64 * 32768;  // 2 MiB in 64 blocks
    std::vector<uint8_t> folder_of_zeros() const {
        return cabinet_of(GetParam(), {file_of("zeros", std::vector<uint8_t>(kRealSize, 0))});
    }
    size_t memory_bound() const {
        const unsigned exponent = GetParam().window_exponent;
        return (exponent ? size_t{1} << exponent : 0) + 256 * 1024;
    }
};

TEST_P(Bomb, AFileDeclaringFourGigabytesWritesOnlyWhatTheFolderHolds) {
    auto cabinet = folder_of_zeros();
    ASSERT_LT(cabinet.size(), kRealSize / 8);
    put_u32(cabinet, cabtest::file_entry_positions(cabinet)[0] + cab::kFileSize, 0xFFFFFFFFu);
    const Outcome out = extract(cabinet);
    EXPECT_EQ(out.code, CAB_ERR_ABORT) << "the data runs out and no next cabinet is given";
    EXPECT_EQ(out.written, kRealSize);
    EXPECT_LT(out.peak_bytes, memory_bound());
}

TEST_P(Bomb, ABlockDeclaringOtherThanItDecodesWritesNoMore) {
    auto cabinet = folder_of_zeros();
    // The third block claims one byte less than it holds.
    size_t block = cab::load_u32(cabinet.data() + kFolderTable + cab::kFolderFirstBlock);
    for (int i = 0; i < 2; ++i)
        block += cab::kBlockHeaderSize +
                 cab::load_u16(cabinet.data() + block + cab::kBlockCompressedSize);
    put_u32(cabinet, block + cab::kBlockChecksum, 0);
    put_u16(cabinet, block + cab::kBlockUncompressedSize, 32767);
    const Outcome out = extract(cabinet);
    EXPECT_NE(out.code, 0);
    EXPECT_LT(out.written, kRealSize);
    EXPECT_LT(out.peak_bytes, memory_bound());
    if (GetParam().kind == MethodKind::Mszip) {
        // It reports what it produced, so the lie is caught at once.
        EXPECT_EQ(out.code, CAB_ERR_DECODE);
        EXPECT_EQ(out.written, 2u * 32768);
    }
}

std::vector<Method> compressing_methods() {
    return {
        {MethodKind::Mszip, 0, true}, {MethodKind::Lzx, 21, true}, {MethodKind::Quantum, 21, true}};
}

std::string method_name(const ::testing::TestParamInfo<Method> &info) {
    const char *const names[] = {"Stored", "Mszip", "Quantum", "Lzx"};
    return names[static_cast<int>(info.param.kind)];
}

TEST_P(Bomb, ABlockDeclaringMoreThanTheBufferHoldsIsRefused) {
    auto cabinet = folder_of_zeros();
    const size_t block = cab::load_u32(cabinet.data() + kFolderTable + cab::kFolderFirstBlock);
    put_u32(cabinet, block + cab::kBlockChecksum, 0);
    put_u16(cabinet, block + cab::kBlockUncompressedSize, 40000);
    const Outcome out = extract(cabinet);
    EXPECT_EQ(out.code, CAB_ERR_DECODE);
    EXPECT_EQ(out.written, 0u);
}

INSTANTIATE_TEST_SUITE_P(Methods, Bomb, ::testing::ValuesIn(compressing_methods()), method_name);

}  // namespace
