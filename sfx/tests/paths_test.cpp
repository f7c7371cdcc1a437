#include <gtest/gtest.h>

#include "sfx/paths.h"
#include "sfx/platform.h"

namespace {

using sfx::platform::CodePage;

// Shift-JIS characters whose second byte is a separator or a reserved byte.
const std::string kHyo = "\x95\x5C";   // 表
const std::string kSo = "\x83\x5C";    // ソ
const std::string kPo = "\x83\x7C";    // ポ
const std::string kJuu = "\x8F\x5C";   // 十

class CodePageScope {
public:
    explicit CodePageScope(CodePage page) { sfx::platform::set_code_page(page); }
    ~CodePageScope() { sfx::platform::set_code_page(CodePage::Utf8); }
};

TEST(PathSplit, SeparatesDriveDirectoryNameAndExtension) {
    const sfx::PathParts parts = sfx::split_path("C:\\dir/sub\\file.tar.gz");
    EXPECT_EQ(parts.drive, "C:");
    EXPECT_EQ(parts.directory, "\\dir/sub\\");
    EXPECT_EQ(parts.name, "file.tar");
    EXPECT_EQ(parts.extension, ".gz");

    const sfx::PathParts dotted_folder = sfx::split_path("a.b\\name");
    EXPECT_EQ(dotted_folder.name, "name") << "a dot before the directory ends is no extension";
    EXPECT_EQ(dotted_folder.extension, "");
}

TEST(PathSplit, ShiftJisTrailBytesAreNoSeparators) {
    CodePageScope shift_jis(CodePage::ShiftJis);
    const sfx::PathParts parts = sfx::split_path("C:\\" + kHyo + "\\" + kSo + ".txt");
    EXPECT_EQ(parts.directory, "\\" + kHyo + "\\");
    EXPECT_EQ(parts.name, kSo);
    EXPECT_EQ(parts.extension, ".txt");
}

TEST(NetworkPaths, RecognisesServerAndShare) {
    EXPECT_TRUE(sfx::is_unc_path("\\\\server\\share"));
    EXPECT_TRUE(sfx::is_unc_path("\\\\server\\share\\dir\\"));
    EXPECT_TRUE(sfx::is_unc_path("//server"));
    EXPECT_FALSE(sfx::is_unc_path("\\\\server\\"));
    EXPECT_FALSE(sfx::is_unc_path("\\\\"));
    EXPECT_FALSE(sfx::is_unc_path("C:\\\\server\\share"));
    EXPECT_FALSE(sfx::is_unc_path("/home/user"));
}

TEST(NetworkPaths, RootRunsThroughTheShare) {
    std::string root, directory, name, extension;
    EXPECT_EQ(sfx::split_path_root("\\\\srv\\share\\dir\\file.txt", &root, &directory, &name, &extension), 1);
    EXPECT_EQ(root, "\\\\srv\\share");
    EXPECT_EQ(directory, "\\dir\\");
    EXPECT_EQ(name, "file");
    EXPECT_EQ(extension, ".txt");

    EXPECT_EQ(sfx::split_path_root("/opt/tool", &root, &directory, nullptr, nullptr), 0);
    EXPECT_EQ(root, "") << "a Linux path has no drive";
    EXPECT_EQ(directory, "/opt/");
}

TEST(FolderNames, AcceptsOrdinaryFolders) {
    for (const char *name : {"C:\\Program Files\\Tool", "tool", "C:tool", "C:\\", "/home/user/new dir",
                             "\\\\server\\share\\dir"}) {
        EXPECT_TRUE(sfx::is_valid_folder_name(name)) << name;
    }
}

TEST(FolderNames, RejectsReservedCharactersWildcardsAndEmptyComponents) {
    for (const char *name : {"C:\\a\\\\b", "C:\\a:b", "C:\\a|b", "C:\\a\"b", "C:\\a\\b*", "C:\\a\\b?",
                             "C:\\a*\\b", "C:\\a?\\b", "\\\\\\share"}) {
        EXPECT_FALSE(sfx::is_valid_folder_name(name)) << name;
    }
}

TEST(FolderNames, AcceptsShiftJisCharactersWithReservedSecondBytes) {
    CodePageScope shift_jis(CodePage::ShiftJis);
    for (const std::string &character : {kHyo, kSo, kPo, kJuu}) {
        EXPECT_TRUE(sfx::is_valid_folder_name("C:\\" + character + "\\" + character)) << character;
    }
    sfx::platform::set_code_page(CodePage::Utf8);
    EXPECT_FALSE(sfx::is_valid_folder_name("C:\\" + kPo)) << "in UTF-8 mode 0x7C is a bar";
}

TEST(NativePaths, TurnBackslashesIntoSlashesButKeepTrailBytes) {
    EXPECT_EQ(sfx::platform::native_path("/tmp/x\\y\\z"), "/tmp/x/y/z");
    CodePageScope shift_jis(CodePage::ShiftJis);
    EXPECT_EQ(sfx::platform::native_path("/tmp\\" + kHyo + "\\a"), "/tmp/" + kHyo + "/a");
}

TEST(NativePaths, ConvertsShiftJisNamesToUtf8) {
    std::string native;
    ASSERT_TRUE(sfx::platform::native_file_name(kHyo + ".txt", 0x20, native));
    EXPECT_EQ(native, "表.txt");
    ASSERT_TRUE(sfx::platform::native_file_name("表.txt", 0x20, native));
    EXPECT_EQ(native, "表.txt") << "valid UTF-8 stays as it is";
    ASSERT_TRUE(sfx::platform::native_file_name("\xE9", 0xA0, native));
    EXPECT_EQ(native, "\xE9") << "names flagged as UTF-8 are never converted";
}

}  // namespace
