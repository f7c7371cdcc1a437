// The job pool and the salvage record: the two pieces the reading commands
// build their parallel and salvaging walks on.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "cab/cab.h"
#include "tools/pelmarcab/jobs.h"
#include "tools/pelmarcab/salvage.h"

namespace pelmarcab {
namespace {

TEST(Jobs, EveryJobRunsOnceWhateverTheThreadCount) {
    for (unsigned threads : {0u, 1u, 2u, 7u, 64u}) {
        std::vector<std::atomic<int>> runs(37);
        run_jobs(runs.size(), threads, [&](size_t i) { ++runs[i]; });
        for (size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(runs[i], 1) << threads << " " << i;
    }
    run_jobs(0, 4, [](size_t) { FAIL() << "no job to run"; });
}

TEST(Jobs, OneThreadRunsOnTheCallerInOrder) {
    std::vector<size_t> order;
    const auto caller = std::this_thread::get_id();
    run_jobs(5, 1, [&](size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
    });
    EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3, 4}));
}

TEST(Jobs, SeveralThreadsShareTheWork) {
    std::mutex lock;
    std::set<std::thread::id> seen;
    std::atomic<int> waiting{2};
    run_jobs(2, 2, [&](size_t) {
        {
            const std::lock_guard<std::mutex> hold(lock);
            seen.insert(std::this_thread::get_id());
        }
        // Both jobs wait for each other: they can only finish side by side.
        --waiting;
        while (waiting > 0) std::this_thread::yield();
    });
    EXPECT_EQ(seen.size(), 2u);
}

TEST(Jobs, ContinuedEntriesBelongToTheLastFolder) {
    EXPECT_EQ(entry_folder(0, 3), 0);
    EXPECT_EQ(entry_folder(2, 3), 2);
    for (uint16_t marker : {CAB_FOLDER_CONTINUED_FROM_PREV, CAB_FOLDER_CONTINUED_TO_NEXT,
                            CAB_FOLDER_CONTINUED_PREV_AND_NEXT})
        EXPECT_EQ(entry_folder(marker, 3), 2) << marker;
}

TEST(Salvage, AStoppedFolderKeepsItsFirstReason) {
    SalvageRecord record;
    EXPECT_FALSE(record.is_stopped(0));
    record.stop_folder(0, "first");
    record.stop_folder(0, "second");
    EXPECT_TRUE(record.is_stopped(0));
    EXPECT_FALSE(record.is_stopped(1));
    EXPECT_EQ(record.reason(0), "first");
    EXPECT_EQ(record.reason(3), "");
}

TEST(Salvage, ADamagedFileIsListedOnceAndSettled) {
    SalvageRecord record;
    const EntryKey key{0, 1, 50, "a"};
    EXPECT_FALSE(record.settled(key));
    record.settle_damaged(key, {"a", "why", 0, 50});
    record.settle_damaged(key, {"a", "why again", 0, 50});
    EXPECT_TRUE(record.settled(key));
    EXPECT_FALSE(record.settled({1, 1, 50, "a"})) << "same entry in the next cabinet";
    ASSERT_EQ(record.damaged().size(), 1u);
    EXPECT_EQ(record.damaged()[0].reason, "why");
}

TEST(Salvage, TheReportSaysWhatWasDoneWithTheFile) {
    const DamagedFile front{"f", "bad block", 1000, 5000};
    const DamagedFile none{"g", "bad block", 0, 7};
    EXPECT_EQ(damage_report(front, SalvageMode::Skip), "bad block; skipped");
    EXPECT_EQ(damage_report(front, SalvageMode::Partial),
              "bad block; bytes 1000-4999 of 5000 zero-filled");
    EXPECT_EQ(damage_report(none, SalvageMode::Partial), "bad block; written as 7 zero bytes");
}

}  // namespace
}  // namespace pelmarcab
