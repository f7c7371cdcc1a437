// The built pelmarcab run as a user would: exit status, its one error line,
// and what lands on disk.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "cab/format.h"
#include "cab/writer/writer.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status;
    std::string output;  // standard output and standard error together
};

ToolRun run(const std::string &args) {
    const std::string command = std::string(PELMARCAB_PATH) + " " + args + " 2>&1";
    ToolRun r{0, {}};
    FILE *pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buffer;
    while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        r.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Runs pelmarcab with standard output and error on a pseudo-terminal, as a
// user at a terminal would: what the terminal received, and the exit status.
ToolRun run_in_terminal(const std::string &args) {
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
std::string stray_controls(const std::string &text) {
    std::string found;
    for (char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 || c == 0x7F) && c != '\n' && c != '\r' &&
            c != '\t')
            found += c;
    return found;
}

// A name that would retitle the terminal, clear it and forge a line.
const std::string kHostileName = "a\x1b]0;owned\x07\x1b[2J\rpelmarcab: done\nb\\x41\x7f";
const std::string kHostileNameEscaped =
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

TEST_F(PelmarcabTest, CreateThenExtractKeepsContentFoldersTimesAndPermissions) {
    fs::create_directories(at("src/sub"));
    std::vector<uint8_t> data(70000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 / 3);
    write("src/sub/data.bin", data);
    write("src/run.sh", {'#', '!'});
    chmod(at("src/run.sh").c_str(), 0755);
    chmod(at("src/sub/data.bin").c_str(), 0444);
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(at("src/sub/data.bin"), when);

    ASSERT_EQ(run("create -o " + at("a.cab") + " " + at("src")).status, 0);
    const ToolRun list = run("list " + at("a.cab"));
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("\t0x40\trun.sh\n"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("70000\t"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("\t0x01\tsub\\data.bin\n"), std::string::npos) << list.output;
    EXPECT_EQ(run("test " + at("a.cab")).status, 0);

    ASSERT_EQ(run("extract -d " + at("out") + " " + at("a.cab")).status, 0);
    EXPECT_EQ(read("out/sub/data.bin"), data);
    struct stat st {};
    stat(at("out/run.sh").c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    stat(at("out/sub/data.bin").c_str(), &st);
    EXPECT_FALSE(st.st_mode & S_IWUSR);
    const auto seconds = [](fs::file_time_type t) {
        return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
    };
    EXPECT_NEAR(seconds(fs::last_write_time(at("out/sub/data.bin"))), seconds(when), 2);

    // Extracting again replaces the read-only file.
    EXPECT_EQ(run("extract -d " + at("out") + " " + at("a.cab")).status, 0);
}

TEST_F(PelmarcabTest, BestLzxCabinetsAreSmallerAndExtract) {
    fs::create_directories(at("src"));
    std::vector<uint8_t> data;
    std::mt19937 rng(3);
    while (data.size() < 200000) {
        const std::string line = "entry " + std::to_string(rng() % 5000) + " of the folder\n";
        data.insert(data.end(), line.begin(), line.end());
    }
    write("src/list.txt", data);
    ASSERT_EQ(run("create -m lzx:16 -o " + at("lazy.cab") + " " + at("src")).status, 0);
    ASSERT_EQ(run("create -m lzx:16 --best -o " + at("best.cab") + " " + at("src")).status, 0);
    EXPECT_LT(fs::file_size(at("best.cab")), fs::file_size(at("lazy.cab")));
    ASSERT_EQ(run("extract -d " + at("out") + " " + at("best.cab")).status, 0);
    EXPECT_EQ(read("out/list.txt"), data);

    const ToolRun r = run("create -m mszip --best -o " + at("m.cab") + " " + at("src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("--best applies to lzx only"), std::string::npos) << r.output;
}

TEST_F(PelmarcabTest, SetsAreWrittenWithNumberedNamesAndExtractedWhole) {
    fs::create_directories(at("src"));
    std::vector<uint8_t> data(150000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    write("src/big", data);
    ASSERT_EQ(
        run("create --cabinet-size 50000 --reserve 8,2,3 -o " + at("disk.cab") + " " + at("src"))
            .status,
        0);
    EXPECT_TRUE(fs::exists(at("disk2.cab")));
    EXPECT_TRUE(fs::exists(at("disk3.cab")));
    ASSERT_EQ(run("extract -d " + at("out") + " " + at("disk.cab")).status, 0);
    EXPECT_EQ(read("out/big"), data);

    // A missing member is reported once, naming the engine's reason.
    fs::remove(at("disk3.cab"));
    const ToolRun r = run("test " + at("disk.cab"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("disk3.cab: CAB_ERR_OPEN"), std::string::npos) << r.output;
}

TEST_F(PelmarcabTest, WrongSetMemberIsReportedNotRetried) {
    fs::create_directories(at("src"));
    write("src/big", std::vector<uint8_t>(90000, 'q'));
    ASSERT_EQ(
        run("create --no-checksum --cabinet-size 50000 -o " + at("d.cab") + " " + at("src")).status,
        0);
    auto second = read("d2.cab");
    second[cab::kHeaderSetId] ^= 0x55;
    write("d2.cab", second);
    const ToolRun r = run("extract -d " + at("out") + " " + at("d.cab"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("d2.cab: CAB_ERR_SET"), std::string::npos) << r.output;
}

TEST_F(PelmarcabTest, EngineErrorsNameTheirConstantAndDetail) {
    write_cabinet("v.cab", {"a"});
    auto bytes = read("v.cab");
    bytes[cab::kHeaderVersion] = 0x02;
    write("v.cab", bytes);
    const ToolRun r = run("list " + at("v.cab"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("v.cab: CAB_ERR_VERSION (detail 0x0102)"), std::string::npos)
        << r.output;
}

TEST_F(PelmarcabTest, NamesThatLeaveTheDestinationAreRefused) {
    for (const std::string name :
         {"..\\evil", "../evil", "\\abs", "/abs", "C:\\evil", "a\\..\\..\\evil"}) {
        write_cabinet("t.cab", {"fine", name});
        const ToolRun r = run("extract -d " + at("out") + " " + at("t.cab"));
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.output.find("refusing"), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(dir / "evil")) << name;
        EXPECT_FALSE(fs::exists("/abs")) << name;
    }
}

TEST_F(PelmarcabTest, SymbolicLinksInTheDestinationAreNotFollowed) {
    fs::create_directories(at("out"));
    fs::create_directories(at("elsewhere"));
    fs::create_symlink(at("elsewhere"), at("out/sub"));
    fs::create_symlink(at("elsewhere/target"), at("out/file"));
    write_cabinet("l.cab", {"sub\\inner"});
    EXPECT_EQ(run("extract -d " + at("out") + " " + at("l.cab")).status, 1);
    write_cabinet("f.cab", {"file"});
    EXPECT_EQ(run("extract -d " + at("out") + " " + at("f.cab")).status, 1);
    EXPECT_TRUE(fs::is_empty(at("elsewhere")));
}

TEST_F(PelmarcabTest, LegacyNamesAreConvertedFromShiftJis) {
    // "表.txt" in Shift-JIS: its second byte is a backslash.
    write_cabinet("j.cab", {"\x95\x5c.txt", "dir\\\x83\x5c"});
    ASSERT_EQ(run("extract -d " + at("out") + " " + at("j.cab")).status, 0);
    EXPECT_TRUE(fs::exists(at("out/表.txt")));
    EXPECT_TRUE(fs::exists(at("out/dir/ソ")));
}

TEST_F(PelmarcabTest, FolderThatEndsWithoutANextCabinetIsReportedAsTruncated) {
    cabwriter::Folder folder;
    folder.files.push_back({"big", std::vector<uint8_t>(70000, 'x')});  // three stored blocks
    auto cabinet = cabwriter::write_cabinet_set({folder})[0].bytes;
    cabinet[cab::kHeaderSize + cab::kFolderBlockCount] = 2;
    write("t.cab", cabinet);
    for (const std::string &command : {std::string("test "), "extract -d " + at("out") + " "}) {
        const ToolRun r = run(command + at("t.cab"));
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.output, "pelmarcab: " + at("t.cab") +
                                ": CAB_ERR_ABORT: the cabinet ends before folder 0 does and names "
                                "no next cabinet\n")
            << command;
    }
}

TEST_F(PelmarcabTest, ControlCharactersInNamesAreListedEscaped) {
    write_cabinet("c.cab", {"fine", kHostileName});
    const ToolRun r = run("list " + at("c.cab"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("\tfine\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\t" + kHostileNameEscaped + "\n"), std::string::npos) << r.output;
    EXPECT_EQ(stray_controls(r.output), "");
}

TEST_F(PelmarcabTest, NamesWithControlCharactersAreRefusedAndReportedEscaped) {
    const std::string names[] = {kHostileName, "tab\there", "del\x7f", "dir\\\x01\\f"};
    for (const std::string &name : names) {
        write_cabinet("c.cab", {"fine", name});
        fs::remove_all(at("out"));
        const ToolRun r = run_in_terminal("extract -d " + at("out") + " " + at("c.cab"));
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find("refusing the file name"), std::string::npos) << r.output;
        EXPECT_EQ(stray_controls(r.output), "") << r.output;
        EXPECT_TRUE(fs::exists(at("out/fine")));
        EXPECT_EQ(std::distance(fs::recursive_directory_iterator(at("out")),
                                fs::recursive_directory_iterator()),
                  1)
            << "only the harmless file is written";
        if (name == kHostileName) {
            EXPECT_NE(r.output.find(kHostileNameEscaped), std::string::npos) << r.output;
        }
    }
}

TEST_F(PelmarcabTest, ErrorLinesEscapeTheNamesTheyCarry) {
    // A set whose second member, named in the first, is missing.
    cabwriter::Folder folder;
    folder.files.push_back({"big", std::vector<uint8_t>(90000, 'q')});
    cabwriter::SetOptions options;
    options.max_cabinet_size = 50000;
    options.cabinet_name = [](unsigned i) {
        return i == 0 ? std::string("first.cab") : "next\x1b[2J" + std::to_string(i) + ".cab";
    };
    write("first.cab", cabwriter::write_cabinet_set({folder}, options)[0].bytes);
    const ToolRun r = run_in_terminal("test " + at("first.cab"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("next\\x1b[2J1.cab: CAB_ERR_OPEN"), std::string::npos) << r.output;
    EXPECT_EQ(stray_controls(r.output), "") << r.output;
}

}  // namespace
