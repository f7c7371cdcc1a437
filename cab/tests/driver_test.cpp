// The extraction driver with stored data: walks, notifications, blocks,
// checksums, hooks, malformed cabinets and the error record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "cab/checksum.h"
#include "cab/format.h"
#include "cab/tests/extraction.h"

using cabtest::Extraction;
using cabtest::MemoryHost;
using cabtest::put_u16;
using cabtest::put_u32;
using cabtest::test_file;
using cabwriter::FileEntry;
using cabwriter::Folder;
using cabwriter::SetOptions;

namespace {

Folder stored(std::vector<FileEntry> files) {
    Folder f;
    f.files = std::move(files);
    return f;
}

std::vector<uint8_t> one_cabinet(std::vector<Folder> folders, const SetOptions &options = {}) {
    auto set = cabwriter::write_cabinet_set(folders, options);
    EXPECT_EQ(set.size(), 1u);
    return set[0].bytes;
}

// The folder table of a single cabinet without reserve fields or set names.
size_t folder_table(const std::vector<uint8_t> &) { return cab::kHeaderSize; }

size_t first_block(const std::vector<uint8_t> &cab) {
    return cab::load_u32(cab.data() + folder_table(cab));
}

// Runs one cab_copy over `bytes` stored as "a.cab"; returns the error code (0 on success).
int32_t extract_error(std::vector<uint8_t> bytes, int32_t *detail = nullptr,
                      std::string *fault = nullptr) {
    MemoryHost host;
    host.add_file("a.cab", std::move(bytes));
    Extraction x(host);
    const bool ok = x.copy("a.cab");
    EXPECT_EQ(host.open_handles(), 0u) << "handles left open";
    if (detail) *detail = x.error.detail;
    if (fault) *fault = x.fault();
    EXPECT_EQ(ok, x.error.failed == 0);
    return ok ? 0 : x.error.code;
}

}  // namespace

TEST(Walk, ExtractsEveryFileOfSeveralFoldersWithTheirAttributes) {
    MemoryHost host;
    std::vector<Folder> folders = {
        stored(
            {test_file("a.txt", 100, 1), test_file("dir\\b.bin", 70000, 2), test_file("empty", 0)}),
        stored({test_file("c", 32768, 3)})};
    folders[1].files[0].attributes = 0x21 | 0x40;
    host.add_file("set.cab", one_cabinet(folders));
    {
        Extraction x(host);
        ASSERT_TRUE(x.copy("set.cab")) << x.error.code;
        EXPECT_EQ(x.files.at("a.txt"), folders[0].files[0].data);
        EXPECT_EQ(x.files.at("dir\\b.bin"), folders[0].files[1].data);
        EXPECT_TRUE(x.files.at("empty").empty());
        EXPECT_EQ(x.files.at("c"), folders[1].files[0].data);
        // The run flag arrives as size 1 and is cleared from the attributes.
        EXPECT_EQ(x.file_ends.back().size, 1u);
        EXPECT_EQ(x.file_ends.back().attributes, 0x21);
        EXPECT_EQ(x.file_ends.front().size, 0u);
        EXPECT_EQ(x.events.front(), "cabinet  next=");
        EXPECT_EQ(x.events[1], "list 4");
        EXPECT_EQ(x.events.back(), "list 0");
        EXPECT_EQ(host.open_handles(), 0u);
    }
    EXPECT_EQ(host.live_blocks(), 0u) << "cab_destroy leaves memory behind";
}

TEST(Walk, AllFilesSkippedIsASuccessWithTwoFileListNotes) {
    MemoryHost host;
    host.add_file("a.cab", one_cabinet({stored({test_file("a", 10), test_file("b", 20)})}));
    Extraction x(host);
    x.answer = [](int32_t kind, CabNotification &) {
        return kind == CAB_NOTE_FILE_START ? 0 : Extraction::kDefault;
    };
    ASSERT_TRUE(x.copy("a.cab"));
    EXPECT_TRUE(x.files.empty());
    EXPECT_EQ(std::count_if(x.events.begin(), x.events.end(),
                            [](auto &e) { return e.rfind("list", 0) == 0; }),
              2);
    EXPECT_EQ(host.bytes_written(), 0u);
}

TEST(Walk, EmptyFileTouchesNoFolder) {
    // The folder's data is missing entirely; an empty file must not need it.
    auto cab = one_cabinet({stored({test_file("empty", 0)})});
    put_u32(cab, folder_table(cab), 0x7FFFFFF0);
    EXPECT_EQ(extract_error(cab), 0);
}

TEST(Walk, FilesListedOutOfOrderRestartTheFolder) {
    MemoryHost host;
    auto a = test_file("a", 40000, 1), b = test_file("b", 40000, 2);
    auto cab = one_cabinet({stored({a, b})});
    // Swap the two file entries (same name length, so same entry size).
    auto pos = cabtest::file_entry_positions(cab);
    std::vector<uint8_t> first(cab.begin() + pos[0], cab.begin() + pos[1]);
    std::copy(cab.begin() + pos[1], cab.begin() + pos[1] + first.size(), cab.begin() + pos[0]);
    std::copy(first.begin(), first.end(), cab.begin() + pos[1]);
    host.add_file("a.cab", cab);
    Extraction x(host);
    ASSERT_TRUE(x.copy("a.cab"));
    EXPECT_EQ(x.order, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(x.files.at("a"), a.data);
    EXPECT_EQ(x.files.at("b"), b.data);
}

TEST(Walk, TwoFilesInOneBlockAreWrittenFromOneRead) {
    MemoryHost host;
    host.add_file("a.cab", one_cabinet({stored({test_file("a", 100), test_file("b", 100)})}));
    Extraction x(host);
    static int blocks;
    blocks = 0;
    x.hook = [](CabHookRecord *r) {
        if (r->kind == CAB_HOOK_BLOCK) ++blocks;
        return 0;
    };
    ASSERT_TRUE(x.copy("a.cab"));
    EXPECT_EQ(blocks, 1);
}

TEST(Walk, NoAllocationPerFileOrBlock) {
    auto peak_for = [](size_t files) {
        MemoryHost host;
        std::vector<FileEntry> list;
        for (size_t i = 0; i < files; ++i)
            list.push_back(test_file("f" + std::to_string(i), 9000, uint32_t(i)));
        host.add_file("a.cab", one_cabinet({stored(list)}));
        Extraction x(host);
        EXPECT_TRUE(x.copy("a.cab"));
        return host.peak_bytes();
    };
    EXPECT_EQ(peak_for(2), peak_for(200));
}

TEST(Walk, FileListHostMayRewindTheTable) {
    MemoryHost host;
    auto cab = one_cabinet({stored({test_file("a", 10), test_file("b", 10)})});
    const auto pos = cabtest::file_entry_positions(cab);
    host.add_file("a.cab", cab);
    Extraction x(host);
    int lists = 0;
    x.answer = [&](int32_t kind, CabNotification &n) {
        if (kind == CAB_NOTE_FILE_LIST && ++lists == 2) {
            n.folder_index = 1;  // walk one more entry: the second again
            n.size = static_cast<uint32_t>(pos[1]);
        }
        return Extraction::kDefault;
    };
    ASSERT_TRUE(x.copy("a.cab"));
    EXPECT_EQ(x.order, (std::vector<std::string>{"a", "b", "b"}));
}

TEST(Walk, AbortAnswersEndWithAbortAndCloseTheOutput) {
    for (int32_t kind :
         {CAB_NOTE_CABINET, CAB_NOTE_FILE_START, CAB_NOTE_FILE_END, CAB_NOTE_FILE_LIST}) {
        MemoryHost host;
        host.add_file("a.cab", one_cabinet({stored({test_file("a", 10)})}));
        Extraction x(host);
        x.answer = [&](int32_t k, CabNotification &n) {
            if (k == CAB_NOTE_FILE_END)
                MemoryHost::close(n.handle);  // not closed by us: engine closes
            return k == kind ? -1 : Extraction::kDefault;
        };
        EXPECT_FALSE(x.copy("a.cab")) << kind;
        EXPECT_EQ(x.error.code, CAB_ERR_ABORT) << kind;
        EXPECT_EQ(x.error.failed, 1);
    }
}

TEST(Walk, FileEndAnsweredZeroIsAnOutputError) {
    MemoryHost host;
    host.add_file("a.cab", one_cabinet({stored({test_file("a", 10)})}));
    Extraction x(host);
    x.answer = [](int32_t k, CabNotification &n) {
        if (k != CAB_NOTE_FILE_END) return Extraction::kDefault;
        MemoryHost::close(n.handle);
        return 0;
    };
    EXPECT_FALSE(x.copy("a.cab"));
    EXPECT_EQ(x.error.code, CAB_ERR_OUTPUT);
}

TEST(Walk, ShortWriteIsAnOutputErrorAndTheContextStaysUsable) {
    MemoryHost host;
    host.add_file("a.cab", one_cabinet({stored({test_file("a", 50000)})}));
    Extraction x(host);
    host.fault = [](cabtest::HostOp op) { return op == cabtest::HostOp::Write; };
    EXPECT_FALSE(x.copy("a.cab"));
    EXPECT_EQ(x.error.code, CAB_ERR_OUTPUT);
    EXPECT_EQ(host.open_handles(), 0u) << "the engine closes the output on failure";
    host.fault = nullptr;
    EXPECT_TRUE(x.copy("a.cab"));
    EXPECT_EQ(x.files.at("a").size(), 50000u);
}

TEST(Hook, TransformsBlockBytesInPlaceAndSeesReserves) {
    MemoryHost host;
    FileEntry f = test_file("secret", 50000, 7);
    std::vector<uint8_t> plain = f.data;
    for (auto &b : f.data) b ^= 0x5A;
    SetOptions options;
    options.header_reserve = 6;
    options.folder_reserve = 3;
    options.block_reserve = 2;
    host.add_file("a.cab", one_cabinet({stored({f})}, options));
    Extraction x(host);
    static std::vector<std::string> seen;
    seen.clear();
    x.hook = [](CabHookRecord *r) {
        std::string line = std::to_string(r->kind) + ":" + std::to_string(r->reserve_size);
        if (r->reserve) line += ":" + std::to_string(r->reserve[0]);
        seen.push_back(line);
        if (r->kind == CAB_HOOK_BLOCK)
            for (uint16_t i = 0; i < r->block_size; ++i) r->block_data[i] ^= 0x5A;
        return 0;
    };
    ASSERT_TRUE(x.copy("a.cab")) << x.error.code;
    EXPECT_EQ(x.files.at("secret"), plain);
    // Reserve patterns of the writer: header 0x10.., folder 0x40.., block 0xB0..
    EXPECT_EQ(seen.at(0), "0:6:16");
    EXPECT_EQ(seen.at(1), "1:3:64");
    EXPECT_EQ(seen.at(2), "2:2:176");
}

TEST(Hook, CabinetRecordWithoutReserveFieldsSaysNone) {
    MemoryHost host;
    host.add_file("a.cab", one_cabinet({stored({test_file("a", 10)})}));
    Extraction x(host);
    static CabHookRecord first;
    x.hook = [](CabHookRecord *r) {
        if (r->kind == CAB_HOOK_CABINET) first = *r;
        return 0;
    };
    ASSERT_TRUE(x.copy("a.cab"));
    EXPECT_EQ(first.reserve_size, 0xFFFF);
    EXPECT_EQ(first.reserve, nullptr);
}

TEST(Checksum, FlippedBitIsCorruptUnlessTheBlockCarriesNone) {
    auto cab = one_cabinet({stored({test_file("a", 3000)})});
    cab[first_block(cab) + cab::kBlockHeaderSize + 100] ^= 0x10;
    EXPECT_EQ(extract_error(cab), CAB_ERR_CORRUPT);

    SetOptions no_sums;
    no_sums.checksums = false;
    auto unchecked = one_cabinet({stored({test_file("a", 3000)})}, no_sums);
    unchecked[first_block(unchecked) + cab::kBlockHeaderSize + 100] ^= 0x10;
    EXPECT_EQ(extract_error(unchecked), 0);
}

TEST(Checksum, MatchesThePublishedDefinitionForOddTails) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7};
    // One word 0x04030201, then the tail 5 6 7 as 5<<16 ^ 6<<8 ^ 7.
    EXPECT_EQ(cab::cabinet_checksum(bytes, 7, 0), 0x04030201u ^ 0x050607u);
    EXPECT_EQ(cab::cabinet_checksum(bytes, 6, 1), 1u ^ 0x04030201u ^ 0x0506u);
    EXPECT_EQ(cab::cabinet_checksum(bytes, 1, 0), 1u);
}

TEST(Malformed, HeaderProblemsHaveTheirCodes) {
    const auto good = one_cabinet({stored({test_file("a", 10)})});
    auto version = good;
    put_u16(version, cab::kHeaderVersion, 0x0102);
    int32_t detail = 0;
    EXPECT_EQ(extract_error(version, &detail), CAB_ERR_VERSION);
    EXPECT_EQ(detail, 0x0102);

    auto signature = good;
    signature[0] = 'X';
    EXPECT_EQ(extract_error(signature), CAB_ERR_SIGNATURE);
    EXPECT_EQ(extract_error({good.begin(), good.begin() + 35}), CAB_ERR_SIGNATURE);

    auto reserve = good;  // reserve flag set, but only part of the sizes present
    put_u16(reserve, cab::kHeaderFlags, cab::kFlagReserve);
    reserve.resize(cab::kHeaderSize + 2);
    EXPECT_EQ(extract_error(reserve), CAB_ERR_SIGNATURE);
}

TEST(Malformed, TableAndBlockProblemsAreCorrupt) {
    const auto good = one_cabinet({stored({test_file("a", 10)})});
    const size_t entry = cabtest::file_entry_positions(good)[0];

    auto folder = good;  // folder index beyond the folder table
    put_u16(folder, entry + cab::kFileFolderIndex, 1);
    EXPECT_EQ(extract_error(folder), CAB_ERR_CORRUPT);

    auto files = good;  // file table beyond the end
    put_u32(files, cab::kHeaderFilesOffset, 0x7FFFFF00);
    EXPECT_EQ(extract_error(files), CAB_ERR_CORRUPT);

    auto huge = good;  // offsets the host's 32-bit seek cannot reach
    put_u32(huge, cab::kHeaderFilesOffset, 0xFFFFFFF0);
    EXPECT_EQ(extract_error(huge), CAB_ERR_CORRUPT);

    auto block = good;  // block larger than the compressed buffer
    put_u16(block, first_block(block) + cab::kBlockCompressedSize, 40000);
    EXPECT_EQ(extract_error(block), CAB_ERR_CORRUPT);

    auto truncated = good;
    truncated.resize(truncated.size() - 3);
    EXPECT_EQ(extract_error(truncated), CAB_ERR_CORRUPT);
}

TEST(Malformed, StoredBlockWhoseCountsDifferIsADecodeError) {
    SetOptions no_sums;
    no_sums.checksums = false;
    auto cab = one_cabinet({stored({test_file("a", 10)})}, no_sums);
    put_u16(cab, first_block(cab) + cab::kBlockUncompressedSize, 11);
    EXPECT_EQ(extract_error(cab), CAB_ERR_DECODE);
}

TEST(Malformed, DecodeErrorsNameTheCheckThatFoundThem) {
    SetOptions no_sums;
    no_sums.checksums = false;
    std::string fault;
    auto counts = one_cabinet({stored({test_file("a", 10)})}, no_sums);
    EXPECT_EQ(extract_error(counts, nullptr, &fault), 0);
    EXPECT_EQ(fault, "") << "no decode error, no fault";
    put_u16(counts, first_block(counts) + cab::kBlockUncompressedSize, 11);
    EXPECT_EQ(extract_error(counts, nullptr, &fault), CAB_ERR_DECODE);
    EXPECT_TRUE(fault.starts_with("driver.cpp:") && fault.ends_with(": produced != expected"))
        << fault;

    auto window = one_cabinet({stored({test_file("a", 10)})});
    put_u16(window, folder_table(window) + cab::kFolderMethod, 0x1602);
    EXPECT_EQ(extract_error(window, nullptr, &fault), CAB_ERR_DECODE);
    EXPECT_TRUE(fault.ends_with(": queried == kDecodeBadWindow")) << fault;

    const cabwriter::Method mszip{cabwriter::MethodKind::Mszip, 0, true};
    auto signature = one_cabinet({Folder{mszip, {test_file("a", 100)}, nullptr}}, no_sums);
    signature[first_block(signature) + cab::kBlockHeaderSize] = 'X';  // where "CK" belongs
    EXPECT_EQ(extract_error(signature, nullptr, &fault), CAB_ERR_DECODE);
    EXPECT_TRUE(fault.starts_with("mszip.cpp:") &&
                fault.find("input[0] != 'C'") != std::string::npos)
        << fault;
}

TEST(Malformed, UnknownMethodsAreMethodErrors) {
    for (uint16_t method : {uint16_t{4}, uint16_t{14}, uint16_t{15}, uint16_t{0x120F}}) {
        auto cab = one_cabinet({stored({test_file("a", 10)})});
        put_u16(cab, folder_table(cab) + cab::kFolderMethod, method);
        EXPECT_EQ(extract_error(cab), CAB_ERR_METHOD) << method;
    }
}

TEST(Malformed, NamesOfExactly255AreAcceptedAndUnterminatedOnesRefused) {
    const std::string longest(255, 'n');
    auto cab = one_cabinet({stored({test_file(longest, 10)})});
    EXPECT_EQ(extract_error(cab), 0);
    // Replace the terminator: the name now runs into the block header that follows.
    const size_t entry = cabtest::file_entry_positions(cab)[0];
    ASSERT_NE(cab[entry + cab::kFileEntrySize + 255 + 1], 0)
        << "choose content with a nonzero checksum byte";
    cab[entry + cab::kFileEntrySize + 255] = 'x';
    EXPECT_EQ(extract_error(cab), CAB_ERR_CORRUPT);
}

TEST(Malformed, OverlongPathIsRefusedAsAnOpenError) {
    MemoryHost host;
    Extraction x(host);
    const std::string path(200, 'p'), name(100, 'n');
    EXPECT_FALSE(x.copy(name, path));
    EXPECT_EQ(x.error.code, CAB_ERR_OPEN);
    EXPECT_FALSE(x.copy("missing.cab"));
    EXPECT_EQ(x.error.code, CAB_ERR_OPEN);
}

TEST(Malformed, FolderRunningOutOfBlocksAsksForTheNextCabinet) {
    auto cab = one_cabinet({stored({test_file("a", 10)})});
    const size_t entry = cabtest::file_entry_positions(cab)[0];
    put_u32(cab, entry + cab::kFileSize, 50000);  // more than the folder holds
    MemoryHost host;
    host.add_file("a.cab", cab);
    Extraction x(host);
    x.answer = [](int32_t kind, CabNotification &n) {
        if (kind != CAB_NOTE_NEXT_CABINET) return Extraction::kDefault;
        EXPECT_STREQ(n.name, "");
        return -1;
    };
    EXPECT_FALSE(x.copy("a.cab"));
    EXPECT_EQ(x.error.code, CAB_ERR_ABORT);
    EXPECT_EQ(host.open_handles(), 0u);
}

TEST(IsCabinet, FillsTheSummaryOrSaysNo) {
    MemoryHost host;
    SetOptions options;
    options.reserve_fields = true;
    host.add_file("a.cab", one_cabinet({stored({test_file("a", 10), test_file("b", 5)})}, options));
    CabError error{};
    CabContext *cx = host.create_context(&error);
    const int32_t h = MemoryHost::open("a.cab", CAB_OPEN_READ, 0);
    CabSummary s{};
    ASSERT_EQ(cab_is_cabinet(cx, h, &s), 1);
    EXPECT_EQ(s.folder_count, 1);
    EXPECT_EQ(s.file_count, 2);
    EXPECT_EQ(s.cabinet_size, static_cast<int32_t>(host.file("a.cab").size()));
    EXPECT_EQ(s.has_reserve, 1);
    EXPECT_EQ(s.has_next, 0);
    EXPECT_EQ(cab_is_cabinet(cx, h, &s), 0);  // the position moved on: no header there
    EXPECT_EQ(error.failed, 0);
    MemoryHost::close(h);
    cab_destroy(cx);
}

TEST(Malformed, DecoderRefusingItsWindowIsADecodeError) {
    // LZX without a window exponent, Quantum with one beyond its tables.
    for (uint16_t method : {uint16_t{0x0003}, uint16_t{0x1602}}) {
        auto cab = one_cabinet({stored({test_file("a", 10)})});
        put_u16(cab, folder_table(cab) + cab::kFolderMethod, method);
        EXPECT_EQ(extract_error(cab), CAB_ERR_DECODE) << method;
    }
}

TEST(Memory, FailedAllocationsAreMemoryErrorsAndLeaveNothingBehind) {
    MemoryHost host;
    host.add_file("a.cab", one_cabinet({stored({test_file("a", 10)})}));
    CabError error{};
    host.fault = [](cabtest::HostOp op) { return op == cabtest::HostOp::Alloc; };
    EXPECT_EQ(host.create_context(&error), nullptr);
    EXPECT_EQ(error.code, CAB_ERR_MEMORY);

    // Let the context through, then fail the k-th allocation after it.
    // Folder entry, block header, data buffer.
    for (int k = 1; k <= 3; ++k) {
        int allocations = 0;
        host.fault = nullptr;
        {
            Extraction x(host);
            host.fault = [&](cabtest::HostOp op) {
                return op == cabtest::HostOp::Alloc && ++allocations == k;
            };
            EXPECT_FALSE(x.copy("a.cab")) << k;
            EXPECT_EQ(x.error.code, CAB_ERR_MEMORY) << k;
            EXPECT_EQ(host.open_handles(), 0u);
            host.fault = nullptr;
            EXPECT_TRUE(x.copy("a.cab")) << "context unusable after failure " << k;
        }
        EXPECT_EQ(host.live_blocks(), 0u) << k;
    }
}
