// Folder jobs and the salvage record: what the reading commands build their
// parallel and salvaging walks on.
#include <gtest/gtest.h>

#include <vector>

#include "cab/cab.h"
#include "tools/pelmarcab/jobs.h"
#include "tools/pelmarcab/salvage.h"

namespace pelmarcab {
namespace {

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
