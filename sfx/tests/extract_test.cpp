#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sfx/extract.h"
#include "sfx/platform.h"
#include "sfx/settings.h"
#include "sfx/strings.h"
#include "sfx/tests/installer_fixture.h"

namespace sfxtest {
namespace {

namespace fs = std::filesystem;
using cabwriter::FileEntry;

constexpr const char *kFailed = "The decompression process could not shut down properly.";
constexpr const char *kSuccess = "The decompression was successful.";

// 2025-12-07 12:00:00, the writer's default stamp, as local time.
std::time_t default_stamp() {
    std::time_t stamp = 0;
    sfx::platform::dos_time_to_unix(0x5B87, 0x6000, stamp);
    return stamp;
}

struct stat stat_of(const std::string &path) {
    struct stat info = {};
    stat(path.c_str(), &info);
    return info;
}

void set_mtime(const std::string &path, std::time_t time) {
    fs::last_write_time(
        path, fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(time)));
}

// Everything in `dir` (recursively), as relative paths.
std::vector<std::string> listing(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(dir)) {
        names.push_back(fs::relative(entry.path(), dir).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Extraction : public InstallerTest {
protected:
    std::string out() const { return path("out"); }
    // Options that skip the dialog and extract into out/.
    std::string into_out(const std::string &more = "") const {
        return "-! -D\"" + out() + "\" " + more;
    }
};

TEST_F(Extraction, ShippedOptionsExtractSilentlyAndStartTheProgram) {
    const std::string script = "#!/bin/sh\ntouch \"$(dirname \"$0\")/launched\"\n";
    write_installer({file_entry("setup.exe", script, 0x21 | 0x40),
                     file_entry("data\\a.txt", "alpha"), file_entry("b.txt", "beta", 0x22)},
                    "-A -S -R -X " + into_out("-E\"setup.exe\""));
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(read_text("out/data/a.txt"), "alpha");
    EXPECT_EQ(ui_.archive_lines, std::vector<std::string>{installer_})
        << "one cab_copy on the own file";
    EXPECT_EQ(ui_.last_total, script.size() + 9);

    const struct stat setup = stat_of(path("out/setup.exe"));
    EXPECT_EQ(setup.st_mtime, default_stamp());
    EXPECT_EQ(setup.st_mode & 0222, 0u) << "read-only";
    EXPECT_NE(setup.st_mode & 0100, 0u) << "run flag gives execute permission";
    EXPECT_NE(stat_of(path("out/b.txt")).st_mode & 0200, 0u) << "hidden has no meaning here";

    for (int i = 0; i < 100 && !fs::exists(path("out/launched")); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(fs::exists(path("out/launched")));
}

TEST_F(Extraction, WithoutKeepFoldersFilesLandInTheDestination) {
    write_installer({file_entry("sub\\a.txt", "alpha", 0x21)}, "-R " + into_out());
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(listing(out()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(stat_of(path("out/a.txt")).st_mtime, default_stamp());
    EXPECT_NE(stat_of(path("out/a.txt")).st_mode & 0200, 0u) << "attributes cleared without S";
}

TEST_F(Extraction, ASecondFileOfTheSameNameAsksBeforeOverwriting) {
    write_installer({file_entry("one\\same.txt", "first"), file_entry("two\\same.txt", "second")},
                    into_out());
    ui_.answers = {sfx::SFX_IDNO};
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_EQ(ui_.messages[0].style, 0x23u);
    EXPECT_EQ(ui_.messages[0].caption, "Duplicated File Overwrite Confirmation");
    EXPECT_EQ(ui_.messages[0].text, "The \"" + out() +
                                        "/\" \nto be decompressed into the file \"two\\same.txt\", "
                                        "and another file, have the same name.\nPlease confirm if "
                                        "the file can be overwritten.");
    EXPECT_EQ(ui_.messages[0].owner, sfx::MessageOwner::Progress);
    EXPECT_EQ(read_text("out/same.txt"), "first");
    EXPECT_EQ(ui_.messages[1].text, kSuccess);
    EXPECT_EQ(ui_.messages[1].owner, sfx::MessageOwner::None);
}

TEST_F(Extraction, AnExistingReadOnlyFileIsReplaced) {
    fs::create_directory(out());
    write_bytes(path("out/a.txt"), {'o', 'l', 'd'});
    chmod(path("out/a.txt").c_str(), 0444);
    write_installer({file_entry("a.txt", "new")}, "-R " + into_out());
    ui_.answers = {sfx::SFX_IDYES};
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(read_text("out/a.txt"), "new");

    chmod(path("out/a.txt").c_str(), 0444);
    ui_.messages.clear();
    ASSERT_EQ(run({"-A"}), 0);
    EXPECT_TRUE(ui_.messages.empty()) << "overwrite_all asks nothing";
}

TEST_F(Extraction, CancelOnTheOverwriteQuestionEndsTheRun) {
    fs::create_directory(out());
    write_bytes(path("out/a.txt"), {'o', 'l', 'd'});
    write_installer({file_entry("a.txt", "new")}, into_out());
    ui_.answers = {sfx::SFX_IDCANCEL};
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui_.texts().back(), kFailed);
    EXPECT_EQ(read_text("out/a.txt"), "old");
    EXPECT_EQ(listing(out()), std::vector<std::string>{"a.txt"}) << "no temporary file is left";
}

TEST_F(Extraction, NewerOnlySkipsFilesThatAreNotNewer) {
    fs::create_directory(out());
    write_bytes(path("out/same.txt"), {'o'});
    set_mtime(path("out/same.txt"), default_stamp());
    write_bytes(path("out/older.txt"), {'o'});
    set_mtime(path("out/older.txt"), default_stamp() - 2);
    write_installer({file_entry("same.txt", "new"), file_entry("older.txt", "new")},
                    "-A -R -N " + into_out());
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(read_text("out/same.txt"), "o");
    EXPECT_EQ(read_text("out/older.txt"), "new");
}

TEST_F(Extraction, NewerOnlySkipsAFileWhoseOutputPathIsNoFile) {
    fs::create_directories(path("out/folder.txt"));
    set_mtime(path("out/folder.txt"), default_stamp() - 100);
    fs::create_directories(path("elsewhere"));
    set_mtime(path("elsewhere"), default_stamp() - 100);
    fs::create_directory_symlink(path("elsewhere"), path("out/link.txt"));
    write_installer(
        {file_entry("folder.txt", "new"), file_entry("link.txt", "new"), file_entry("b.txt", "b")},
        "-A -R -N " + into_out());
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(fs::is_directory(path("out/folder.txt")));
    EXPECT_TRUE(fs::is_symlink(path("out/link.txt")));
    EXPECT_TRUE(fs::is_empty(path("out/folder.txt")));
    EXPECT_TRUE(fs::is_empty(path("elsewhere")));
    EXPECT_EQ(read_text("out/b.txt"), "b");
}

TEST_F(Extraction, EverySkippedFileGivesNoSuccessMessage) {
    fs::create_directory(out());
    write_bytes(path("out/a.txt"), {'o'});
    write_installer({file_entry("a.txt", "new")}, into_out());
    ui_.answers = {sfx::SFX_IDNO};
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(ui_.messages.size(), 1u);
}

TEST_F(Extraction, ADeepDestinationIsCreated) {
    write_installer({file_entry("a.txt", "alpha")}, "-R -! -D" + out() + "\\one\\two/three");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(read_text("out/one/two/three/a.txt"), "alpha");
}

TEST_F(Extraction, ARelativeDestinationIsCreatedInTheCurrentFolder) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    write_installer({file_entry("a.txt", "alpha")}, "-R -! -Dtool");
    const int code = run();
    fs::current_path(previous);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(read_text("tool/a.txt"), "alpha");
}

TEST_F(Extraction, WithoutDestinationFilesGoToTheStartFolder) {
    write_installer({file_entry("a.txt", "alpha")}, "-R -!");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(read_text("a.txt"), "alpha");
}

TEST_F(Extraction, DestinationsGetOneTrailingSeparator) {
    sfx::platform::set_code_page(sfx::platform::CodePage::ShiftJis);
    EXPECT_EQ(sfx::with_trailing_separator("/a"), "/a/");
    EXPECT_EQ(sfx::with_trailing_separator("/a/"), "/a/");
    EXPECT_EQ(sfx::with_trailing_separator("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(sfx::with_trailing_separator("C:\\\x83\x5C"), "C:\\\x83\x5C/") << "ソ";
    EXPECT_EQ(sfx::with_trailing_separator("C:\\\x95\x5C"), "C:\\\x95\x5C/") << "表";
    EXPECT_EQ(sfx::with_trailing_separator("C:\\\x8F\x5C"), "C:\\\x8F\x5C/") << "十";
    sfx::platform::set_code_page(sfx::platform::CodePage::Utf8);
    EXPECT_EQ(sfx::with_trailing_separator("オフ\\"), "オフ\\") << "UTF-8 has no trail byte 0x5C";
    EXPECT_EQ(sfx::with_trailing_separator("/a/\x83\\"), "/a/\x83\\");
}

TEST_F(Extraction, AFolderEndingInADoubleByteCharacterIsCreatedWhole) {
    const std::string juu = "\x8F\x5C";  // 十 in Shift-JIS
    write_installer({file_entry("a.txt", "alpha"), file_entry("b.txt", "beta")}, "-R -!");
    sfx::platform::set_code_page(sfx::platform::CodePage::ShiftJis);
    ASSERT_EQ(run({"-D" + path("out" + juu)}), 0);
    EXPECT_EQ(listing(dir_), (std::vector<std::string>{"out" + juu, "out" + juu + "/a.txt",
                                                       "out" + juu + "/b.txt", "setup-sfx"}));
}

TEST_F(Extraction, TheOverwriteQuestionShowsTheDestinationInNativeForm) {
    fs::create_directories(path("out/sub"));
    write_bytes(path("out/sub/a.txt"), {'o', 'l', 'd'});
    write_installer({file_entry("a.txt", "new")}, "-R -!");
    ui_.answers = {sfx::SFX_IDNO};
    ASSERT_EQ(run({"-D" + path("out\\sub")}), 0);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text.rfind("The \"" + path("out/sub/") + "\" \n", 0), 0u)
        << ui_.messages[0].text;
}

// The front ends take UTF-8: names and paths in a Shift-JIS locale are
// converted for them.
TEST_F(Extraction, ShiftJisPathsReachTheFrontEndInUtf8) {
    const std::string hyo = "\x95\x5C";  // 表 in Shift-JIS
    fs::create_directories(path(hyo));
    write_bytes(path(hyo + "/" + hyo + ".txt"), {'o', 'l', 'd'});
    write_installer({file_entry(hyo + ".txt", "new")}, "-R -!");
    sfx::platform::set_code_page(sfx::platform::CodePage::ShiftJis);
    ui_.answers = {sfx::SFX_IDYES};
    ASSERT_EQ(run({"-D" + path(hyo)}), 0);
    EXPECT_EQ(ui_.file_lines, std::vector<std::string>{path("表/表.txt")});
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text.rfind(
                  "The \"" + path("表/") + "\" \nto be decompressed into the file \"表.txt\"", 0),
              0u)
        << ui_.messages[0].text;
    EXPECT_EQ(read_text(hyo + "/" + hyo + ".txt"), "new");
}

TEST_F(Extraction, CancelTakesEffectAtTheNextFileStart) {
    write_installer({file_entry("a.txt", "a"), file_entry("b.txt", "b"), file_entry("c.txt", "c")},
                    into_out());
    ui_.on_file_drain = [this](size_t index) {
        if (index == 0) ui_.request_cancel();
    };
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(listing(out()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kFailed});
}

TEST_F(Extraction, CancelInTheLastFilesDrainDoesNotStopTheRun) {
    write_installer({file_entry("a.txt", "a"), file_entry("b.txt", "b")}, into_out());
    ui_.on_file_drain = [this](size_t index) {
        if (index == 1) ui_.request_cancel();
    };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kSuccess});
}

TEST_F(Extraction, HostileNamesWriteNothingOutsideTheDestination) {
    for (const char *name :
         {"..\\evil.txt", "../evil.txt", "a\\..\\..\\evil.txt", "a/../../evil.txt", "\\evil.txt",
          "/evil.txt", "C:\\evil.txt", "C:evil.txt", "c:/evil.txt", "..",
          "\\\\server\\share\\evil.txt", "//server/share/evil.txt"}) {
        SCOPED_TRACE(name);
        ui_.messages.clear();
        write_installer({file_entry("fine.txt", "ok"), file_entry(name, "evil")},
                        "-A -X " + into_out());
        EXPECT_EQ(run(), 1);
        EXPECT_EQ(ui_.texts(), std::vector<std::string>{kFailed});
        EXPECT_EQ(listing(dir_), (std::vector<std::string>{"out", "out/fine.txt", "setup-sfx"}));
    }
}

TEST_F(Extraction, NamesWithControlCharactersOrNamingNoFileAreRefused) {
    struct Case {
        const char *name;
        const char *options;
    };
    for (const Case &hostile :
         {Case{"line\nbreak.txt", "-X"}, Case{"tab\t.txt", ""}, Case{"\x1b[2J.txt", ""},
          Case{"sub\\bell\x07.txt", ""}, Case{"del\x7f.txt", "-X"}, Case{"sub\x01\\a.txt", "-X"},
          Case{".", "-X"}, Case{".", ""}, Case{"sub\\.", "-X"}, Case{"sub\\.", ""},
          Case{"sub\\", "-X"}, Case{"sub/", "-X"}, Case{"sub\\..", ""}}) {
        SCOPED_TRACE(hostile.name);
        fs::remove_all(out());
        ui_.messages.clear();
        write_installer({file_entry("fine.txt", "ok"), file_entry(hostile.name, "evil")},
                        std::string(hostile.options) + " " + into_out());
        EXPECT_EQ(run(), 1);
        EXPECT_EQ(ui_.texts(), std::vector<std::string>{kFailed})
            << "no question about the destination itself";
        EXPECT_EQ(listing(dir_), (std::vector<std::string>{"out", "out/fine.txt", "setup-sfx"}));
    }
}

TEST_F(Extraction, DoubleByteCharactersHideNoParentFolderInShiftJis) {
    // 0x81 is a lead byte: a '/' or '\\' behind it belongs to the character,
    // yet the file system still splits at a '/'.
    for (const char *name :
         {"\x81/../../evil.txt", "\x81\\..\\..\\evil.txt", "a\x81/..\x81/../../evil.txt",
          "\x83\\..\\..\\evil.txt", "\x81/..\\..\\evil.txt"}) {
        SCOPED_TRACE(name);
        fs::remove_all(out());
        write_installer({file_entry(name, "evil")}, "-A -X " + into_out());
        sfx::platform::set_code_page(sfx::platform::CodePage::ShiftJis);
        run();
        for (const std::string &entry : listing(dir_))
            EXPECT_TRUE(entry == "setup-sfx" || entry.rfind("out", 0) == 0)
                << entry << " is outside";
        if (fs::exists(out())) {
            for (const std::string &entry : listing(out()))
                EXPECT_EQ(entry.find("evil"), std::string::npos)
                    << entry << " is not in the destination itself";
        }
    }
}

TEST_F(Extraction, ASymbolicLinkAtTheOutputPathIsReplacedNotFollowed) {
    write_bytes(path("victim"), {'o', 'l', 'd'});
    fs::create_directories(out());
    fs::create_symlink(path("victim"), path("out/a.txt"));
    write_installer({file_entry("a.txt", "new")}, "-A " + into_out());
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(read_text("victim"), "old");
    EXPECT_FALSE(fs::is_symlink(path("out/a.txt")));
    EXPECT_EQ(read_text("out/a.txt"), "new");
}

// Lowers the file size limit of the test process while it lives; writes
// beyond it then fail with EFBIG, as they would on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lower{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_handler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_{};
    void (*previous_handler_)(int);
};

TEST_F(Extraction, AFullDiskEndsTheRunAndKeepsTheOldFile) {
    write_installer(
        {file_entry("small.txt", "fine"), file_entry("big.bin", std::string(200000, 'n'))},
        "-A " + into_out());
    // The limit falls inside the fourth 32768-byte write (a short write),
    // then exactly at its start (a failed one).
    for (rlim_t limit : {rlim_t{100000}, rlim_t{3 * 32768}}) {
        SCOPED_TRACE(limit);
        fs::remove_all(out());
        fs::create_directories(out());
        write_bytes(path("out/big.bin"), {'o', 'l', 'd'});
        ui_.messages.clear();
        int code;
        {
            FileSizeLimit full_disk(limit);
            code = run();
        }
        EXPECT_EQ(code, 1);
        EXPECT_EQ(ui_.texts(), std::vector<std::string>{kFailed});
        EXPECT_EQ(read_text("out/big.bin"), "old");
        EXPECT_EQ(listing(out()), (std::vector<std::string>{"big.bin", "small.txt"}))
            << "no temporary file left";
    }
}

TEST_F(Extraction, TerminationRemovesTheUnfinishedFileAndExitsWithOne) {
    write_installer(
        {file_entry("small.txt", "fine"), file_entry("big.bin", std::string(200000, 'n'))},
        "-A " + into_out());
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        fs::remove_all(out());
        // The run goes on in a child process, which the signal ends.
        const pid_t child = fork();
        if (child == 0) {
            ui_.on_progress = [&] {
                if (ui_.last_written > 0 && fs::exists(path("out/small.txt"))) raise(signal);
            };
            run();
            _exit(100);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
        EXPECT_EQ(listing(out()), std::vector<std::string>{"small.txt"})
            << "no temporary file left";
    }
}

TEST_F(Extraction, FoldersAreNeverEnteredThroughASymbolicLink) {
    fs::create_directories(path("out"));
    fs::create_directories(path("elsewhere"));
    fs::create_directory_symlink(path("elsewhere"), path("out/sub"));
    write_installer({file_entry("sub\\deeper\\x.txt", "x")}, "-X " + into_out());
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(fs::is_empty(path("elsewhere")));
}

TEST_F(Extraction, AnOverlongOutputPathIsRefused) {
    write_installer({file_entry(std::string(250, 'n'), "x")}, into_out());
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kFailed});
}

TEST_F(Extraction, AFolderLongerThanASplitKeepsIsNeverCutShort) {
    // A destination of 258 bytes: the output file's folder is longer than
    // the 255 bytes a split keeps, and cut short it would name a sibling.
    const std::string parent = path(std::string(200, 'a'));
    const std::string destination = parent + "/" + std::string(257 - parent.size() - 1, 'b');
    ASSERT_EQ(destination.size(), 257u);
    write_installer({file_entry("f", "x")}, "");
    EXPECT_EQ(run({"-!", "-D" + destination}), 1);
    EXPECT_EQ(listing(parent), std::vector<std::string>{fs::path(destination).filename().string()})
        << "no folder other than the destination";
}

class Dialog : public InstallerTest {};

TEST_F(Dialog, BuiltInTextsAndConfirmChecks) {
    write_installer({file_entry("a.txt", "alpha")}, "-R");
    ui_.typed_folders = {"", path("a|b"), path("chosen")};
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(ui_.dialogs.size(), 1u);
    EXPECT_EQ(ui_.dialogs[0].caption, "CAB Self Decompression");
    EXPECT_EQ(ui_.dialogs[0].label, "Decompress Destination Folder(&T):");
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_EQ(
        ui_.messages[0].text,
        "Please use \"Decompress Destination Folder\"\r\nas the decompress destination folder.");
    EXPECT_EQ(ui_.messages[0].style, 0x40u);
    EXPECT_EQ(ui_.messages[0].owner, sfx::MessageOwner::None);
    EXPECT_EQ(ui_.messages[1].text,
              "The \"" + path("a|b") +
                  "\"\r\nas a decompress destination folder name is incorrect.\r\n"
                  "Please set the correct folder name.");
    EXPECT_EQ(read_text("chosen/a.txt"), "alpha");
}

TEST_F(Dialog, BlockTitleAndMessage) {
    sfx::SfxBlock block;
    block.title = "Tapmora.EXE自己解凍ダイアログ";
    block.message = "解凍先フォルダの指定";
    block.options = "-R -D" + path("preset");
    write_installer(make_cabinet({file_entry("a.txt", "alpha")}), block);
    session_.language = sfx::Language::Japanese;
    ui_.typed_folders = {""};
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(ui_.dialogs.size(), 1u);
    EXPECT_EQ(ui_.dialogs[0].caption, *block.title);
    EXPECT_EQ(ui_.dialogs[0].label, "解凍先フォルダの指定(&T):");
    EXPECT_EQ(ui_.dialogs[0].folder, path("preset"));
    EXPECT_EQ(ui_.texts(), (std::vector<std::string>{
                               "\"解凍先フォルダの指定\"\r\nに解凍先のフォルダを指定してください.",
                               "解凍は中断されました."}));
}

TEST_F(Dialog, ALeadingTildeMeansTheHomeFolder) {
    const char *saved = std::getenv("HOME");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("HOME", path("home").c_str(), 1);
    const fs::path start = fs::current_path();
    fs::current_path(dir_);  // where a folder named "~" would appear
    write_installer({file_entry("a.txt", "alpha")}, "-R");
    ui_.typed_folders = {"~/inst"};
    const int code = run();
    fs::current_path(start);
    if (saved != nullptr)
        setenv("HOME", previous.c_str(), 1);
    else
        unsetenv("HOME");
    ASSERT_EQ(code, 0);
    EXPECT_EQ(read_text("home/inst/a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(path("~")));
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(Dialog, CancelEndsTheRunBeforeExtraction) {
    write_installer({file_entry("a.txt", "alpha")}, "");
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{"The decompression process has been aborted."});
    EXPECT_FALSE(ui_.progress_dialog_shown);
}

class Completion : public Extraction {};

// A name from outside can neither act on a terminal nor forge a line of
// the message that quotes it.
TEST_F(Completion, InsertsShowTheirControlCharacters) {
    write_installer({file_entry("a.txt", "x")}, into_out());
    ui_.answers = {sfx::SFX_IDNO};
    ASSERT_EQ(run({"-E\x1b]0;owned\x07\r\nPelmar Self Decompression: done\x9b"}), 0);
    EXPECT_EQ(
        ui_.texts(),
        (std::vector<std::string>{
            "Should the file \"^[]0;owned^G^M^JPelmar Self Decompression: done^[[\" be executed?",
            kSuccess}));
}

TEST_F(Completion, AsksBeforeStartingAndThenReportsSuccess) {
    write_installer({file_entry("setup.exe", "x")}, "-R " + into_out("-E\"setup.exe\""));
    ui_.answers = {sfx::SFX_IDNO};
    ASSERT_EQ(run({"-R"}), 0);
    EXPECT_EQ(ui_.texts(),
              (std::vector<std::string>{"Should the file \"setup.exe\" be executed?", kSuccess}));
    EXPECT_EQ(ui_.messages[0].style, 0x24u);
}

TEST_F(Completion, OnlyExistingFilesAreHandedToTheOpener) {
    // A stand-in opener on PATH logs every file it is asked to open.
    fs::create_directories(path("bin"));
    std::ofstream(path("bin/xdg-open"))
        << "#!/bin/sh\necho \"$1\" >> \"" << path("opened") << "\"\n";
    chmod(path("bin/xdg-open").c_str(), 0755);
    const std::string saved_path = std::getenv("PATH");
    setenv("PATH", (path("bin") + ":" + saved_path).c_str(), 1);
    write_installer({file_entry("readme.txt", "read me")}, "-A -R " + into_out());
    EXPECT_EQ(run({"-Emissing.exe"}), 0);
    EXPECT_EQ(run({"-Ereadme.txt"}), 0);
    setenv("PATH", saved_path.c_str(), 1);
    for (int i = 0; i < 250 && read_text("opened").find("readme.txt") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(read_text("opened"), out() + "/readme.txt\n") << "a missing program produces nothing";
}

TEST_F(Completion, AFileWithoutMarkerEndsWithTheFailureMessage) {
    write_bytes(installer_, std::vector<uint8_t>(100, 'x'));
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kFailed});
    EXPECT_EQ(ui_.messages[0].style, 0x10u);
}

}  // namespace
}  // namespace sfxtest
