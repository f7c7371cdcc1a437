// The built pelmarcab run as a user would: exit status, its one error line,
// and what lands on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "cab/format.h"
#include "tools/pelmarcab/tests/tool_test.h"

namespace {

namespace fs = std::filesystem;
using pelmarcab_test::kHostileName;
using pelmarcab_test::kHostileNameEscaped;
using pelmarcab_test::PelmarcabTest;
using pelmarcab_test::run;
using pelmarcab_test::run_in_terminal;
using pelmarcab_test::stray_controls;
using pelmarcab_test::ToolRun;

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
    ASSERT_EQ(run("create -m none --cabinet-size 50000 --reserve 8,2,3 -o " + at("disk.cab") + " " +
                  at("src"))
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
        run("create -m none --no-checksum --cabinet-size 50000 -o " + at("d.cab") + " " + at("src"))
            .status,
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

// --- create -------------------------------------------------------------------

// Bytes that compress: words from a small vocabulary in a pseudo-random order.
std::vector<uint8_t> text_bytes(size_t size, uint32_t seed) {
    static const char *const kWords[] = {"cabinet ", "folder ", "block ", "file ", "name\n"};
    std::vector<uint8_t> out;
    while (out.size() < size) {
        seed = seed * 1103515245u + 12345u;
        const char *word = kWords[(seed >> 16) % std::size(kWords)];
        out.insert(out.end(), word, word + std::strlen(word));
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> noise_bytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    for (auto &b : out) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 23);
    return out;
}

TEST_F(PelmarcabTest, CreateCompressesWithMszipUnlessToldOtherwise) {
    fs::create_directories(at("src"));
    write("src/text", text_bytes(200000, 1));
    ASSERT_EQ(run("create -o " + at("d.cab") + " " + at("src")).status, 0);
    ASSERT_EQ(run("create -m none -o " + at("s.cab") + " " + at("src")).status, 0);
    const auto method = [](const std::vector<uint8_t> &cabinet) {
        return cab::load_u16(cabinet.data() + cab::kHeaderSize + cab::kFolderMethod);
    };
    EXPECT_EQ(method(read("d.cab")), cab::kMethodMszip);
    EXPECT_LT(read("d.cab").size(), 200000u / 2);
    EXPECT_EQ(method(read("s.cab")), cab::kMethodStored);
    ASSERT_EQ(run("extract -d " + at("out") + " " + at("d.cab")).status, 0);
    EXPECT_EQ(read("out/text"), text_bytes(200000, 1));
    EXPECT_NE(run("create --help").output.find("mszip (the default"), std::string::npos);
}

// Several folders of every method, one cabinet and a set: -j changes
// nothing in the bytes, and the cabinets extract whole.
TEST_F(PelmarcabTest, CreateOnSeveralThreadsWritesTheSameBytes) {
    fs::create_directories(at("src/sub"));
    for (int i = 0; i < 6; ++i) {
        write("src/t" + std::to_string(i), text_bytes(60000 + 7000 * i, i));
        write("src/sub/n" + std::to_string(i), noise_bytes(20000 + 3000 * i, i));
    }
    for (const std::string options :
         {"-m mszip", "-m lzx:17", "-m quantum:12", "-m none", "-m lzx:16 --cabinet-size 90000"}) {
        // Each into a directory of its own: a set names its members inside.
        fs::remove_all(at("one"));
        fs::remove_all(at("three"));
        const std::string common = "create --mtime @1000000000 --folder-size 100000 " + options;
        ASSERT_EQ(run(common + " -j 1 -o " + at("one/x.cab") + " " + at("src"),
                      "mkdir -p " + at("one") + " && ")
                      .status,
                  0)
            << options;
        ASSERT_EQ(run(common + " -j 3 -o " + at("three/x.cab") + " " + at("src"),
                      "mkdir -p " + at("three") + " && ")
                      .status,
                  0);
        EXPECT_EQ(read("three/x.cab"), read("one/x.cab")) << options;
        const bool set = options.find("--cabinet-size") != std::string::npos;
        EXPECT_EQ(fs::exists(at("one/x2.cab")), set) << options;
        EXPECT_EQ(read("three/x2.cab"), read("one/x2.cab")) << options;
        fs::remove_all(at("out"));
        ASSERT_EQ(run("extract -d " + at("out") + " " + at("three/x.cab")).status, 0) << options;
        EXPECT_EQ(read("out/t5"), text_bytes(60000 + 7000 * 5, 5)) << options;
        EXPECT_EQ(read("out/sub/n0"), noise_bytes(20000, 0)) << options;
    }
}

// The same files in two trees made in opposite orders, at other times and
// with their directory listed differently: one cabinet.
TEST_F(PelmarcabTest, CreateIsReproducibleWhateverTheFileSystemOrderAndClock) {
    const std::vector<std::string> names = {"b", "a", "sub/z", "sub/y", "c", "d.txt", "d/e"};
    for (const std::string tree : {"one", "two"}) {
        auto order = names;
        if (tree == "two") std::reverse(order.begin(), order.end());
        for (const auto &name : order) {
            fs::create_directories(fs::path(at(tree + "/" + name)).parent_path());
            write(tree + "/" + name, text_bytes(5000, static_cast<uint32_t>(name.size())));
            if (tree == "two")
                fs::last_write_time(at(tree + "/" + name),
                                    fs::file_time_type::clock::now() - std::chrono::hours(1000));
        }
    }
    for (const std::string tree : {"one", "two"}) {
        ASSERT_EQ(
            run("create --mtime '2024-02-29 13:14:16' -o " + at(tree + "-m.cab") + " " + at(tree))
                .status,
            0);
        ASSERT_EQ(run("create -o " + at(tree + "-e.cab") + " " + at(tree),
                      "SOURCE_DATE_EPOCH=1700000000 TZ=Asia/Tokyo ")
                      .status,
                  0);
    }
    EXPECT_EQ(read("one-m.cab"), read("two-m.cab"));
    EXPECT_EQ(read("one-e.cab"), read("two-e.cab"));
    const ToolRun listed = run("list " + at("two-m.cab"));
    EXPECT_NE(listed.output.find("\t2024-02-29\t13:14:16\t"), std::string::npos) << listed.output;
    EXPECT_LT(listed.output.find("\ta\n"), listed.output.find("\td.txt\n")) << "sorted by name";
    EXPECT_LT(listed.output.find("\td\\e\n"), listed.output.find("\tsub\\y\n"));
    // Seconds since 1970 are taken as UTC, whatever the time zone.
    EXPECT_NE(run("list " + at("one-e.cab")).output.find("\t2023-11-14\t22:13:20\t"),
              std::string::npos);
}

TEST_F(PelmarcabTest, CreateRefusesDatesItCannotStoreAndClampsTimes) {
    write("f", {1});
    for (const std::string bad : {"1979-12-31", "2108-01-01", "2024-13-01", "2023-02-29",
                                  "2024-01-01 25:00", "yesterday", "@-5"}) {
        const ToolRun r = run("create --mtime '" + bad + "' -o " + at("x.cab") + " " + at("f"));
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_NE(r.output.find("--mtime takes"), std::string::npos) << r.output;
    }
    EXPECT_EQ(run("create -o " + at("x.cab") + " " + at("f"), "SOURCE_DATE_EPOCH=soon ").status, 1);
    // Before 1980 and after 2107 the nearest time the format holds is stored.
    ASSERT_EQ(run("create --mtime @0 -o " + at("x.cab") + " " + at("f")).status, 0);
    EXPECT_NE(run("list " + at("x.cab")).output.find("\t1980-01-01\t00:00:00\t"),
              std::string::npos);
    ASSERT_EQ(run("create --mtime @5000000000 -o " + at("x.cab") + " " + at("f")).status, 0);
    EXPECT_NE(run("list " + at("x.cab")).output.find("\t2107-12-31\t23:59:58\t"),
              std::string::npos);
}

TEST_F(PelmarcabTest, CreateLeavesOutExcludedFilesAndReadsAList) {
    for (const std::string name : {"src/a.txt", "src/b.o", "src/sub/c.o", "src/sub/keep.txt",
                                   "src/skip/d.txt", "other/e.txt", "other/f.txt"}) {
        fs::create_directories(fs::path(at(name)).parent_path());
        write(name, {'x'});
    }
    ASSERT_EQ(run("create --exclude '*.o' --exclude skip --exclude 'sub/k*' -o " + at("x.cab") +
                  " " + at("src"))
                  .status,
              0);
    const ToolRun listed = run("list " + at("x.cab"));
    EXPECT_NE(listed.output.find("\ta.txt\n"), std::string::npos) << listed.output;
    EXPECT_EQ(std::count(listed.output.begin(), listed.output.end(), '\n'), 1) << listed.output;

    // A list on standard input: paths stored as written, directories whole.
    const std::string cd = "cd " + dir.string() + " && printf 'src/a.txt\\r\\n\\n./other\\n' | ";
    ASSERT_EQ(run("create -T - --exclude f.txt -o x.cab", cd).status, 0);
    const ToolRun from_list = run("list " + at("x.cab"));
    EXPECT_NE(from_list.output.find("\tsrc\\a.txt\n"), std::string::npos) << from_list.output;
    EXPECT_NE(from_list.output.find("\tother\\e.txt\n"), std::string::npos) << from_list.output;
    EXPECT_EQ(std::count(from_list.output.begin(), from_list.output.end(), '\n'), 2);

    for (const std::string line : {"../x", "/etc/hostname", "src/../../x", "missing"}) {
        const std::string feed = "cd " + dir.string() + " && echo '" + line + "' | ";
        const ToolRun r = run("create -T - -o y.cab", feed);
        EXPECT_EQ(r.status, 1) << line;
        EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(at("y.cab"))) << line;
    }
    EXPECT_EQ(run("create -o " + at("y.cab")).status, 1) << "nothing to store";
    const ToolRun twice = run("create -o " + at("y.cab") + " " + at("src/a.txt") + " " +
                              at("other") + " " + at("src"));
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.output.find("a.txt: stored twice, from " + at("src/a.txt") + " and " +
                                at("src") + "/a.txt"),
              std::string::npos)
        << twice.output;
}

TEST_F(PelmarcabTest, CreateWritesNamesInALegacyCharacterSet) {
    fs::create_directories(at("src/ソ"));
    write("src/ソ/表.txt", {'x'});
    ASSERT_EQ(run("create --name-encoding CP932 -o " + at("j.cab") + " " + at("src")).status, 0);
    const auto cabinet = read("j.cab");
    const std::vector<uint8_t> stored = {0x83, 0x5C, '\\', 0x95, 0x5C, '.', 't', 'x', 't'};
    const auto at_name = std::search(cabinet.begin(), cabinet.end(), stored.begin(), stored.end());
    ASSERT_NE(at_name, cabinet.end()) << "name in code page 932";
    EXPECT_EQ(cab::load_u16(&*(at_name - 2)) & 0x80, 0) << "not flagged as UTF-8";
    ASSERT_EQ(run("extract -d " + at("out") + " " + at("j.cab")).status, 0);
    EXPECT_TRUE(fs::exists(at("out/ソ/表.txt")));

    // By default names are UTF-8 and flagged as such.
    ASSERT_EQ(run("create -o " + at("u.cab") + " " + at("src")).status, 0);
    EXPECT_NE(run("list " + at("u.cab")).output.find("\t0x80\tソ\\表.txt\n"), std::string::npos);

    write("src/\xF0\x9F\x98\x80.txt", {'y'});  // an emoji, not in code page 932
    ToolRun r = run("create --name-encoding CP932 -o " + at("k.cab") + " " + at("src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("cannot be written in CP932"), std::string::npos) << r.output;
    r = run("create --name-encoding NO-SUCH-SET -o " + at("k.cab") + " " + at("src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("unknown character set"), std::string::npos) << r.output;
    fs::remove(at("src/\xF0\x9F\x98\x80.txt"));
    write("src/\x95\x5c", {'z'});  // a name in Shift-JIS on disk: its characters are unknown
    r = run("create -o " + at("k.cab") + " " + at("src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("not UTF-8"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(at("k.cab")));
}

// A name our extractor would refuse is refused when the cabinet is made,
// and reported escaped.
TEST_F(PelmarcabTest, CreateRefusesNamesWithControlCharacters) {
    fs::create_directories(at("src"));
    write("src/ok.txt", {'y'});
    write("src/bell\x07", {'z'});
    const ToolRun r = run("create -o " + at("c.cab") + " " + at("src"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("bell\\x07: the name holds a control character"), std::string::npos)
        << r.output;
    EXPECT_EQ(stray_controls(r.output), "");
    EXPECT_FALSE(fs::exists(at("c.cab")));
}

// At a terminal the bar is drawn while create works and cleared at the
// end; with -q, and in a pipe, nothing is written.
TEST_F(PelmarcabTest, CreateDrawsItsProgressOnlyAtATerminal) {
    fs::create_directories(at("src"));
    for (int i = 0; i < 6; ++i) write("src/n" + std::to_string(i), noise_bytes(150000, i));
    const std::string create =
        "create -m lzx:21 -j 1 --folder-size 100000 -o " + at("x.cab") + " " + at("src");
    const ToolRun drawn = run_in_terminal(create);
    EXPECT_EQ(drawn.status, 0) << drawn.output;
    EXPECT_EQ(stray_controls(drawn.output), "");
    EXPECT_NE(drawn.output.find("x.cab  ["), std::string::npos) << "slow enough to be drawn";
    EXPECT_EQ(drawn.output.substr(drawn.output.find_last_not_of(" \r") + 1),
              "\r" +
                  std::string(drawn.output.size() - drawn.output.find_last_not_of(" \r") - 3, ' ') +
                  "\r")
        << "the line is cleared";
    EXPECT_EQ(run_in_terminal(create + " -q").output, "");
    EXPECT_EQ(run(create).output, "");
}

}  // namespace
