// Runs the built terminal installer at a terminal of its own, as a user
// runs it: what reaches the terminal, and what typing there does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "sfx/tests/child_process.h"
#include "sfx/tests/installer_fixture.h"

namespace sfxtest {
namespace {

namespace fs = std::filesystem;

class OnATerminal : public InstallerTest {
protected:
    // Writes the terminal installer "<dir>/installer" with one file. The
    // block is written by hand: it is meant to hold what no tool would write.
    void write_terminal_installer(const std::string &options, const std::string &title = "") {
        std::vector<uint8_t> bytes = read_bytes(PELMARSELF_CLI_PATH);
        std::string block = "$$$$";
        if (!title.empty()) block += "$TITLE=" + title + '\0';
        block += "$CMDLINE=" + options + '\0' + "$";
        bytes.insert(bytes.end(), block.begin(), block.end());
        const std::vector<uint8_t> cabinet = make_cabinet({file_entry("a.txt", "alpha")});
        bytes.insert(bytes.end(), cabinet.begin(), cabinet.end());
        write_bytes(path("installer"), bytes);
        chmod(path("installer").c_str(), 0755);
    }
    // Runs it in the scratch folder with HOME inside it and `language`.
    Outcome install(const std::vector<std::string> &arguments,
                    const std::vector<TypedAnswer> &answers, const std::string &language = "C",
                    const std::string &locale_path = "") {
        fs::create_directories(path("home"));
        return run_on_terminal(
            [&] {
                for (const char *name :
                     {"LC_ALL", "LC_MESSAGES", "DISPLAY", "WAYLAND_DISPLAY", "LOCPATH"})
                    unsetenv(name);
                setenv("LANG", language.c_str(), 1);
                setenv("HOME", path("home").c_str(), 1);
                if (!locale_path.empty()) setenv("LOCPATH", locale_path.c_str(), 1);
                if (chdir(dir_.c_str()) != 0) _exit(127);
                std::vector<std::string> argv = {"installer"};
                argv.insert(argv.end(), arguments.begin(), arguments.end());
                exec_program(path("installer"), argv);
            },
            answers);
    }
};

// Erases the progress line's own "clear line" sequences, the only control
// sequences the installer means to send.
std::string without_progress_lines(std::string output) {
    for (size_t at; (at = output.find("\r\x1b[K")) != std::string::npos;) output.erase(at, 4);
    return output;
}

TEST_F(OnATerminal, NamesAndTitlesCannotCommandTheTerminal) {
    write_terminal_installer("-D\"" + path("out\x1b[2J") + "\"", "Setup\x1b]0;retitled\x07");
    const Outcome outcome =
        install({"-Erun\x1b[H\nPelmar Self Decompression: The decompression was successful."},
                {{"] ", "\n"}, {"[y]es/[n]o ", "n\n"}});
    EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
    EXPECT_TRUE(fs::exists(path("out\x1b[2J/a.txt")));
    const std::string output = without_progress_lines(outcome.output);
    EXPECT_EQ(output.find_first_of("\x1b\x07\r"), std::string::npos) << output;
    for (const std::string &shown : std::vector<std::string>{
             "Setup^[]0;retitled^G\n", "[" + path("out^[[2J") + "] ",
             "  " + path("out^[[2J/a.txt") + "\n",
             "\"run^[[H^JPelmar Self Decompression: The decompression was successful.\""}) {
        EXPECT_NE(output.find(shown), std::string::npos) << shown << " in\n" << output;
    }
}

TEST_F(OnATerminal, ATildeTypedAtThePromptMeansTheHomeFolder) {
    write_terminal_installer("-R");
    const Outcome outcome = install({}, {{"] ", "~/inst\n"}});
    EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
    EXPECT_EQ(read_text("home/inst/a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(path("~")));
}

// A Shift-JIS locale is generated for the test; it needs the locale sources
// (Debian package "locales").
TEST_F(OnATerminal, AShiftJisLocaleGetsWholeCharactersAndItsOwnEncoding) {
    const std::string locales = path("locales");
    fs::create_directories(locales);
    const std::string generate = "localedef --no-warnings=ascii -f SHIFT_JIS -i ja_JP '" + locales +
                                 "/ja_JP.SJIS' >/dev/null 2>&1";
    if (std::system(generate.c_str()) != 0) GTEST_SKIP() << "cannot generate a Shift-JIS locale";
    write_terminal_installer("-!");
    const std::string juu = "\x8F\x5C";  // 十
    const Outcome outcome = install({"-Dout" + juu}, {}, "ja_JP.SJIS", locales);
    EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
    EXPECT_EQ(read_text("out" + juu + "/a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(path("out\x8F"))) << "no folder of half a character";
    const std::string output = without_progress_lines(outcome.output);
    EXPECT_NE(output.find("  out" + juu + "/a.txt\n"), std::string::npos) << output;
    // "Pelmar自己解凍: 解凍に成功しました." in code page 932.
    EXPECT_NE(
        output.find("Pelmar\x8E\xA9\x8C\xC8\x89\xF0\x93\x80: "
                    "\x89\xF0\x93\x80\x82\xC9\x90\xAC\x8C\xF7\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n"),
        std::string::npos)
        << output;
    EXPECT_EQ(output.find("解凍"), std::string::npos) << "no UTF-8 on a Shift-JIS terminal";
}

}  // namespace
}  // namespace sfxtest
