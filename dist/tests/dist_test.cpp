// The shipped installers run as a user runs them, without a display: HOME,
// TMPDIR and the XDG folders point into a scratch directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "sfx/tests/child_process.h"

namespace fs = std::filesystem;

namespace {

using sfxtest::Outcome;

// One installer run. Answers, when given, are typed on a pseudo-terminal
// that is the run's controlling terminal, each after its prompt appears;
// without answers the run has no terminal at all.
struct Launch {
    std::string program;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
    std::vector<sfxtest::TypedAnswer> answers;
};

Outcome run_installer(const Launch &run) {
    const auto child = [&run] {
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "PELMARSELF_UI", "LC_ALL",
                                 "LC_MESSAGES", "XDG_DATA_HOME", "PREFIX", "QT_PLUGIN_PATH"})
            unsetenv(name);
        for (const auto &[name, value] : run.environment) setenv(name.c_str(), value.c_str(), 1);
        std::vector<std::string> argv = {run.program};
        argv.insert(argv.end(), run.arguments.begin(), run.arguments.end());
        sfxtest::exec_program(run.program, argv);
    };
    return run.answers.empty() ? sfxtest::run_without_terminal(child)
                               : sfxtest::run_on_terminal(child, run.answers);
}

class ShippedInstaller : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("dist-test-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "home");
        fs::create_directories(root / "tmp");
        extracted = root / "tmp" / ("pelmarself-" + std::to_string(getuid()));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    Launch run(std::vector<std::string> arguments, std::string language = "C") const {
        return Launch{std::string(DIST_DIR) + "/" + GetParam(),
                      std::move(arguments),
                      {{"HOME", (root / "home").string()},
                       {"TMPDIR", (root / "tmp").string()},
                       {"LANG", language}},
                      {}};
    }
    // Waits for the detached setup program to finish installing.
    bool installed() const {
        const fs::path entry = root / "home/.local/share/applications/tapmora.desktop";
        for (int i = 0; i < 200 && !fs::exists(entry); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return fs::exists(root / "home/.local/bin/tapmora") && fs::exists(entry) &&
               fs::exists(root / "home/.local/share/icons/hicolor/32x32/apps/tapmora.png") &&
               fs::exists(root / "home/.local/share/tapmora/help/index.html") &&
               fs::exists(root / "home/.local/share/tapmora/help/keyboard.png");
    }
    fs::path root, extracted;
};

TEST_P(ShippedInstaller, ExtractsSilentlyAndStartsSetup) {
    const Outcome out = run_installer(run({}));
    EXPECT_EQ(out.exit_code, 0) << out.output;
    EXPECT_EQ(out.output.find("successful"), std::string::npos) << out.output;
    for (const char *name : {"setup", "tapmora", "tapmora.desktop", "tapmora.png",
                             "help/index.html", "help/keyboard.png", "help/keyboard@2x.png"})
        EXPECT_TRUE(fs::exists(extracted / name)) << name;
    ASSERT_TRUE(installed()) << out.output;

    // Stored times (two-second steps) and the execute permission survive.
    const fs::path payload = fs::path(DIST_DIR) / "payload";
    for (const char *name : {"setup", "tapmora", "tapmora.desktop"}) {
        const auto stored = fs::last_write_time(payload / name);
        const auto written = fs::last_write_time(extracted / name);
        EXPECT_LE(std::chrono::abs(stored - written), std::chrono::seconds(2)) << name;
    }
    EXPECT_TRUE((fs::status(extracted / "setup").permissions() & fs::perms::owner_exec) !=
                fs::perms::none);
    EXPECT_TRUE((fs::status(extracted / "tapmora").permissions() & fs::perms::owner_exec) !=
                fs::perms::none);
    std::ifstream entry(root / "home/.local/share/applications/tapmora.desktop");
    const std::string text((std::istreambuf_iterator<char>(entry)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Exec=" + (root / "home/.local/bin/tapmora").string()), std::string::npos)
        << text;

    // A second run updates in place.
    EXPECT_EQ(run_installer(run({})).exit_code, 0);
    EXPECT_TRUE(installed());
}

TEST_P(ShippedInstaller, QuietFlagOnTheCommandLineBringsBackTheQuestions) {
    Launch r = run({"-R"});
    r.answers = {{"executed?", "y\n"}};
    const Outcome out = run_installer(r);
    EXPECT_EQ(out.exit_code, 0) << out.output;
    const size_t question = out.output.find("Should the file \"setup\" be executed?");
    const size_t success = out.output.find("The decompression was successful.");
    ASSERT_NE(question, std::string::npos) << out.output;
    ASSERT_NE(success, std::string::npos) << out.output;
    EXPECT_LT(question, success);
    EXPECT_TRUE(installed());
}

TEST_P(ShippedInstaller, DialogFlagAsksForTheDestinationWithTheTemporaryFolder) {
    Launch r = run({"-!"});
    r.answers = {{"]", "\n"}};  // accept the folder offered in brackets
    const Outcome out = run_installer(r);
    EXPECT_EQ(out.exit_code, 0) << out.output;
    EXPECT_NE(out.output.find("[" + extracted.string()), std::string::npos) << out.output;
    EXPECT_TRUE(installed());
}

TEST_P(ShippedInstaller, IllegalOptionEndsWithItsMessage) {
    for (const auto &[language, text] :
         {std::pair<std::string, std::string>{"C", "An illegal option has been set."},
          {"ja_JP.UTF-8", "指定されたオプションが異常です."}}) {
        const Outcome out = run_installer(run({"-Z"}, language));
        EXPECT_EQ(out.exit_code, 1);
        EXPECT_NE(out.output.find(text), std::string::npos) << out.output;
        EXPECT_FALSE(fs::exists(extracted / "setup"));
    }
}

// setup run on its own from the payload, with `ldd` replaced by a script
// that answers as on a system with or without some of Tapmora's libraries.
class ShippedSetup : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("dist-setup-test-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "home");
        fs::create_directories(root / "bin");
        fs::create_directories(root / "qt");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    // `ldd` reports `lines`, with ROOT standing for the scratch folder.
    void answer_ldd(std::string lines) const {
        for (size_t at = lines.find("ROOT"); at != std::string::npos; at = lines.find("ROOT"))
            lines.replace(at, 4, root.string());
        std::ofstream script(root / "bin/ldd");
        script << "#!/bin/sh\ncat <<'END'\n" << lines << "END\n";
        script.close();
        fs::permissions(root / "bin/ldd", fs::perms::owner_all);
    }
    void add_sqlite_driver(const fs::path &plugins) const {
        fs::create_directories(plugins / "sqldrivers");
        std::ofstream(plugins / "sqldrivers/libqsqlite.so") << "";
    }
    Outcome run_setup(std::map<std::string, std::string> environment = {}) const {
        environment["HOME"] = (root / "home").string();
        environment["PATH"] = (root / "bin").string() + ":/usr/bin:/bin";
        return run_installer({std::string(DIST_DIR) + "/payload/setup", {}, environment, {}});
    }
    bool installed() const { return fs::exists(root / "home/.local/bin/tapmora"); }
    fs::path root;
};

TEST_F(ShippedSetup, NamesTheMissingPackagesInBothLanguagesAndInstallsNothing) {
    answer_ldd(
        "\tlinux-vdso.so.1 (0x00007ffd5b1f2000)\n"
        "\tlibQt6Charts.so.6 => not found\n"
        "\tlibQt6Multimedia.so.6 => not found\n"
        "\tlibQt6Core.so.6 => ROOT/qt/libQt6Core.so.6 (0x00007f0e86400000)\n"
        "\tlibc.so.6 => /lib/x86_64-linux-gnu/libc.so.6 (0x00007f0e86000000)\n");
    const Outcome out = run_setup();
    EXPECT_EQ(out.exit_code, 1) << out.output;
    const std::string packages = "libqt6charts6 libqt6multimedia6 libqt6sql6-sqlite";
    EXPECT_NE(out.output.find("次のパッケージが足りません:\n  " + packages), std::string::npos)
        << out.output;
    EXPECT_NE(out.output.find("these Debian packages are missing:\n  " + packages),
              std::string::npos)
        << out.output;
    EXPECT_NE(out.output.find("sudo apt install " + packages + "\n"), std::string::npos)
        << out.output;
    EXPECT_FALSE(fs::exists(root / "home/.local")) << out.output;
}

TEST_F(ShippedSetup, FindsTheSqliteDriverBesideQtOrOnThePluginPath) {
    answer_ldd(
        "\tlibQt6Sql.so.6 => ROOT/qt/libQt6Sql.so.6 (0x00007f0e87d11000)\n"
        "\tlibQt6Core.so.6 => ROOT/qt/libQt6Core.so.6 (0x00007f0e86400000)\n");
    add_sqlite_driver(root / "qt/qt6/plugins");
    Outcome out = run_setup();
    EXPECT_EQ(out.exit_code, 0) << out.output;
    EXPECT_TRUE(installed());

    fs::remove_all(root / "home/.local");
    fs::remove_all(root / "qt/qt6");
    add_sqlite_driver(root / "plugins");
    out = run_setup({{"QT_PLUGIN_PATH", "/nowhere:" + (root / "plugins").string()}});
    EXPECT_EQ(out.exit_code, 0) << out.output;
    EXPECT_TRUE(installed());

    fs::remove_all(root / "home/.local");
    out = run_setup();
    EXPECT_EQ(out.exit_code, 1);
    EXPECT_NE(out.output.find("sudo apt install libqt6sql6-sqlite\n"), std::string::npos)
        << out.output;
    EXPECT_FALSE(installed());
}

INSTANTIATE_TEST_SUITE_P(Both, ShippedInstaller,
                         ::testing::Values("Tapmora-installer", "Tapmora-installer-cli"),
                         [](const auto &info) {
                             return std::string(info.param).size() > 17 ? "Cli" : "Stub";
                         });

}  // namespace
