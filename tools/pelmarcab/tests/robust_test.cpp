// Cabinets inside other files, salvage of damaged cabinets and sets, and
// folders decoded in parallel, run through the built pelmarcab.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "cab/format.h"
#include "tools/pelmarcab/tests/damage.h"
#include "tools/pelmarcab/tests/tool_test.h"

namespace {

namespace fs = std::filesystem;
using pelmarcab::testing::break_checksum;
using pelmarcab::testing::break_stream;
using pelmarcab::testing::map_cabinet;
using pelmarcab_test::run;
using pelmarcab_test::ToolRun;
using Bytes = std::vector<uint8_t>;

Bytes patterned(size_t size, unsigned seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(((i / 7 + seed) * 2654435761u) >> 13);
    return bytes;
}

// Three MSZIP folders of three files each, 70000 bytes a file (each file
// spans data blocks): f<folder><file>.
std::vector<cabwriter::Folder> three_folders() {
    std::vector<cabwriter::Folder> folders(3);
    for (unsigned f = 0; f < 3; ++f) {
        folders[f].method.kind = cabwriter::MethodKind::Mszip;
        for (unsigned i = 0; i < 3; ++i)
            folders[f].files.push_back(
                {"f" + std::to_string(f) + std::to_string(i), patterned(70000, f * 3 + i)});
    }
    return folders;
}

class Robust : public pelmarcab_test::PelmarcabTest {
protected:
    // Every regular file under `folder` by its relative path.
    std::map<std::string, Bytes> tree(const std::string &folder) const {
        std::map<std::string, Bytes> files;
        for (const auto &e : fs::recursive_directory_iterator(at(folder)))
            if (e.is_regular_file())
                files[fs::relative(e.path(), at(folder)).string()] =
                    read(fs::relative(e.path(), dir).string());
        return files;
    }
    // Expects exactly `whole` extracted intact from the folders, and no
    // other file.
    void expect_whole(const std::string &out, const std::vector<std::string> &whole,
                      const std::string &what) const {
        std::map<std::string, Bytes> expected;
        for (const auto &folder : three_folders())
            for (const auto &file : folder.files)
                if (std::count(whole.begin(), whole.end(), file.name))
                    expected[file.name] = file.data;
        EXPECT_EQ(tree(out), expected) << what;
    }
    Bytes three_folder_cabinet() const {
        return cabwriter::write_cabinet_set(three_folders()).at(0).bytes;
    }
};

// --- cabinets inside other files -----------------------------------------

TEST_F(Robust, ASelfExtractorsCabinetIsFoundAtItsOffsetAndExtracted) {
    Bytes stub = patterned(40000, 9);
    std::replace(stub.begin(), stub.end(), uint8_t{'$'}, uint8_t{'#'});
    std::copy_n("MSCF", 4, stub.begin() + 100);  // a stray signature in the program
    write("stub", stub);
    write("c.cab", three_folder_cabinet());
    ASSERT_EQ(
        run("sfx --stub " + at("stub") + " --title Setup -o " + at("setup.exe") + " " + at("c.cab"))
            .status,
        0);
    const auto offset = fs::file_size(at("setup.exe")) - fs::file_size(at("c.cab"));
    const ToolRun list = run("list " + at("setup.exe"));
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_EQ(list.output.rfind("cabinet at offset " + std::to_string(offset) + " (", 0), 0u)
        << list.output;
    EXPECT_NE(list.output.find("\tf21\n"), std::string::npos) << list.output;
    ASSERT_EQ(run("extract -d " + at("out") + " " + at("setup.exe")).status, 0);
    expect_whole("out", {"f00", "f01", "f02", "f10", "f11", "f12", "f20", "f21", "f22"}, "sfx");
}

TEST_F(Robust, EveryCabinetOfADiskImageIsListedWithItsOffset) {
    cabwriter::Folder other;
    other.files.push_back({"other.txt", patterned(500, 1)});
    const Bytes second = cabwriter::write_cabinet_set({other}).at(0).bytes;
    Bytes image = patterned(3000, 2);
    const Bytes first = three_folder_cabinet();
    image.insert(image.end(), first.begin(), first.end());
    const size_t second_at = image.size() + 77;
    image.resize(second_at, 0);
    image.insert(image.end(), second.begin(), second.end());
    write("disk.img", image);
    const ToolRun list = run("list " + at("disk.img"));
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("cabinet at offset 3000 ("), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("cabinet at offset " + std::to_string(second_at) + " ("),
              std::string::npos)
        << list.output;
    ASSERT_EQ(run("extract -d " + at("out") + " " + at("disk.img")).status, 0);
    EXPECT_EQ(read("out/other.txt"), patterned(500, 1));
    EXPECT_EQ(read("out/f12"), patterned(70000, 5));
}

TEST_F(Robust, AFileWithoutACabinetStillFailsAsNotACabinet) {
    write("plain.bin", patterned(100000, 3));
    const ToolRun r = run("test " + at("plain.bin"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("CAB_ERR_SIGNATURE"), std::string::npos) << r.output;
}

// --- salvage ---------------------------------------------------------------

TEST_F(Robust, WithoutSalvageTheFirstDamageEndsTheRun) {
    Bytes cabinet = three_folder_cabinet();
    break_checksum(cabinet, map_cabinet(cabinet).blocks[0][0]);
    write("c.cab", cabinet);
    const ToolRun r = run("extract -j 1 -d " + at("out") + " " + at("c.cab"));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(at("out/f10"))) << "nothing after the damage is read";
}

// A damaged block in the middle folder: the other folders are whole; of the
// middle folder, the files before the block are whole, the one holding it
// keeps its good front, and the ones after it are lost.
TEST_F(Robust, ABadChecksumOrUndecodableBlockCostsOnlyTheFilesItHolds) {
    const Bytes good = three_folder_cabinet();
    const auto map = map_cabinet(good);
    // Block 3 of folder 1 holds bytes 98304-131071: inside its second file.
    Bytes checksum = good, stream = good;
    break_checksum(checksum, map.blocks[1][3]);
    break_stream(stream, map.blocks[1][3], map.data_header_size);
    const struct {
        const char *what;
        Bytes bytes;
        const char *reason;
    } cases[] = {{"checksum", checksum, "fails its checksum"},
                 {"decode", stream, "does not decode"}};
    for (const auto &c : cases) {
        write("c.cab", c.bytes);
        fs::remove_all(at("out"));
        const ToolRun r = run("extract --salvage -d " + at("out") + " " + at("c.cab"));
        EXPECT_EQ(r.status, 1) << c.what;
        expect_whole("out", {"f00", "f01", "f02", "f10", "f20", "f21", "f22"}, c.what);
        for (const char *lost : {"f11", "f12"})
            EXPECT_NE(r.output.find(at("c.cab") + ": " + lost + ": "), std::string::npos)
                << c.what << r.output;
        EXPECT_NE(r.output.find(c.reason), std::string::npos) << c.what << r.output;
        EXPECT_NE(r.output.find("; skipped"), std::string::npos) << c.what << r.output;
        EXPECT_EQ(run("test --salvage " + at("c.cab")).status, 1) << c.what;
    }
}

TEST_F(Robust, PartialSalvageKeepsTheGoodFrontAndZeroFillsTheRest) {
    Bytes cabinet = three_folder_cabinet();
    break_checksum(cabinet, map_cabinet(cabinet).blocks[1][3]);
    write("c.cab", cabinet);
    const ToolRun r = run("extract --salvage=partial -d " + at("out") + " " + at("c.cab"));
    EXPECT_EQ(r.status, 1);
    // f11 covers folder bytes 70000-139999; decoding stops at 98304.
    Bytes f11 = patterned(70000, 4);
    std::fill(f11.begin() + (98304 - 70000), f11.end(), 0);
    EXPECT_EQ(read("out/f11"), f11);
    EXPECT_EQ(read("out/f12"), Bytes(70000, 0));
    EXPECT_EQ(read("out/f10"), patterned(70000, 3));
    EXPECT_NE(r.output.find("f11: "), std::string::npos);
    EXPECT_NE(r.output.find("bytes 28304-69999 of 70000 zero-filled"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("f12: "), std::string::npos);
    EXPECT_NE(r.output.find("written as 70000 zero bytes"), std::string::npos) << r.output;

    // To standard output, the same bytes in table order.
    const auto piped =
        pelmarcab_test::run_split("extract -p --salvage=partial -F f1? " + at("c.cab"));
    Bytes expected = patterned(70000, 3);
    expected.insert(expected.end(), f11.begin(), f11.end());
    expected.resize(expected.size() + 70000, 0);
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(Bytes(piped.out.begin(), piped.out.end()), expected);
}

TEST_F(Robust, TheSalvageReportEscapesTheNamesItCarries) {
    std::vector<cabwriter::Folder> folders = three_folders();
    folders[0].files[0].name = pelmarcab_test::kHostileName;
    Bytes cabinet = cabwriter::write_cabinet_set(folders).at(0).bytes;
    break_checksum(cabinet, map_cabinet(cabinet).blocks[0][0]);
    write("c.cab", cabinet);
    const ToolRun r = pelmarcab_test::run_in_terminal("test --salvage " + at("c.cab"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(pelmarcab_test::kHostileNameEscaped), std::string::npos) << r.output;
    EXPECT_EQ(pelmarcab_test::stray_controls(r.output), "") << r.output;
}

TEST_F(Robust, ACabinetCutShortAtEachStructureGivesWhatLiesBeforeTheCut) {
    const Bytes good = three_folder_cabinet();
    const auto map = map_cabinet(good);
    const auto cut = [&good](size_t size) { return Bytes(good.begin(), good.begin() + size); };
    const struct {
        const char *what;
        size_t size;
        std::vector<std::string> whole;
    } cases[] = {
        {"in the header", 20, {}},
        {"in the folder table", map.folder_table + 12, {}},
        {"in the file table", map.file_table + 2 * 20, {}},
        {"in a block header",
         map.blocks[2][0].header + 4,
         {"f00", "f01", "f02", "f10", "f11", "f12"}},
        {"in a block's data", map.blocks[1][3].data + 100, {"f00", "f01", "f02", "f10"}},
    };
    for (const auto &c : cases) {
        write("c.cab", cut(c.size));
        fs::remove_all(at("out"));
        fs::create_directories(at("out"));
        const ToolRun r = run("extract --salvage -d " + at("out") + " " + at("c.cab"));
        EXPECT_EQ(r.status, 1) << c.what << r.output;
        expect_whole("out", c.whole, c.what);
    }
}

TEST_F(Robust, AMissingSetMemberCostsTheFilesThatNeedIt) {
    std::vector<cabwriter::Folder> folders = three_folders();
    for (auto &folder : folders) folder.method = {};  // stored: every cabinet stays small
    cabwriter::SetOptions options;
    options.max_cabinet_size = 150000;
    const auto set = cabwriter::write_cabinet_set(folders, options);
    ASSERT_GE(set.size(), 3u);
    for (const auto &member : set) write(member.name, member.bytes);
    fs::remove(at(set[1].name));
    const ToolRun r = run("extract --salvage -d " + at("out") + " " + at(set[0].name));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(set[1].name + ", which is not in"), std::string::npos) << r.output;
    // Whatever was written is whole, and the first cabinet's own files are.
    for (const auto &[name, bytes] : tree("out")) {
        bool found = false;
        for (const auto &folder : folders)
            for (const auto &file : folder.files)
                if (file.name == name) found = file.data == bytes;
        EXPECT_TRUE(found) << name;
    }
    EXPECT_EQ(read("out/f00"), patterned(70000, 0));
}

// --- parallel folders and progress -----------------------------------------------------

TEST_F(Robust, ParallelFoldersGiveTheSameFilesAsOneJob) {
    std::vector<cabwriter::Folder> folders = three_folders();
    folders[1].method = {cabwriter::MethodKind::Lzx, 16};
    folders[2].method = {cabwriter::MethodKind::Quantum, 15};
    folders[2].files.push_back({"f00", patterned(1000, 99)});  // the same name as in folder 0
    cabwriter::Folder more = three_folders()[0];
    for (auto &file : more.files) file.name = "more\\" + file.name;
    folders.push_back(more);
    write("c.cab", cabwriter::write_cabinet_set(folders).at(0).bytes);
    ASSERT_EQ(run("extract -j 1 -d " + at("one") + " " + at("c.cab")).status, 0);
    ASSERT_EQ(run("extract -j 4 -d " + at("four") + " " + at("c.cab")).status, 0);
    EXPECT_EQ(tree("one"), tree("four"));
    EXPECT_EQ(read("four/f00"), patterned(1000, 99)) << "the later entry wins, as with one job";

    // And on a damaged cabinet with salvage.
    Bytes damaged = cabwriter::write_cabinet_set(three_folders()).at(0).bytes;
    break_checksum(damaged, map_cabinet(damaged).blocks[0][1]);
    write("d.cab", damaged);
    EXPECT_EQ(run("extract --salvage=partial -j 1 -d " + at("d1") + " " + at("d.cab")).status, 1);
    EXPECT_EQ(run("extract --salvage=partial -j 3 -d " + at("d3") + " " + at("d.cab")).status, 1);
    EXPECT_EQ(tree("d1"), tree("d3"));
}

// The bar itself is tested in progress_test.cpp; here, where it may appear.
TEST_F(Robust, NoProgressBarInPipesOrWithQuiet) {
    std::vector<cabwriter::Folder> folders = three_folders();
    write("c.cab", cabwriter::write_cabinet_set(folders).at(0).bytes);
    const ToolRun piped = run("test " + at("c.cab"));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.output, "");
    const ToolRun quiet =
        pelmarcab_test::run_in_terminal("extract -q -d " + at("out") + " " + at("c.cab"));
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.output, "");
}

}  // namespace
