// list, test and extract with several cabinets, filters, standard output,
// lowercase names, --single, and the technical listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cab/bytes.h"
#include "cab/format.h"
#include "tools/pelmarcab/tests/tool_test.h"

namespace {

namespace fs = std::filesystem;
using pelmarcab_test::kHostileName;
using pelmarcab_test::kHostileNameEscaped;
using pelmarcab_test::run;
using pelmarcab_test::run_in_terminal;
using pelmarcab_test::run_split;
using pelmarcab_test::stray_controls;
using pelmarcab_test::ToolRun;
using Names = std::set<std::string>;

cabwriter::FileEntry entry(const std::string &name, const std::string &text) {
    return {name, std::vector<uint8_t>(text.begin(), text.end())};
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text;
}

std::string patterned(size_t size, unsigned seed) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(((i + seed) * 2654435761u) >> 13);
    return text;
}

cabwriter::Folder folder(std::vector<cabwriter::FileEntry> files,
                         cabwriter::MethodKind kind = cabwriter::MethodKind::Stored,
                         unsigned window = 0) {
    cabwriter::Folder f;
    f.method.kind = kind;
    f.method.window_exponent = window;
    f.files = std::move(files);
    return f;
}

// The names at the end of list's lines.
Names listed_names(const std::string &output) {
    Names names;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.find('\t') != std::string::npos) names.insert(line.substr(line.rfind('\t') + 1));
    return names;
}

class ReadTest : public pelmarcab_test::PelmarcabTest {
protected:
    // Writes the folders as FIRST, or as a set FIRST, FIRST2, ... ("d.cab",
    // "d2.cab") when options split them.
    void write_set(const std::string &first, const std::vector<cabwriter::Folder> &folders,
                   cabwriter::SetOptions options = {}) const {
        const std::string stem = first.substr(0, first.size() - 4);
        options.cabinet_name = [stem](unsigned i) {
            return i == 0 ? stem + ".cab" : stem + std::to_string(i + 1) + ".cab";
        };
        for (const auto &c : cabwriter::write_cabinet_set(folders, options)) write(c.name, c.bytes);
    }
    // Regular files under `folder`, relative to it.
    Names files_in(const std::string &folder) const {
        Names names;
        if (!fs::exists(at(folder))) return names;
        for (const auto &e : fs::recursive_directory_iterator(at(folder)))
            if (e.is_regular_file()) names.insert(fs::relative(e.path(), at(folder)).string());
        return names;
    }
    std::string text_of(const std::string &name) const {
        const auto bytes = read(name);
        return {bytes.begin(), bytes.end()};
    }
};

TEST_F(ReadTest, EachCabinetIsReadAndAnyFailureSetsTheStatus) {
    write_set("a.cab", {folder({entry("a.txt", "A")})});
    write_set("c.cab", {folder({entry("c.txt", "C")})});
    write("bad.cab", {'n', 'o', 't'});
    const std::string cabinets =
        at("a.cab") + " " + at("missing.cab") + " " + at("bad.cab") + " " + at("c.cab");
    for (const std::string &command :
         {std::string("list "), std::string("test "), "extract -d " + at("out") + " "}) {
        const ToolRun r = run(command + cabinets);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.output.find("missing.cab: CAB_ERR_OPEN: No such file or directory"),
                  std::string::npos)
            << r.output;
        EXPECT_NE(r.output.find("bad.cab: CAB_ERR_SIGNATURE: not a cabinet"), std::string::npos)
            << r.output;
    }
    EXPECT_EQ(files_in("out"), (Names{"a.txt", "c.txt"})) << "the cabinet after the failures too";
    EXPECT_EQ(run("test " + at("a.cab") + " " + at("c.cab")).status, 0);

    const ToolRun list = run("list " + at("a.cab") + " " + at("c.cab"));
    EXPECT_NE(list.output.find(at("a.cab") + ":\n"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("\n\n" + at("c.cab") + ":\n"), std::string::npos) << list.output;
    EXPECT_EQ(run("--version").output.rfind("pelmarcab ", 0), 0u);
}

TEST_F(ReadTest, FiltersMatchStoredNamesWithSlashesAndWithoutCase) {
    write_set("f.cab", {folder({entry("Docs\\Read.ME", "1"), entry("docs\\notes.txt", "2"),
                                entry("TOP.TXT", "3"), entry("src\\main.c", "4")})});
    const struct {
        std::string filters;
        Names stored;
    } cases[] = {
        {"-F 'docs/*'", {"Docs\\Read.ME", "docs\\notes.txt"}},
        {"-F 'DOCS\\*.me'", {"Docs\\Read.ME"}},
        {"--case-sensitive -F 'docs/*'", {"docs\\notes.txt"}},
        {"-F '*.txt'", {"docs\\notes.txt", "TOP.TXT"}},  // '*' reaches into folders
        {"-F '*.c' -F 'top.*'", {"src\\main.c", "TOP.TXT"}},
        {"-F '[st]*'", {"src\\main.c", "TOP.TXT"}},
        {"-F nothing", {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(listed_names(run("list " + c.filters + " " + at("f.cab")).output), c.stored)
            << c.filters;
        const ToolRun test = run("test -v " + c.filters + " " + at("f.cab"));
        EXPECT_EQ(test.status, 0) << c.filters;
        Names tested;
        std::istringstream lines(test.output);
        for (std::string line; std::getline(lines, line);) tested.insert(line);
        EXPECT_EQ(tested, c.stored) << c.filters;

        fs::remove_all(at("out"));
        EXPECT_EQ(run("extract -d " + at("out") + " " + c.filters + " " + at("f.cab")).status, 0);
        Names extracted;
        for (std::string name : c.stored) {
            std::replace(name.begin(), name.end(), '\\', '/');
            extracted.insert(name);
        }
        EXPECT_EQ(files_in("out"), extracted) << c.filters;
    }
}

TEST_F(ReadTest, StdoutCarriesOnlyTheSelectedBytesInTableOrder) {
    const std::string one = patterned(70000, 1), two = "second", three = patterned(40000, 3);
    write_set("s.cab",
              {folder({entry("one", one), entry("two", two)}, cabwriter::MethodKind::Mszip),
               folder({entry("sub\\three", three)}, cabwriter::MethodKind::Lzx, 17)});
    const auto all = run_split("extract -p -d " + at("out") + " " + at("s.cab"));
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_TRUE(all.out == one + two + three) << "size " << all.out.size();
    EXPECT_EQ(all.err, "");
    EXPECT_FALSE(fs::exists(at("out"))) << "nothing is written to disk";

    const auto picked = run_split("extract -p -v -F '*t*' " + at("s.cab"));
    EXPECT_EQ(picked.status, 0) << picked.err;
    EXPECT_TRUE(picked.out == two + three) << "size " << picked.out.size();
    EXPECT_EQ(picked.err, "two\nsub\\three\n") << "verbose lines go to standard error";

    // A file that spans a set comes out whole.
    cabwriter::SetOptions options;
    options.max_cabinet_size = 50000;
    write_set("d.cab", {folder({entry("big", one)})}, options);
    ASSERT_TRUE(fs::exists(at("d2.cab")));
    const auto spanned = run_split("extract -p " + at("d.cab"));
    EXPECT_EQ(spanned.status, 0) << spanned.err;
    EXPECT_TRUE(spanned.out == one) << "size " << spanned.out.size();
    // Members named after the first, as "d*.cab" names them, are not read twice.
    const auto globbed = run_split("extract -p " + at("d.cab") + " " + at("d2.cab"));
    EXPECT_EQ(globbed.status, 0) << globbed.err;
    EXPECT_TRUE(globbed.out == one) << "size " << globbed.out.size();
    EXPECT_EQ(globbed.err, "pelmarcab: " + at("d2.cab") + ": skipped: already read with its set\n");
}

TEST_F(ReadTest, LowercaseTouchesOnlyTheLettersAToZOfTheConvertedName) {
    // "ア" in Shift-JIS is 83 41: its second byte is an 'A' that must stay.
    write_set("l.cab", {folder({entry("DIR\\File.TXT", "1"), entry("\x83\x41.DAT", "2"),
                                entry("\xc3\x84.TXT", "3")})});
    ASSERT_EQ(run("extract -L -d " + at("out") + " " + at("l.cab")).status, 0);
    EXPECT_EQ(files_in("out"), (Names{"dir/file.txt", "ア.dat", "Ä.txt"}));
    EXPECT_EQ(listed_names(run("list -L " + at("l.cab")).output),
              (Names{"dir\\file.txt", "ア.dat", "Ä.txt"}));
    // Filters see the stored name, whatever the case it is written in.
    EXPECT_EQ(listed_names(run("list -L --case-sensitive -F 'DIR/*' " + at("l.cab")).output),
              (Names{"dir\\file.txt"}));
    EXPECT_EQ(listed_names(run("list " + at("l.cab")).output).count("DIR\\File.TXT"), 1u)
        << "the plain listing keeps stored names";
}

TEST_F(ReadTest, SingleReadsOnlyTheNamedCabinet) {
    cabwriter::SetOptions options;
    options.max_cabinet_size = 50000;
    write_set("disk.cab",
              {folder({entry("first", patterned(20000, 5)), entry("big", patterned(60000, 6)),
                       entry("last", "end")})},
              options);
    fs::remove(at("disk2.cab"));
    fs::remove(at("disk3.cab"));

    const ToolRun single = run("extract -s -d " + at("out") + " " + at("disk.cab"));
    EXPECT_EQ(single.status, 0) << single.output;
    EXPECT_EQ(files_in("out"), Names{"first"});
    EXPECT_NE(single.output.find("skipping \"big\": it continues in disk2.cab"), std::string::npos)
        << single.output;
    EXPECT_EQ(run("test -s -q " + at("disk.cab")).output, "");

    // Without --single the missing member is named with the folder searched.
    const ToolRun whole = run("test " + at("disk.cab"));
    EXPECT_EQ(whole.status, 1);
    EXPECT_NE(whole.output.find("disk2.cab: CAB_ERR_OPEN: the set continues in disk2.cab, which "
                                "is not in " +
                                dir.string() + "/; put it there, or give --single"),
              std::string::npos)
        << whole.output;
}

TEST_F(ReadTest, TechnicalListingShowsHeaderFoldersAndFiles) {
    cabwriter::SetOptions options;
    options.max_cabinet_size = 50000;
    options.header_reserve = 8;
    options.folder_reserve = 2;
    options.block_reserve = 3;
    options.disk_name = "Disk";
    auto flagged = entry("Run.exe", "MZ");
    flagged.attributes = 0x01 | 0x20 | 0x40;
    write_set("t.cab",
              {folder({flagged}, cabwriter::MethodKind::Mszip),
               folder({entry("small", "lzx")}, cabwriter::MethodKind::Lzx, 21),
               folder({entry("big", patterned(90000, 7))})},
              options);
    const ToolRun first = run("list -v " + at("t.cab"));
    EXPECT_EQ(first.status, 0) << first.output;
    for (const std::string expected :
         {"  version 1.3, ", "  set id 0x1234, index 0\n",
          "  flags 0x0006: next cabinet, reserve fields\n", "  previous cabinet: -\n",
          "  next cabinet: t2.cab (disk \"Disk\")\n",
          "  reserve: header 8, folder 2, data block 3 bytes\n", "folders 3\n",
          "  0\tMSZIP\t2^15\t1\t", "  1\tLZX\t2^21\t", "\tread-only, archive, run\tRun.exe\n",
          "  next\t0\t90000\t2025-12-07\t12:00:00\tarchive\tbig\n"})
        EXPECT_NE(first.output.find(expected), std::string::npos) << expected << first.output;

    const ToolRun second = run("list -v -F '*.exe' " + at("t2.cab"));
    EXPECT_NE(second.output.find("  previous cabinet: t.cab (disk \"Disk\")\n"), std::string::npos)
        << second.output;
    EXPECT_EQ(second.output.find("\tbig\n"), std::string::npos) << "filtered out";

    // Blocks past the end of a cut cabinet are reported.
    auto bytes = read("t2.cab");
    bytes.resize(bytes.size() - 100);
    write("cut.cab", bytes);
    const ToolRun cut = run("list -v " + at("cut.cab"));
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.output.find("cut.cab: CAB_ERR_CORRUPT: the data blocks of folder 0 run past"),
              std::string::npos)
        << cut.output;
    // A file table that ends early is a failure, not a read past the end.
    bytes = read("t.cab");
    cab::store_u16(bytes.data() + cab::kHeaderFileCount, 0xFFFF);
    write("many.cab", bytes);
    const ToolRun many = run("list -v " + at("many.cab"));
    EXPECT_EQ(many.status, 1);
    EXPECT_NE(many.output.find("many.cab: CAB_ERR_CORRUPT: file entry "), std::string::npos)
        << many.output;
}

TEST_F(ReadTest, JsonListingIsOneDocumentEvenWithFailuresAndHostileNames) {
    // 0xFF is no character in CP932: that name stays as stored, not UTF-8.
    write_set("j.cab",
              {folder({entry("A.txt", "1"), entry(kHostileName, "2"), entry("bad\xff", "3")},
                      cabwriter::MethodKind::Mszip)});
    const auto r = run_split("list --json -L " + at("j.cab") + " " + at("missing.cab"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.cab: CAB_ERR_OPEN"), std::string::npos) << r.err;
    EXPECT_EQ(stray_controls(r.out), "");
    const auto doc = nlohmann::json::parse(r.out);  // throws on anything but one document
    ASSERT_EQ(doc["cabinets"].size(), 2u);
    const auto &cab = doc["cabinets"][0];
    EXPECT_EQ(cab["path"], at("j.cab"));
    EXPECT_EQ(cab["header"]["version"], "1.3");
    EXPECT_EQ(cab["folders"][0]["method"], "MSZIP");
    EXPECT_EQ(cab["folders"][0]["uncompressed_bytes"], 3);
    ASSERT_EQ(cab["files"].size(), 3u);
    EXPECT_EQ(cab["files"][0]["name"], "a.txt");
    EXPECT_EQ(cab["files"][0]["attribute_names"], nlohmann::json::array({"archive"}));
    EXPECT_EQ(cab["files"][1]["name"], lowercase(kHostileName));
    EXPECT_EQ(cab["files"][2]["name"], "bad\xef\xbf\xbd");
    EXPECT_EQ(doc["cabinets"][1]["error"], "CAB_ERR_OPEN: No such file or directory");
}

TEST_F(ReadTest, HostileNamesStayEscapedThroughFiltersLowercaseAndStdout) {
    // Extraction stops at the first name it refuses, so the C1 name comes first.
    write_set("h.cab", {folder({entry("fine", "ok"), entry("C1\xc2\x9b[2J", "c1"),
                                entry(kHostileName, "hostile")})});
    const std::string lowered = lowercase(kHostileNameEscaped);
    const ToolRun list = run_in_terminal("list -L -F 'a*' " + at("h.cab"));
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("\t" + lowered + "\r\n"), std::string::npos) << list.output;
    EXPECT_EQ(stray_controls(list.output), "");

    const ToolRun extract =
        run_in_terminal("extract -L -v -F '*' -d " + at("out") + " " + at("h.cab"));
    EXPECT_EQ(extract.status, 1);
    EXPECT_NE(extract.output.find("refusing the file name \"" + lowered), std::string::npos)
        << extract.output;
    EXPECT_NE(extract.output.find("c1\\xc2\\x9b[2j"), std::string::npos) << extract.output;
    EXPECT_EQ(stray_controls(extract.output), "");

    const auto piped = run_split("extract -p -v -F 'a*' " + at("h.cab"));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, "hostile");
    EXPECT_EQ(piped.err, kHostileNameEscaped + "\n");

    const ToolRun technical = run_in_terminal("list -v " + at("h.cab"));
    EXPECT_NE(technical.output.find(kHostileNameEscaped), std::string::npos) << technical.output;
    EXPECT_EQ(stray_controls(technical.output), "");
}

TEST_F(ReadTest, C1ControlsAreEscapedWhileOtherCharactersStay) {
    // U+009B (CSI) in UTF-8, a lone CSI byte, and "あ" (E3 81 82), whose
    // continuation bytes lie in the C1 range but belong to the character.
    write_set("c.cab", {folder({entry("\xc2\x9b"
                                      "2J",
                                      "1"),
                                entry("lone\x9b", "2"), entry("\xe3\x81\x82", "3")})});
    const ToolRun r = run("list " + at("c.cab"));
    EXPECT_EQ(listed_names(r.output), (Names{"\\xc2\\x9b2J", "lone\\x9b", "あ"})) << r.output;
}

TEST_F(ReadTest, VerboseSaysWhereDecodingFailed) {
    cabwriter::SetOptions options;
    options.checksums = false;
    write_set("m.cab",
              {folder({entry("data.bin", patterned(70000, 9))}, cabwriter::MethodKind::Mszip)},
              options);
    auto bytes = read("m.cab");
    // The first block's data begins with MSZIP's "CK" signature.
    const size_t block = cab::load_u32(bytes.data() + cab::kHeaderSize + cab::kFolderFirstBlock);
    ASSERT_EQ(bytes[block + cab::kBlockHeaderSize + 1], 'K');
    bytes[block + cab::kBlockHeaderSize + 1] = 'X';
    write("m.cab", bytes);

    const ToolRun plain = run("test " + at("m.cab"));
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.output.find("m.cab: CAB_ERR_DECODE: the compressed data is damaged; data.bin "
                                "is incomplete (-v tells where decoding stopped)"),
              std::string::npos)
        << plain.output;
    const ToolRun verbose = run("extract -v -d " + at("out") + " " + at("m.cab"));
    EXPECT_EQ(verbose.status, 1);
    EXPECT_NE(verbose.output.find("incomplete (mszip.cpp:"), std::string::npos) << verbose.output;
}

}  // namespace
