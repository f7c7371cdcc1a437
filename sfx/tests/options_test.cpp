#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "sfx/messages.h"
#include "sfx/options.h"
#include "sfx/platform.h"
#include "sfx/settings.h"
#include "sfx/strings.h"
#include "sfx/tests/installer_fixture.h"

namespace sfxtest {
namespace {

namespace fs = std::filesystem;

const std::vector<uint8_t> kCabinetStart = {'M', 'S', 'C', 'F', 0, 0, 0, 0};

class Payload : public InstallerTest {
protected:
    const sfx::PayloadConfig &payload_config = session_.payload_config;

    // Writes `bytes` as the installer's own file and reads its block.
    bool read(const std::string &bytes) {
        write_bytes(installer_, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        session_.process_values.module_path = installer_;
        return sfx::read_payload();
    }
};

TEST_F(Payload, ReadsEveryKeyAndFindsTheCabinet) {
    sfx::SfxBlock block;
    block.cabinet_name = "Tapmora.CAB";
    block.title = "Title";
    block.message = "Message";
    block.options = "-A -S -R -X -! -D\"$T\\\" -E\"setup.exe\"";
    const std::vector<uint8_t> stub(100, 'x');
    write_bytes(installer_, sfx::write_self_extractor(stub, block, kCabinetStart));
    session_.process_values.module_path = installer_;
    ASSERT_TRUE(sfx::read_payload());
    EXPECT_EQ(payload_config.cabinet_name, "Tapmora.CAB");
    EXPECT_EQ(payload_config.title, "Title");
    EXPECT_EQ(payload_config.message, "Message");
    EXPECT_EQ(payload_config.command_line, *block.options);
    const std::vector<uint8_t> file = read_bytes(installer_);
    EXPECT_EQ(file.size() - payload_config.cabinet_offset, kCabinetStart.size());
}

TEST_F(Payload, FindsAMarkerAcrossTheWindowEdge) {
    const std::string stub(4094, 'x');
    ASSERT_TRUE(read(stub + "$$$$$TITLE=edge" + std::string(1, '\0') + "$MSCF"));
    EXPECT_EQ(payload_config.title, "edge");
    EXPECT_EQ(payload_config.cabinet_offset, static_cast<int32_t>(stub.size() + 4 + 12 + 1));
}

TEST_F(Payload, RefusesFilesWithoutMarkerOrTerminator) {
    EXPECT_FALSE(read(std::string(5000, 'x') + "$$$MSCF")) << "three '$' are no marker";
    EXPECT_FALSE(read("$$$$$TITLE=never ends")) << "value without NUL";
    EXPECT_FALSE(read("$$$$$TITLE")) << "key without '='";
    const std::string entry = "$X=" + std::string(200, 'v') + std::string(1, '\0');
    std::string long_block = "$$$$";
    while (long_block.size() < 4200) long_block += entry;
    EXPECT_FALSE(read(long_block + "$MSCF")) << "terminator beyond 4096 bytes";
}

TEST_F(Payload, RefusesValuesLongerThanTheirFields) {
    const std::string nul(1, '\0');
    EXPECT_TRUE(read("$$$$$MSG=" + std::string(254, 'm') + nul + "$MSCF"));
    EXPECT_FALSE(read("$$$$$MSG=" + std::string(255, 'm') + nul + "$MSCF"));
    EXPECT_TRUE(read("$$$$$TITLE=" + std::string(259, 't') + nul + "$MSCF"));
    EXPECT_FALSE(read("$$$$$TITLE=" + std::string(260, 't') + nul + "$MSCF"));
}

TEST_F(Payload, AnExtraNulSpoilsTheNextKey) {
    const std::string nul(1, '\0');
    ASSERT_TRUE(read("$$$$$CABINET=a.cab" + nul + nul + "$TITLE=t" + nul + "$MSCF"));
    EXPECT_EQ(payload_config.cabinet_name, "a.cab");
    EXPECT_EQ(payload_config.title, "") << "the key began with the NUL byte";
}

TEST_F(Payload, ALongKeyBeginningWithTheTerminatorEndsTheBlock) {
    ASSERT_TRUE(read("$$$$$MSCFX=value"));
    EXPECT_EQ(payload_config.cabinet_offset, 5);
}

class Options : public InstallerTest {
protected:
    const sfx::SfxSettings &sfx_settings = session_.sfx_settings;

    // Applies `options` as the last of a run and returns the exit code when
    // the run ended, else -1.
    int apply(const char *options, bool split_words = true) {
        try {
            sfx::parse_options(options, split_words);
            sfx::resolve_destination();
            return -1;
        } catch (const ProcessExit &exit) {
            return exit.code;
        }
    }
    void expect_illegal(const char *options) {
        ui_.messages.clear();
        EXPECT_EQ(apply(options), 1) << options;
        ASSERT_EQ(ui_.messages.size(), 1u) << options;
        EXPECT_EQ(ui_.messages[0].text, "An illegal option has been set.");
        EXPECT_EQ(ui_.messages[0].style, 0x10u);
        EXPECT_EQ(ui_.messages[0].caption, "Pelmar Self Decompression");
    }
};

TEST_F(Options, LettersFlipTheirFlags) {
    apply("-ASR -x -!");
    EXPECT_TRUE(sfx_settings.overwrite_all);
    EXPECT_TRUE(sfx_settings.keep_attributes);
    EXPECT_TRUE(sfx_settings.quiet_finish);
    EXPECT_TRUE(sfx_settings.keep_folders);
    EXPECT_TRUE(sfx_settings.no_folder_dialog);
    apply("-a -  -N");
    EXPECT_FALSE(sfx_settings.overwrite_all) << "a letter given twice cancels out";
    EXPECT_TRUE(sfx_settings.newer_only);
    EXPECT_EQ(apply(nullptr), -1);
    EXPECT_EQ(apply(""), -1);
}

TEST_F(Options, ValuesAndQuotes) {
    apply("-D\"C:\\My Folder\" -Esetup.exe");
    EXPECT_EQ(sfx_settings.destination, "C:\\My Folder");
    EXPECT_EQ(sfx_settings.program, "setup.exe");
    apply("-DC:\\A\"B -E\"setup.exe\"");
    EXPECT_EQ(sfx_settings.destination, "C:\\AB");
    EXPECT_EQ(sfx_settings.program, "setup.exe");
    apply("-E\"\"");
    EXPECT_EQ(sfx_settings.program, "");
    apply("-D");
    EXPECT_EQ(sfx_settings.destination, "");
}

TEST_F(Options, OneCommandLineWordKeepsItsSpacesInAValue) {
    EXPECT_EQ(apply("-Dabc def", false), -1);
    EXPECT_EQ(sfx_settings.destination, "abc def");
    expect_illegal("-Dabc def");
    EXPECT_EQ(sfx_settings.destination, "abc") << "set before the stray letter ended the run";
}

TEST_F(Options, FolderMacros) {
    setenv("TMPDIR", dir_.c_str(), 1);
    const std::string temp = dir_ + "/pelmarself-" + std::to_string(getuid());
    apply("-D$T");
    EXPECT_EQ(sfx_settings.destination, temp);
    // In a UTF-8 locale the rest of the value takes native separators.
    apply("-D$t\\sub");
    EXPECT_EQ(sfx_settings.destination, temp + "/sub");
    apply("-D\"$T\\\"");
    EXPECT_EQ(sfx_settings.destination, temp + "/");
    session_.process_values.start_directory = "/start";
    apply("-D$c\\x -D$P\\Tool");
    EXPECT_EQ(sfx_settings.destination, "/opt/Tool");
    apply("-D$S\\x");
    EXPECT_EQ(sfx_settings.destination, "/x");
    sfx::platform::set_code_page(sfx::platform::CodePage::ShiftJis);
    apply("-D$P\\Tool");
    EXPECT_EQ(sfx_settings.destination, "/opt\\Tool") << "a Shift-JIS value keeps its bytes";
    session_.process_values.start_directory = "/start/\x8F\x5C";  // ending in 十
    apply("-D$C\\sub");
    EXPECT_EQ(sfx_settings.destination, "/start/\x8F\x5C\\sub")
        << "the folder's last character stays whole";
    sfx::platform::set_code_page(sfx::platform::CodePage::Utf8);
    apply("-D$W -E$Y");
    EXPECT_EQ(sfx_settings.destination, "/usr");
    EXPECT_EQ(sfx_settings.program, "$Y") << "macros belong to D only";
    unsetenv("TMPDIR");
}

TEST_F(Options, IllegalOptions) {
    for (const char *options : {"-D$Q", "-D$", "-A-S", "x", "-Z", "-A \"quoted\""}) {
        expect_illegal(options);
    }
    expect_illegal(("-E" + std::string(260, 'e')).c_str());
    session_.process_values.start_directory = std::string(250, 's');
    expect_illegal("-D$C\\0123456789");
}

TEST_F(Options, AMissingTmpdirMeansTmp) {
    setenv("TMPDIR", path("missing").c_str(), 1);
    EXPECT_EQ(apply("-D$T\\sub"), -1);
    unsetenv("TMPDIR");
    const std::string &destination = sfx_settings.destination;
    EXPECT_TRUE(destination.starts_with("/tmp/pelmarself-" + std::to_string(getuid())) &&
                destination.ends_with("/sub"))
        << destination;
}

// Runs whose block extracts into the temporary folder ($TMPDIR is tmp/).
class TemporaryFolder : public InstallerTest {
protected:
    void SetUp() override {
        InstallerTest::SetUp();
        fs::create_directories(path("tmp"));
        setenv("TMPDIR", path("tmp").c_str(), 1);
        write_installer({file_entry("a.txt", "alpha")}, "-R -! -D\"$T\\\"");
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        InstallerTest::TearDown();
    }
    std::string fixed_name() const { return "pelmarself-" + std::to_string(getuid()); }
    std::vector<std::string> temporary_entries() const {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(path("tmp")))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(TemporaryFolder, AFixedNameThatIsNotOursGivesWayToAFreshPrivateFolder) {
    fs::create_directories(path("elsewhere"));
    const std::string fixed = path("tmp/" + fixed_name());
    const std::vector<std::pair<const char *, std::function<void()>>> takeovers = {
        {"a link", [&] { fs::create_directory_symlink(path("elsewhere"), fixed); }},
        {"open to all",
         [&] {
             fs::create_directory(fixed);
             chmod(fixed.c_str(), 0777);
         }},
        {"another owner",
         [&] {
             fs::create_directory(fixed);
             chmod(fixed.c_str(), 0700);
             chown(fixed.c_str(), 54321, 54321);
         }},
    };
    for (const auto &[how, take_over] : takeovers) {
        SCOPED_TRACE(how);
        if (std::string(how) == "another owner" && geteuid() != 0)
            continue;  // only root can give a folder away
        fs::remove_all(path("tmp"));
        fs::create_directories(path("tmp"));
        take_over();
        ASSERT_EQ(run(), 0) << ui_.texts().front();
        const std::vector<std::string> entries = temporary_entries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0], fixed_name());
        EXPECT_TRUE(entries[1].starts_with(fixed_name() + "-")) << entries[1];
        EXPECT_EQ(fs::symlink_status(path("tmp/" + entries[1])).permissions(),
                  fs::perms::owner_all);
        EXPECT_EQ(read_text("tmp/" + entries[1] + "/a.txt"), "alpha");
        EXPECT_TRUE(fs::is_empty(path("elsewhere")));
    }
}

TEST_F(TemporaryFolder, ACommandLineDestinationReplacesItBeforeItIsMadeOrChecked) {
    ASSERT_EQ(run({"-D" + path("out")}), 0);
    EXPECT_EQ(read_text("out/a.txt"), "alpha");
    EXPECT_TRUE(temporary_entries().empty()) << "nothing made for a destination that is not used";

    fs::create_directory_symlink(path("out"), path("tmp/" + fixed_name()));
    EXPECT_EQ(run({"-D" + path("out2")}), 0) << "a fixed name taken by another is never looked at";
    EXPECT_EQ(temporary_entries(), std::vector<std::string>{fixed_name()});
}

using Messages = SessionTest;

TEST_F(Messages, FormatInsertsAsFormatMessageDoes) {
    const sfx::Insert drive("/media/floppy");
    const sfx::Insert number(int32_t{3});
    EXPECT_EQ(
        sfx::format_message("Please insert diskette no. %2!d! into the %1 drive.", &drive, &number),
        "Please insert diskette no. 3 into the /media/floppy drive.");
    EXPECT_EQ(sfx::format_message("100%% %1%n%2 %3%0gone", &drive, &number),
              "100% /media/floppy\r\n3 ");
}

TEST_F(Messages, LanguageFollowsTheFirstSetLocaleVariable) {
    setenv("LC_ALL", "", 1);
    setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
    setenv("LANG", "C", 1);
    EXPECT_EQ(sfx::language_from_environment(), sfx::Language::Japanese);
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(sfx::language_from_environment(), sfx::Language::English);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
    EXPECT_EQ(sfx::language_from_environment(), sfx::Language::English);

    session_.language = sfx::Language::Japanese;
    EXPECT_STREQ(sfx::load_string(sfx::StringId::NextCabinetMissing),
                 "フォルダ  \"%1\" に \"%2\" がありません.");
    session_.language = sfx::Language::English;
    EXPECT_STREQ(sfx::load_string(sfx::StringId::OverwriteCaption),
                 "Duplicated File Overwrite Confirmation");
}

}  // namespace
}  // namespace sfxtest
