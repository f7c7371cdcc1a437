#include <gtest/gtest.h>

#include "sfx/tests/installer_fixture.h"

namespace sfxtest {
namespace {

class Sessions : public InstallerTest {};

// One session runs the installer twice: the second run starts from cleared
// records (no flag of the first run is left flipped, no count carried on)
// and keeps what the session's owner chose, here the language.
TEST_F(Sessions, EveryRunStartsFromClearedRecords) {
    write_installer({file_entry("a.txt", "alpha")}, "-! -D\"" + path("out") + "\"");
    session_.language = sfx::Language::Japanese;
    ASSERT_EQ(run({"-A", "-R"}), 0);
    EXPECT_EQ(read_text("out/a.txt"), "alpha");
    EXPECT_TRUE(ui_.messages.empty());

    ui_.answers = {sfx::SFX_IDYES};
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(ui_.dialogs.empty()) << "the block's -! is in force again";
    ASSERT_EQ(ui_.messages.size(), 2u) << "the overwrite question and the success message";
    EXPECT_EQ(ui_.messages[0].caption, "重複ファイル上書きの確認");
    EXPECT_EQ(ui_.messages[1].text, "解凍に成功しました.");
}

}  // namespace
}  // namespace sfxtest
