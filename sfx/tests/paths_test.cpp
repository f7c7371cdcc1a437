#include <gtest/gtest.h>

#include <cstdlib>

#include "sfx/paths.h"
#include "sfx/platform.h"
#include "sfx/tests/installer_fixture.h"

namespace {

using sfx::platform::CodePage;

// Path routines step by the code page of the bound session.
using FolderNames = sfxtest::SessionTest;
using HomeFolder = sfxtest::SessionTest;
using NativePaths = sfxtest::SessionTest;
using NetworkPaths = sfxtest::SessionTest;
using PathEnds = sfxtest::SessionTest;
using PathSplit = sfxtest::SessionTest;
using ShownText = sfxtest::SessionTest;

// Shift-JIS characters whose second byte is a separator or a reserved byte.
const std::string kHyo = "\x95\x5C";  // 表
const std::string kSo = "\x83\x5C";   // ソ
const std::string kPo = "\x83\x7C";   // ポ
const std::string kJuu = "\x8F\x5C";  // 十

class CodePageScope {
public:
    explicit CodePageScope(CodePage page) { sfx::platform::set_code_page(page); }
    ~CodePageScope() { sfx::platform::set_code_page(CodePage::Utf8); }
};

TEST_F(PathSplit, SeparatesDriveDirectoryNameAndExtension) {
    const sfx::PathParts parts = sfx::split_path("C:\\dir/sub\\file.tar.gz");
    EXPECT_EQ(parts.drive, "C:");
    EXPECT_EQ(parts.directory, "\\dir/sub\\");
    EXPECT_EQ(parts.name, "file.tar");
    EXPECT_EQ(parts.extension, ".gz");

    const sfx::PathParts dotted_folder = sfx::split_path("a.b\\name");
    EXPECT_EQ(dotted_folder.name, "name") << "a dot before the directory ends is no extension";
    EXPECT_EQ(dotted_folder.extension, "");
}

TEST_F(PathSplit, ShiftJisTrailBytesAreNoSeparators) {
    CodePageScope shift_jis(CodePage::ShiftJis);
    const sfx::PathParts parts = sfx::split_path("C:\\" + kHyo + "\\" + kSo + ".txt");
    EXPECT_EQ(parts.directory, "\\" + kHyo + "\\");
    EXPECT_EQ(parts.name, kSo);
    EXPECT_EQ(parts.extension, ".txt");
}

TEST_F(NetworkPaths, RecognisesServerAndShare) {
    EXPECT_TRUE(sfx::is_unc_path("\\\\server\\share"));
    EXPECT_TRUE(sfx::is_unc_path("\\\\server\\share\\dir\\"));
    EXPECT_TRUE(sfx::is_unc_path("//server"));
    EXPECT_FALSE(sfx::is_unc_path("\\\\server\\"));
    EXPECT_FALSE(sfx::is_unc_path("\\\\"));
    EXPECT_FALSE(sfx::is_unc_path("C:\\\\server\\share"));
    EXPECT_FALSE(sfx::is_unc_path("/home/user"));
}

TEST_F(NetworkPaths, RootRunsThroughTheShare) {
    std::string root, directory, name, extension;
    EXPECT_EQ(
        sfx::split_path_root("\\\\srv\\share\\dir\\file.txt", &root, &directory, &name, &extension),
        1);
    EXPECT_EQ(root, "\\\\srv\\share");
    EXPECT_EQ(directory, "\\dir\\");
    EXPECT_EQ(name, "file");
    EXPECT_EQ(extension, ".txt");

    EXPECT_EQ(sfx::split_path_root("/opt/tool", &root, &directory, nullptr, nullptr), 0);
    EXPECT_EQ(root, "") << "a Linux path has no drive";
    EXPECT_EQ(directory, "/opt/");
}

TEST_F(FolderNames, AcceptsOrdinaryFolders) {
    for (const char *name : {"C:\\Program Files\\Tool", "tool", "C:tool", "C:\\",
                             "/home/user/new dir", "\\\\server\\share\\dir"}) {
        EXPECT_TRUE(sfx::is_valid_folder_name(name)) << name;
    }
}

TEST_F(FolderNames, RejectsReservedCharactersWildcardsAndEmptyComponents) {
    for (const char *name : {"C:\\a\\\\b", "C:\\a:b", "C:\\a|b", "C:\\a\"b", "C:\\a\\b*",
                             "C:\\a\\b?", "C:\\a*\\b", "C:\\a?\\b", "\\\\\\share"}) {
        EXPECT_FALSE(sfx::is_valid_folder_name(name)) << name;
    }
}

TEST_F(FolderNames, AcceptsShiftJisCharactersWithReservedSecondBytes) {
    CodePageScope shift_jis(CodePage::ShiftJis);
    for (const std::string &character : {kHyo, kSo, kPo, kJuu}) {
        EXPECT_TRUE(sfx::is_valid_folder_name("C:\\" + character + "\\" + character)) << character;
    }
    sfx::platform::set_code_page(CodePage::Utf8);
    EXPECT_FALSE(sfx::is_valid_folder_name("C:\\" + kPo)) << "in UTF-8 mode 0x7C is a bar";
}

TEST_F(NativePaths, TurnBackslashesIntoSlashesButKeepTrailBytes) {
    EXPECT_EQ(sfx::platform::native_path("/tmp/x\\y\\z"), "/tmp/x/y/z");
    CodePageScope shift_jis(CodePage::ShiftJis);
    EXPECT_EQ(sfx::platform::native_path("/tmp\\" + kHyo + "\\a"), "/tmp/" + kHyo + "/a");
}

TEST_F(NativePaths, ConvertsShiftJisNamesToUtf8) {
    std::string native;
    ASSERT_TRUE(sfx::platform::native_file_name(kHyo + ".txt", 0x20, native));
    EXPECT_EQ(native, "表.txt");
    ASSERT_TRUE(sfx::platform::native_file_name("表.txt", 0x20, native));
    EXPECT_EQ(native, "表.txt") << "valid UTF-8 stays as it is";
    ASSERT_TRUE(sfx::platform::native_file_name("\xE9", 0xA0, native));
    EXPECT_EQ(native, "\xE9") << "names flagged as UTF-8 are never converted";
}

}  // namespace

namespace {

TEST_F(PathEnds, TheLastCharacterDecides) {
    EXPECT_TRUE(sfx::ends_with_separator("a\\"));
    EXPECT_TRUE(sfx::ends_with_separator("/"));
    EXPECT_FALSE(sfx::ends_with_separator(""));
    EXPECT_TRUE(sfx::ends_with_separator("オフ\\")) << "UTF-8 has no trail byte 0x5C";
    CodePageScope shift_jis(CodePage::ShiftJis);
    EXPECT_FALSE(sfx::ends_with_separator("a" + kJuu));
    EXPECT_FALSE(sfx::ends_with_separator(kSo));
    EXPECT_TRUE(sfx::ends_with_separator(kJuu + "\\"));
}

TEST_F(HomeFolder, ALeadingTildeIsExpandedAsAShellDoes) {
    const char *saved = std::getenv("HOME");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(sfx::expand_home_folder("~"), "/home/u");
    EXPECT_EQ(sfx::expand_home_folder("~/inst"), "/home/u/inst");
    EXPECT_EQ(sfx::expand_home_folder("~\\inst"), "/home/u\\inst");
    for (const char *kept : {"~user/inst", "a/~/inst", "~inst", "", "/abs"}) {
        EXPECT_EQ(sfx::expand_home_folder(kept), kept);
    }
    setenv("HOME", "/", 1);
    EXPECT_EQ(sfx::expand_home_folder("~/inst"), "/inst");
    EXPECT_EQ(sfx::expand_home_folder("~"), "/");
    if (saved != nullptr)
        setenv("HOME", previous.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST_F(ShownText, ControlCharactersInCaretNotation) {
    using sfx::platform::visible_controls;
    EXPECT_EQ(visible_controls(std::string("\0\x01\x1b\x1f\x7f", 5)), "^@^A^[^_^?");
    EXPECT_EQ(visible_controls("a\r\nb"), "a^M^Jb");
    EXPECT_EQ(visible_controls("a\r\nb", true), "a^M\nb");
    EXPECT_EQ(visible_controls("\xc2\x9b"
                               "31m \xc2\x80 \xc2\xa0"),
              "^[[31m ^[@ \xc2\xa0")
        << "C1 as its ESC form";
    EXPECT_EQ(visible_controls("\x9b\x90 \xE8\xA1\xA8"), "^[[^[P 表") << "lone C1 bytes too";
    EXPECT_EQ(visible_controls("\xE9t\xE9"), "\xE9t\xE9") << "other invalid bytes pass";
}

TEST_F(ShownText, ShiftJisTextsAndUtf8) {
    std::string local;
    EXPECT_TRUE(sfx::platform::utf8_to_locale("\xE9", local));
    EXPECT_EQ(local, "\xE9") << "a UTF-8 locale takes the bytes as they are";
    EXPECT_EQ(sfx::platform::locale_shown_in_utf8("\xE9"), "\xE9");
    CodePageScope shift_jis(CodePage::ShiftJis);
    ASSERT_TRUE(sfx::platform::utf8_to_locale("C:\\表~", local));
    EXPECT_EQ(local, "C:\\" + kHyo + "~") << "code page 932 keeps backslash and tilde";
    EXPECT_FALSE(sfx::platform::utf8_to_locale("a😀", local)) << "no such character";
    EXPECT_EQ(sfx::platform::utf8_shown_in_locale("a😀b"), "a?b");
    EXPECT_EQ(sfx::platform::locale_shown_in_utf8("\\" + kJuu + "\x81"), "\\十\xEF\xBF\xBD");
}

}  // namespace
