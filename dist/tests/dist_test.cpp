// The shipped installers run as a user runs them, without a display: HOME,
// TMPDIR and the XDG folders point into a scratch directory.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exit_code = -1;
    std::string output;  // standard output and standard error
};

// One installer run. Answers, when given, are typed on a pseudo-terminal
// that is the run's controlling terminal, each after its prompt appears;
// without answers the run has no terminal at all.
struct Launch {
    std::string program;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
    std::vector<std::pair<std::string, std::string>> answers;  // prompt text, line to type
};

void prepare_child(const Launch &run) {
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "PELMARSELF_UI", "LC_ALL", "LC_MESSAGES",
                             "XDG_DATA_HOME", "PREFIX", "QT_PLUGIN_PATH"})
        unsetenv(name);
    for (const auto &[name, value] : run.environment) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char *> argv{const_cast<char *>(run.program.c_str())};
    for (const auto &a : run.arguments) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

std::string read_until(int fd, std::string &seen, const std::string &wanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char buffer[4096];
    while (seen.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        seen.append(buffer, static_cast<size_t>(n));
    }
    return seen;
}

Outcome run_installer(const Launch &run) {
    Outcome outcome;
    int fd = -1;
    pid_t child;
    if (run.answers.empty()) {
        int fds[2];
        if (pipe(fds) != 0) return outcome;
        child = fork();
        if (child == 0) {
            setsid();
            dup2(fds[1], STDOUT_FILENO);
            dup2(fds[1], STDERR_FILENO);
            close(fds[0]);
            freopen("/dev/null", "r", stdin);
            prepare_child(run);
        }
        close(fds[1]);
        fd = fds[0];
    } else {
        child = forkpty(&fd, nullptr, nullptr, nullptr);
        if (child == 0) prepare_child(run);
        for (const auto &[prompt, line] : run.answers) {
            read_until(fd, outcome.output, prompt);
            const std::string typed = line + "\n";
            if (write(fd, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) break;
        }
    }
    read_until(fd, outcome.output, std::string(1, '\0'));  // to the end of output
    close(fd);
    int status = 0;
    waitpid(child, &status, 0);
    outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
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
        return Launch{std::string(DIST_DIR) + "/" + GetParam(), std::move(arguments),
                   {{"HOME", (root / "home").string()}, {"TMPDIR", (root / "tmp").string()}, {"LANG", language}},
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
    for (const char *name : {"setup", "tapmora", "tapmora.desktop", "tapmora.png", "help/index.html",
                             "help/keyboard.png", "help/keyboard@2x.png"})
        EXPECT_TRUE(fs::exists(extracted / name)) << name;
    ASSERT_TRUE(installed()) << out.output;

    // Stored times (two-second steps) and the execute permission survive.
    const fs::path payload = fs::path(DIST_DIR) / "payload";
    for (const char *name : {"setup", "tapmora", "tapmora.desktop"}) {
        const auto stored = fs::last_write_time(payload / name);
        const auto written = fs::last_write_time(extracted / name);
        EXPECT_LE(std::chrono::abs(stored - written), std::chrono::seconds(2)) << name;
    }
    EXPECT_TRUE((fs::status(extracted / "setup").permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_TRUE((fs::status(extracted / "tapmora").permissions() & fs::perms::owner_exec) != fs::perms::none);
    std::ifstream entry(root / "home/.local/share/applications/tapmora.desktop");
    const std::string text((std::istreambuf_iterator<char>(entry)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Exec=" + (root / "home/.local/bin/tapmora").string()), std::string::npos) << text;

    // A second run updates in place.
    EXPECT_EQ(run_installer(run({})).exit_code, 0);
    EXPECT_TRUE(installed());
}

TEST_P(ShippedInstaller, QuietFlagOnTheCommandLineBringsBackTheQuestions) {
    Launch r = run({"-R"});
    r.answers = {{"executed?", "y"}};
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
    r.answers = {{"]", ""}};  // accept the folder offered in brackets
    const Outcome out = run_installer(r);
    EXPECT_EQ(out.exit_code, 0) << out.output;
    EXPECT_NE(out.output.find("[" + extracted.string()), std::string::npos) << out.output;
    EXPECT_TRUE(installed());
}

TEST_P(ShippedInstaller, IllegalOptionEndsWithItsMessage) {
    for (const auto &[language, text] : {std::pair<std::string, std::string>{"C", "An illegal option has been set."},
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
    answer_ldd("\tlinux-vdso.so.1 (0x00007ffd5b1f2000)\n"
               "\tlibQt6Charts.so.6 => not found\n"
               "\tlibQt6Multimedia.so.6 => not found\n"
               "\tlibQt6Core.so.6 => ROOT/qt/libQt6Core.so.6 (0x00007f0e86400000)\n"
               "\tlibc.so.6 => /lib/x86_64-linux-gnu/libc.so.6 (0x00007f0e86000000)\n");
    const Outcome out = run_setup();
    EXPECT_EQ(out.exit_code, 1) << out.output;
    const std::string packages = "libqt6charts6 libqt6multimedia6 libqt6sql6-sqlite";
    EXPECT_NE(out.output.find("次のパッケージが足りません:\n  " + packages), std::string::npos) << out.output;
    EXPECT_NE(out.output.find("these Debian packages are missing:\n  " + packages), std::string::npos)
        << out.output;
    EXPECT_NE(out.output.find("sudo apt install " + packages + "\n"), std::string::npos) << out.output;
    EXPECT_FALSE(fs::exists(root / "home/.local")) << out.output;
}

TEST_F(ShippedSetup, FindsTheSqliteDriverBesideQtOrOnThePluginPath) {
    answer_ldd("\tlibQt6Sql.so.6 => ROOT/qt/libQt6Sql.so.6 (0x00007f0e87d11000)\n"
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
    EXPECT_NE(out.output.find("sudo apt install libqt6sql6-sqlite\n"), std::string::npos) << out.output;
    EXPECT_FALSE(installed());
}

INSTANTIATE_TEST_SUITE_P(Both, ShippedInstaller, ::testing::Values("Tapmora-installer", "Tapmora-installer-cli"),
                         [](const auto &info) { return std::string(info.param).size() > 17 ? "Cli" : "Stub"; });

}  // namespace
