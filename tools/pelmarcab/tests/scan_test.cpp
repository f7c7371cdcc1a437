// The scan for cabinets inside other files: which headers it accepts, and
// that it finds them wherever the read buffer happens to cut the file.
#include "tools/pelmarcab/scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "cab/format.h"
#include "cab/writer/writer.h"
#include "sfx/sfx_writer.h"

namespace pelmarcab {
namespace {

std::vector<uint8_t> small_cabinet(size_t bytes = 3000, uint8_t fill = 'c') {
    cabwriter::Folder folder;
    folder.files.push_back({"a.txt", std::vector<uint8_t>(bytes, fill)});
    folder.files.push_back({"b.txt", std::vector<uint8_t>(100, 'b')});
    return cabwriter::write_cabinet_set({folder}).at(0).bytes;
}

// Junk that holds false signatures and is never a header.
std::vector<uint8_t> junk(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 11);
    for (size_t at = 7; at + 4 < size; at += 997) std::copy_n("MSCF", 4, bytes.begin() + at);
    return bytes;
}

void append(std::vector<uint8_t> &to, const std::vector<uint8_t> &bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// Writes `bytes` to a temporary file and scans it.
std::vector<FoundCabinet> scan(const std::vector<uint8_t> &bytes) {
    char path[] = "/tmp/pelmarcab-scan-XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    unlink(path);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    auto found = find_cabinets(fd);
    close(fd);
    return found;
}

TEST(Scan, FindsEveryCabinetAtItsOffsetAmongJunk) {
    const auto cabinet = small_cabinet();
    std::vector<uint8_t> file = junk(5000);
    append(file, cabinet);
    append(file, junk(200000));
    const size_t second = file.size();
    append(file, cabinet);
    const auto found = scan(file);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].offset, 5000u);
    EXPECT_EQ(found[0].size, cabinet.size());
    EXPECT_EQ(found[1].offset, second);
}

TEST(Scan, FindsHeadersThatStraddleTheReadBuffer) {
    const auto cabinet = small_cabinet();
    for (size_t before : {65536 - 36, 65536 - 35, 65536 - 1, 65536, 2 * 65536 - 20}) {
        std::vector<uint8_t> file = junk(before);
        append(file, cabinet);
        const auto found = scan(file);
        ASSERT_EQ(found.size(), 1u) << "cabinet at " << before;
        EXPECT_EQ(found[0].offset, before);
    }
}

TEST(Scan, SkipsTheContentOfACabinetItFound) {
    // A stored cabinet holding another cabinet, larger than the read buffer,
    // followed by a third one.
    const auto inner = small_cabinet();
    cabwriter::Folder folder;
    std::vector<uint8_t> content = junk(150000);
    append(content, inner);
    folder.files.push_back({"inner.cab", content});
    const auto outer = cabwriter::write_cabinet_set({folder}).at(0).bytes;
    std::vector<uint8_t> file = junk(100);
    append(file, outer);
    append(file, inner);
    const auto found = scan(file);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].offset, 100u);
    EXPECT_EQ(found[1].offset, 100 + outer.size());
}

TEST(Scan, RefusesHeadersThatDisagreeWithThemselvesOrTheFile) {
    const auto good = small_cabinet();
    const auto with = [&good](size_t field, uint32_t value, size_t width) {
        auto bytes = good;
        if (width == 2) cab::store_u16(bytes.data() + field, static_cast<uint16_t>(value));
        if (width == 4) cab::store_u32(bytes.data() + field, value);
        return bytes;
    };
    const uint32_t size = static_cast<uint32_t>(good.size());
    const struct {
        const char *what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"version 1.2", with(cab::kHeaderVersion, 0x0102, 2)},
        {"size past the file's end", with(cab::kHeaderCabinetSize, size + 1, 4)},
        {"size before the file table", with(cab::kHeaderCabinetSize, 40, 4)},
        {"no folder", with(cab::kHeaderFolderCount, 0, 2)},
        {"no file", with(cab::kHeaderFileCount, 0, 2)},
        {"unknown flag", with(cab::kHeaderFlags, 0x0008, 2)},
        {"file table inside the header", with(cab::kHeaderFilesOffset, 20, 4)},
        {"file table inside the folder table",
         with(cab::kHeaderFilesOffset, cab::kHeaderSize + cab::kFolderEntrySize - 1, 4)},
        {"more folders than fit before the file table", with(cab::kHeaderFolderCount, 2, 2)},
        {"more files than the cabinet holds", with(cab::kHeaderFileCount, size / 18, 2)},
    };
    EXPECT_TRUE(is_consistent_header(good.data(), 0, good.size()));
    EXPECT_FALSE(is_consistent_header(good.data(), 1, good.size())) << "ends past the file";
    EXPECT_FALSE(is_consistent_header(good.data(), 0x7FFFFFFF - good.size() + 1, 0x100000000))
        << "out of the engine's reach";
    for (const auto &c : cases) {
        EXPECT_FALSE(is_consistent_header(c.bytes.data(), 0, c.bytes.size())) << c.what;
        EXPECT_TRUE(scan(c.bytes).empty()) << c.what;
    }
}

TEST(Scan, FindsTheCabinetOfASelfExtractorAtItsRealOffset) {
    // A stub that mentions the signature, as an installer's code does.
    std::vector<uint8_t> stub = junk(30000);
    std::replace(stub.begin(), stub.end(), uint8_t{'$'}, uint8_t{'#'});  // no marker in the stub
    const auto cabinet = small_cabinet();
    sfx::SfxBlock block;
    block.title = "Setup MSCF";
    const auto installer = sfx::write_self_extractor(stub, block, cabinet);
    const auto found = scan(installer);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].offset, installer.size() - cabinet.size());
}

}  // namespace
}  // namespace pelmarcab
