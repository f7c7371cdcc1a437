// Cabinet sets written by the writer and read back by the engine: spanning
// files and folders, split blocks, continuation entries and set checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "cab/format.h"
#include "cab/tests/extraction.h"
#include "cab/writer/ordered_work.h"

using cabtest::expect_files;
using cabtest::Extraction;
using cabtest::MemoryHost;
using cabtest::test_bytes;
using cabwriter::Folder;
using cabwriter::SetOptions;

namespace {

std::vector<Folder> sample_folders(size_t files, size_t size, uint32_t seed = 1) {
    std::vector<Folder> folders(2);
    for (size_t i = 0; i < files; ++i)
        folders[i % 2].files.push_back(cabtest::test_file(
            "dir\\file" + std::to_string(i), size + i * 997, seed + static_cast<uint32_t>(i)));
    return folders;
}

size_t count_events(const Extraction &x, const std::string &prefix) {
    return std::count_if(x.events.begin(), x.events.end(),
                         [&](const std::string &e) { return e.rfind(prefix, 0) == 0; });
}

SetOptions small_cabinets(uint32_t size) {
    SetOptions o;
    o.max_cabinet_size = size;
    return o;
}

}  // namespace

TEST(Set, EveryFileOfASpanningSetIsExtracted) {
    const auto folders = sample_folders(9, 30000);
    for (uint32_t limit : {40000u, 50000u, 100000u}) {
        MemoryHost host;
        const auto set = cabwriter::write_cabinet_set(folders, small_cabinets(limit));
        ASSERT_GT(set.size(), 2u);
        for (const auto &c : set) EXPECT_LE(c.bytes.size(), limit) << c.name;
        cabtest::add_cabinets(host, set);
        Extraction x(host);
        ASSERT_TRUE(x.copy_set(set[0].name)) << "limit " << limit << " error " << x.error.code;
        expect_files(x, folders);
        EXPECT_GT(count_events(x, "next"), 0u);
        EXPECT_GT(count_events(x, "continued"), 0u);
        EXPECT_EQ(host.open_handles(), 0u);
    }
}

TEST(Set, ReserveFieldsTravelThroughEveryCabinet) {
    const auto folders = sample_folders(5, 20000);
    SetOptions o = small_cabinets(30000);
    o.header_reserve = 20;
    o.folder_reserve = 4;
    o.block_reserve = 9;
    o.disk_name = "Disk";
    MemoryHost host;
    const auto set = cabwriter::write_cabinet_set(folders, o);
    cabtest::add_cabinets(host, set);
    Extraction x(host);
    ASSERT_TRUE(x.copy_set(set[0].name)) << x.error.code;
    expect_files(x, folders);
}

TEST(Set, SplitBlocksAreJoinedAcrossCabinets) {
    // One large file: every cabinet boundary cuts through a data block.
    Folder folder;
    folder.files.push_back({"big", test_bytes(200000, 3)});
    const auto set = cabwriter::write_cabinet_set({folder}, small_cabinets(43456));
    for (const auto &c : set) EXPECT_EQ(cab::load_u16(c.bytes.data() + cab::kHeaderFolderCount), 1);
    MemoryHost host;
    cabtest::add_cabinets(host, set);
    Extraction x(host);
    static int splits;
    splits = 0;
    x.hook = [](CabHookRecord *r) {
        if (r->kind == CAB_HOOK_BLOCK && r->split && r->part_offset > 0) ++splits;
        return 0;
    };
    ASSERT_TRUE(x.copy_set(set[0].name)) << x.error.code;
    EXPECT_EQ(x.files.at("big"), folder.files[0].data);
    EXPECT_EQ(static_cast<size_t>(splits), set.size() - 1);
    // The file continues through every cabinet: one call does it all.
    EXPECT_EQ(count_events(x, "start"), 1u);
}

TEST(Set, SkippedSpanningFileIsCountedSoTheNextOneResumesCorrectly) {
    // Two files end in the same split block region: skip the first, extract
    // the second; its continuation entry must still be found.
    const auto folders = sample_folders(12, 9000, 5);
    const auto set = cabwriter::write_cabinet_set(folders, small_cabinets(26000));
    MemoryHost host;
    cabtest::add_cabinets(host, set);
    Extraction x(host);
    std::vector<std::string> skipped;
    x.answer = [&](int32_t kind, CabNotification &n) {
        const bool spans = n.folder_index == CAB_FOLDER_CONTINUED_TO_NEXT;
        if (kind == CAB_NOTE_FILE_START && spans && skipped.size() < 2) {
            skipped.push_back(n.name);
            return 0;
        }
        return Extraction::kDefault;
    };
    ASSERT_TRUE(x.copy_set(set[0].name)) << x.error.code;
    ASSERT_FALSE(skipped.empty());
    for (const auto &folder : folders)
        for (const auto &f : folder.files) {
            if (std::find(skipped.begin(), skipped.end(), f.name) != skipped.end()) {
                EXPECT_FALSE(x.files.count(f.name));
            } else {
                ASSERT_TRUE(x.files.count(f.name)) << f.name;
                EXPECT_EQ(x.files.at(f.name), f.data) << f.name;
            }
        }
}

TEST(Set, WrongSetIdentifierAsksAgainWithTheError) {
    Folder folder;
    folder.files.push_back({"big", test_bytes(60000, 3)});
    auto set = cabwriter::write_cabinet_set({folder}, small_cabinets(40000));
    ASSERT_EQ(set.size(), 2u);
    set[1].bytes[cab::kHeaderSetId] ^= 1;
    MemoryHost host;
    cabtest::add_cabinets(host, set);
    Extraction x(host);
    EXPECT_FALSE(x.copy(set[0].name));
    EXPECT_EQ(x.error.code, CAB_ERR_ABORT);
    const std::vector<std::string> expected = {"next cabinet2.cab error=0",
                                               "next cabinet2.cab error=10"};
    std::vector<std::string> nexts;
    for (const auto &e : x.events)
        if (e.rfind("next", 0) == 0) nexts.push_back(e);
    EXPECT_EQ(nexts, expected);
    EXPECT_EQ(host.open_handles(), 0u);
}

TEST(Set, RetryAfterAFailedReadAsksForTheSameCabinet) {
    Folder folder;
    folder.files.push_back({"big", test_bytes(100000, 3)});
    const auto set = cabwriter::write_cabinet_set({folder}, small_cabinets(40000));
    ASSERT_EQ(set.size(), 3u);
    MemoryHost host;
    cabtest::add_cabinets(host, set);
    Extraction x(host);
    std::vector<std::string> asked;
    x.answer = [&](int32_t kind, CabNotification &n) {
        // The second cabinet's names have been read; its folder entry is next.
        if (kind == CAB_NOTE_CABINET && n.cabinet_index == 1 && asked.size() == 1)
            host.fail_call(cabtest::HostOp::Read, 1);
        if (kind != CAB_NOTE_NEXT_CABINET) return Extraction::kDefault;
        asked.push_back(std::string(n.name) + " error=" + std::to_string(n.error));
        return 0;
    };
    ASSERT_TRUE(x.copy(set[0].name)) << x.error.code;
    EXPECT_EQ(x.files.at("big"), folder.files[0].data);
    const std::vector<std::string> expected = {"cabinet2.cab error=0", "cabinet2.cab error=4",
                                               "cabinet3.cab error=0"};
    EXPECT_EQ(asked, expected);
}

TEST(Set, ContinuationWithOtherReserveSizesIsRefused) {
    Folder folder;
    folder.files.push_back({"big", test_bytes(60000, 3)});
    SetOptions reserves = small_cabinets(40000);
    reserves.header_reserve = 4;
    auto first = cabwriter::write_cabinet_set({folder}, reserves);
    for (uint16_t header_reserve : {uint16_t{5}, uint16_t{4}}) {
        SetOptions other = reserves;
        other.header_reserve = header_reserve;
        if (header_reserve == 4) other.folder_reserve = 1;
        auto second = cabwriter::write_cabinet_set({folder}, other);
        MemoryHost host;
        host.add_file("cabinet1.cab", first[0].bytes);
        host.add_file("cabinet2.cab", second[1].bytes);
        Extraction x(host);
        EXPECT_FALSE(x.copy("cabinet1.cab"));
        EXPECT_NE(std::find(x.events.begin(), x.events.end(), "next cabinet2.cab error=9"),
                  x.events.end())
            << header_reserve;
    }
}

TEST(Set, HostMayRenameTheNextCabinet) {
    Folder folder;
    folder.files.push_back({"big", test_bytes(60000, 3)});
    const auto set = cabwriter::write_cabinet_set({folder}, small_cabinets(40000));
    MemoryHost host;
    host.add_file("cabinet1.cab", set[0].bytes);
    host.add_file("disk2/renamed.cab", set[1].bytes);
    Extraction x(host);
    x.answer = [](int32_t kind, CabNotification &n) {
        if (kind != CAB_NOTE_NEXT_CABINET) return Extraction::kDefault;
        std::strcpy(n.name, "renamed.cab");
        std::strcpy(n.text3, "disk2/");
        return 0;
    };
    ASSERT_TRUE(x.copy("cabinet1.cab")) << x.error.code;
    EXPECT_EQ(x.files.at("big"), folder.files[0].data);
}

TEST(Writer, RefusesWhatNoCabinetCanHold) {
    Folder folder;
    folder.files.push_back({std::string(255, 'a'), {1, 2, 3}});
    EXPECT_NO_THROW(cabwriter::write_cabinet_set({folder}));
    folder.files.push_back({std::string(256, 'b'), {1}});
    EXPECT_THROW(cabwriter::write_cabinet_set({folder}), std::invalid_argument);
    Folder small;
    small.files.push_back({"x", test_bytes(1000, 1)});
    EXPECT_THROW(cabwriter::write_cabinet_set({small}, small_cabinets(40)), std::invalid_argument);
}

TEST(Writer, CabinetHeaderDescribesTheCabinet) {
    const auto set = cabwriter::write_cabinet_set(sample_folders(3, 100));
    ASSERT_EQ(set.size(), 1u);
    const auto &b = set[0].bytes;
    EXPECT_EQ(cab::load_u32(b.data() + cab::kHeaderCabinetSize), b.size());
    EXPECT_EQ(cab::load_u16(b.data() + cab::kHeaderVersion), 0x0103);
    EXPECT_EQ(cab::load_u16(b.data() + cab::kHeaderFolderCount), 2);
    EXPECT_EQ(cab::load_u16(b.data() + cab::kHeaderFileCount), 3);
    EXPECT_EQ(cab::load_u16(b.data() + cab::kHeaderFlags), 0);
}

// Folders of every method, two of them sharing one compressor object, laid
// out as one cabinet and as a set whose limit forces folders to be cut and
// compressed again: the bytes and the progress reports do not depend on the
// number of threads.
TEST(Writer, FoldersCompressedOnSeveralThreadsGiveTheSameBytes) {
    std::vector<Folder> folders;
    const char *methods[] = {"stored", "mszip", "lzx", "quantum", "mszip", "lzx"};
    for (size_t i = 0; i < std::size(methods); ++i) {
        Folder f;
        f.method.kind = i % 4 == 0   ? cabwriter::MethodKind::Stored
                        : i % 4 == 1 ? cabwriter::MethodKind::Mszip
                        : i % 4 == 2 ? cabwriter::MethodKind::Lzx
                                     : cabwriter::MethodKind::Quantum;
        f.method.window_exponent = i % 4 == 2 ? 16 : i % 4 == 3 ? 12 : 0;
        for (uint32_t k = 0; k < 3; ++k)
            f.files.push_back(cabtest::test_file(
                std::string(methods[i]) + std::to_string(i) + "\\f" + std::to_string(k),
                9000 + 4000 * k, static_cast<uint32_t>(i * 7 + k)));
        folders.push_back(std::move(f));
    }
    const auto shared =
        std::shared_ptr<cabwriter::FolderCompressor>(cabwriter::make_stored_compressor().release());
    folders[0].compressor = folders[4].compressor = shared;

    for (uint32_t limit : {0u, 40000u}) {
        std::vector<std::vector<uint8_t>> bytes;
        std::vector<std::vector<uint64_t>> reports;
        for (unsigned jobs : {1u, 2u, 5u}) {
            SetOptions o = small_cabinets(limit);
            o.jobs = jobs;
            reports.emplace_back();
            o.folder_done = [&reports](uint64_t n) { reports.back().push_back(n); };
            std::vector<uint8_t> all;
            for (const auto &c : cabwriter::write_cabinet_set(folders, o))
                all.insert(all.end(), c.bytes.begin(), c.bytes.end());
            bytes.push_back(std::move(all));
        }
        EXPECT_EQ(bytes[1], bytes[0]) << "limit " << limit;
        EXPECT_EQ(bytes[2], bytes[0]) << "limit " << limit;
        EXPECT_EQ(reports[2], reports[0]) << "limit " << limit;
        EXPECT_EQ(reports[0].size(), folders.size());
    }
}

TEST(OrderedWork, ResultsComeInOrderAndAFailureWithItsItem) {
    cabwriter::OrderedWork<size_t> work(40, 3, [](size_t i) {
        if (i == 7) throw std::runtime_error("item 7");
        return i * i;
    });
    for (size_t i = 0; i < 40; ++i) {
        if (i == 7) {
            EXPECT_THROW(work.take(i), std::runtime_error);
        } else {
            EXPECT_EQ(work.take(i), i * i);
        }
    }
}

TEST(OrderedWork, ItemsNotTakenAreDroppedWhenTheConsumerStops) {
    std::atomic<size_t> started{0};
    {
        cabwriter::OrderedWork<int> work(100000, 2, [&started](size_t) {
            ++started;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            return 0;
        });
        work.take(0);
    }
    EXPECT_LT(started.load(), 100000u);
}
