// Running the built pelmarcab in tests: its output and status, at a
// terminal or not, and a fixture with a scratch directory and cabinets made
// by the writer.
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cab/writer/writer.h"

namespace pelmarcab_test {

namespace fs = std::filesystem;

struct ToolRun {
    int status;
    std::string output;  // standard output and standard error together
};

// Runs a shell command line: its standard output and exit status.
inline ToolRun run_shell(const std::string &command) {
    ToolRun r{0, {}};
    FILE *pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buffer;
    while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        r.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Runs pelmarcab through the shell; `prefix` comes before the program
// (variables, a directory change).
inline ToolRun run(const std::string &args, const std::string &prefix = "") {
    return run_shell(prefix + std::string(PELMARCAB_PATH) + " " + args + " 2>&1");
}

struct SplitRun {
    int status;
    std::string out, err;
};

// Runs pelmarcab with standard output and standard error kept apart.
inline SplitRun run_split(const std::string &args) {
    const fs::path err_file =
        fs::temp_directory_path() / ("pelmarcab-stderr-" + std::to_string(getpid()));
    const ToolRun r =
        run_shell(std::string(PELMARCAB_PATH) + " " + args + " 2>" + err_file.string());
    std::ifstream in(err_file, std::ios::binary);
    SplitRun split{
        r.status, r.output, {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
    fs::remove(err_file);
    return split;
}

// Runs pelmarcab with standard output and error on a pseudo-terminal, as a
// user at a terminal would: what the terminal received, and the exit status.
inline ToolRun run_in_terminal(const std::string &args) {
    const std::string command = std::string(PELMARCAB_PATH) + " " + args;
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    ToolRun r{-1, {}};
    if (child < 0) return r;
    std::array<char, 4096> buffer;
    ssize_t n = 0;
    // Reading fails (EIO) once the child has closed its side of the terminal.
    while ((n = ::read(terminal, buffer.data(), buffer.size())) > 0)
        r.output.append(buffer.data(), static_cast<size_t>(n));
    ::close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The control characters in `text` other than the line ends and tabs that
// pelmarcab writes itself.
inline std::string stray_controls(const std::string &text) {
    std::string found;
    for (char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 || c == 0x7F) && c != '\n' && c != '\r' &&
            c != '\t')
            found += c;
    return found;
}

// A name that would retitle the terminal, clear it and forge a line.
inline const std::string kHostileName = "a\x1b]0;owned\x07\x1b[2J\rpelmarcab: done\nb\\x41\x7f";
inline const std::string kHostileNameEscaped =
    "a\\x1b]0;owned\\x07\\x1b[2J\\x0dpelmarcab: done\\x0ab\\x5cx41\\x7f";

class PelmarcabTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("pelmarcab-test-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string at(const std::string &name) const { return (dir / name).string(); }
    void write(const std::string &name, const std::vector<uint8_t> &bytes) const {
        std::ofstream out(at(name), std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<uint8_t> read(const std::string &name) const {
        std::ifstream in(at(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Writes a stored cabinet holding files with the given names.
    void write_cabinet(const std::string &cab, const std::vector<std::string> &names,
                       const cabwriter::SetOptions &options = {}) const {
        cabwriter::Folder folder;
        for (const auto &n : names) folder.files.push_back({n, std::vector<uint8_t>(5000, 'x')});
        auto set = cabwriter::write_cabinet_set({folder}, options);
        for (const auto &c : set) write(c.name == "cabinet1.cab" ? cab : c.name, c.bytes);
    }
    fs::path dir;
};

}  // namespace pelmarcab_test
