// Runs the built installer programs on self-extracting files written by
// pelmarcab, as a user runs them: without a terminal, or at one of their own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "sfx/tests/child_process.h"
#include "sfx/tests/installer_fixture.h"

namespace sfxtest {
namespace {

namespace fs = std::filesystem;

struct Launch {
    std::vector<std::string> arguments;  // program first
    std::string language = "C";
    std::string directory;
    rlim_t file_size_limit = RLIM_INFINITY;
    // Keys typed on the run's own terminal, each once its prompt has
    // appeared; without any the run has no terminal at all.
    std::vector<TypedAnswer> typed;
};

// Runs a program in its own session and collects its output.
Outcome run_program(const Launch &launch) {
    const auto child = [&launch] {
        if (!launch.directory.empty() && chdir(launch.directory.c_str()) != 0) _exit(127);
        const rlimit limit{launch.file_size_limit, launch.file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
        setenv("LANG", launch.language.c_str(), 1);
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        exec_program(launch.arguments.at(0), launch.arguments);
    };
    return launch.typed.empty() ? run_without_terminal(child)
                                : run_on_terminal(child, launch.typed);
}

Outcome run_program(const std::vector<std::string> &arguments) {
    Launch launch;
    launch.arguments = arguments;
    return run_program(launch);
}

bool contains_marker(const std::string &path) {
    const std::vector<uint8_t> bytes = read_bytes(path);
    const std::string_view marker = "$$$$";
    return std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end()) != bytes.end();
}

class EndToEnd : public InstallerTest {
protected:
    // Packs in/ into a cabinet and writes installer `name` with pelmarcab sfx.
    Outcome pack(const std::string &name, const std::vector<std::string> &sfx_arguments,
                 const std::string &stub = PELMARSELF_CLI_PATH) {
        const Outcome created = run_program(std::vector<std::string>{
            PELMARCAB_PATH, "create", "-o", path("payload.cab"), path("in")});
        EXPECT_EQ(created.exit_code, 0) << created.output;
        std::vector<std::string> arguments = {PELMARCAB_PATH, "sfx", "--stub",
                                              stub,           "-o",  path(name)};
        arguments.insert(arguments.end(), sfx_arguments.begin(), sfx_arguments.end());
        arguments.push_back(path("payload.cab"));
        return run_program(arguments);
    }
    void add_input(const std::string &name, const std::string &content) {
        fs::create_directories(fs::path(path("in/" + name)).parent_path());
        write_bytes(path("in/" + name), std::vector<uint8_t>(content.begin(), content.end()));
    }
    Outcome install(const std::vector<std::string> &arguments, const std::string &language = "C",
                    rlim_t file_size_limit = RLIM_INFINITY) {
        return run_program(
            Launch{installer_command(arguments), language, dir_, file_size_limit, {}});
    }
    // Runs the installer on a terminal, typing `typed` at its prompts.
    Outcome install_typing(const std::vector<TypedAnswer> &typed) {
        return run_program(Launch{installer_command({}), "C", dir_, RLIM_INFINITY, typed});
    }
    std::vector<std::string> installer_command(const std::vector<std::string> &arguments) const {
        std::vector<std::string> command = {path("installer")};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return command;
    }
};

TEST_F(EndToEnd, TheInstallerImagesHoldNoMarker) {
    EXPECT_FALSE(contains_marker(PELMARSELF_CLI_PATH));
    EXPECT_FALSE(contains_marker(PELMARSELF_PATH));
}

TEST_F(EndToEnd, ExtractsWithDatesAndPermissions) {
    add_input("tool.sh", "#!/bin/sh\n");
    add_input("docs/readme.txt", "read me");
    chmod(path("in/tool.sh").c_str(), 0555);
    const std::time_t stamp = 1600000000;  // an even second: FAT times have 2-second steps
    const timespec times[2] = {{stamp, 0}, {stamp, 0}};
    utimensat(AT_FDCWD, path("in/docs/readme.txt").c_str(), times, 0);
    const Outcome packed =
        pack("installer", {"--title", "Demo", "--options", "-S -X -! -D\"" + path("out") + "\""});
    ASSERT_EQ(packed.exit_code, 0) << packed.output;
    EXPECT_NE(fs::status(path("installer")).permissions() & fs::perms::owner_exec, fs::perms::none);

    const Outcome outcome = install({});
    EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("Pelmar Self Decompression: The decompression was successful."),
              std::string::npos)
        << outcome.output;
    EXPECT_EQ(read_text("out/docs/readme.txt"), "read me");
    struct stat info = {};
    stat(path("out/docs/readme.txt").c_str(), &info);
    EXPECT_EQ(info.st_mtime, stamp);
    stat(path("out/tool.sh").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0222, 0u) << "read-only kept with -S";
    EXPECT_NE(info.st_mode & 0111, 0u) << "executable";
}

TEST_F(EndToEnd, MessagesFollowTheLanguage) {
    add_input("a.txt", "new");
    ASSERT_EQ(pack("installer", {"--options", "-! -D\"" + path("out") + "\""}).exit_code, 0);
    fs::create_directories(path("out"));
    write_bytes(path("out/a.txt"), {'o', 'l', 'd'});

    // Without a terminal the overwrite question takes its safe answer, Cancel.
    const Outcome japanese = install({}, "ja_JP.UTF-8");
    EXPECT_EQ(japanese.exit_code, 1);
    EXPECT_NE(japanese.output.find("重複ファイル上書きの確認: "), std::string::npos)
        << japanese.output;
    EXPECT_NE(japanese.output.find("Pelmar自己解凍: 解凍は正常に終了しませんでした."),
              std::string::npos);
    EXPECT_EQ(read_text("out/a.txt"), "old");

    const Outcome english = install({"-Z"});
    EXPECT_EQ(english.exit_code, 1);
    EXPECT_NE(english.output.find("Pelmar Self Decompression: An illegal option has been set."),
              std::string::npos)
        << english.output;

    const Outcome cancelled = install({"-!"});
    EXPECT_EQ(cancelled.exit_code, 1) << "end of input cancels the destination question";
    EXPECT_NE(cancelled.output.find("The decompression process has been aborted."),
              std::string::npos);
}

TEST_F(EndToEnd, CtrlCAtAQuestionAnswersItAsCancelWould) {
    add_input("a.txt", "alpha");
    ASSERT_EQ(pack("installer", {"--options", "-D\"" + path("out") + "\""}).exit_code, 0);
    const std::string ctrl_c = "\x03";
    const Outcome destination = install_typing({{"] ", ctrl_c}});
    EXPECT_EQ(destination.exit_code, 1) << destination.output;
    EXPECT_NE(destination.output.find("The decompression process has been aborted."),
              std::string::npos)
        << destination.output;
    EXPECT_FALSE(fs::exists(path("out")));

    ASSERT_EQ(pack("installer", {"--options", "-! -D\"" + path("out") + "\" -Ea.txt"}).exit_code,
              0);
    const Outcome program = install_typing({{"[y]es/[n]o ", ctrl_c}});
    EXPECT_EQ(program.exit_code, 0) << program.output;
    EXPECT_NE(program.output.find("Should the file \"a.txt\" be executed?"), std::string::npos)
        << program.output;
    EXPECT_NE(program.output.find("The decompression was successful."), std::string::npos)
        << "answered No: the run goes on to its end\n"
        << program.output;
}

TEST_F(EndToEnd, AFailingWriteDestroysNothing) {
    add_input("big.bin", std::string(300000, 'n'));
    ASSERT_EQ(pack("installer", {"--options", "-A -! -D\"" + path("out") + "\""}).exit_code, 0);
    fs::create_directories(path("out"));
    write_bytes(path("out/big.bin"), {'o', 'l', 'd'});
    const Outcome outcome = install({}, "C", 100000);
    EXPECT_EQ(outcome.exit_code, 1) << outcome.output;
    EXPECT_NE(outcome.output.find("The decompression process could not shut down properly."),
              std::string::npos);
    EXPECT_EQ(read_text("out/big.bin"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(path("out")), fs::directory_iterator()), 1)
        << "the temporary file is removed";
}

TEST_F(EndToEnd, HostileNamesWriteNothingOutsideTheDestination) {
    sfx::SfxBlock block;
    block.options = "-A -X -! -D\"" + path("out/deep") + "\"";
    write_bytes(path("payload.cab"), make_cabinet({file_entry("..\\..\\escaped.txt", "x")}));
    const std::vector<uint8_t> stub = read_bytes(PELMARSELF_CLI_PATH);
    write_bytes(path("installer"),
                sfx::write_self_extractor(stub, block, read_bytes(path("payload.cab"))));
    chmod(path("installer").c_str(), 0755);
    const Outcome outcome = install({});
    EXPECT_EQ(outcome.exit_code, 1) << outcome.output;
    EXPECT_FALSE(fs::exists(path("escaped.txt")));
    EXPECT_FALSE(fs::exists(path("out/escaped.txt")));
}

TEST_F(EndToEnd, TheWindowedStubRunsOnTheTerminalWhenAsked) {
    add_input("a.txt", "alpha");
    ASSERT_EQ(pack("installer", {"--options", "-R -! -D\"" + path("out") + "\""}, PELMARSELF_PATH)
                  .exit_code,
              0);
    setenv("PELMARSELF_UI", "terminal", 1);
    const Outcome outcome = install({});
    unsetenv("PELMARSELF_UI");
    EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
    EXPECT_EQ(read_text("out/a.txt"), "alpha");
}

TEST_F(EndToEnd, PelmarcabRefusesWhatTheInstallerCouldNotRead) {
    add_input("a.txt", "alpha");
    write_bytes(path("bad-stub"), {'a', '$', '$', '$', '$', 'b'});
    EXPECT_EQ(pack("x1", {}, path("bad-stub")).exit_code, 1);
    EXPECT_EQ(pack("x2", {"--message", std::string(255, 'm')}).exit_code, 1);
    EXPECT_EQ(pack("x3", {"--message", std::string(254, 'm')}).exit_code, 0);
    EXPECT_EQ(pack("x4", {"--title", std::string(260, 't')}).exit_code, 1);
}

}  // namespace
}  // namespace sfxtest
