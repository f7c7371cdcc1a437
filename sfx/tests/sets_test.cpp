#include <gtest/gtest.h>

#include <filesystem>

#include "sfx/platform.h"
#include "sfx/tests/installer_fixture.h"

namespace sfxtest {
namespace {

constexpr const char *kFailed = "The decompression process could not shut down properly.";

std::string pattern(size_t size, char seed) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(seed + i % 23);
    return text;
}

// A set of three cabinets whose files span them; the first is embedded in
// the installer, the others lie beside it as disk2.cab and disk3.cab.
class Sets : public InstallerTest {
protected:
    void write_set(uint16_t set_id = 0x1234) {
        cabwriter::Folder folder;
        folder.files = {file_entry("a.bin", pattern(30000, 'a')),
                        file_entry("b.bin", pattern(30000, 'b')),
                        file_entry("c.bin", pattern(20000, 'c'))};
        cabwriter::SetOptions options;
        options.max_cabinet_size = 32000;
        options.set_id = set_id;
        options.cabinet_name = [](unsigned i) {
            return i == 0 ? std::string("setup-sfx") : "disk" + std::to_string(i + 1) + ".cab";
        };
        cabinets_ = cabwriter::write_cabinet_set({folder}, options);
        ASSERT_EQ(cabinets_.size(), 3u);
        sfx::SfxBlock block;
        block.options = "-R -! -D" + path("out");
        write_installer(cabinets_[0].bytes, block);
        for (size_t i = 1; i < cabinets_.size(); ++i)
            write_bytes(path(cabinets_[i].name), cabinets_[i].bytes);
    }
    void expect_all_files() {
        EXPECT_EQ(read_text("out/a.bin"), pattern(30000, 'a'));
        EXPECT_EQ(read_text("out/b.bin"), pattern(30000, 'b'));
        EXPECT_EQ(read_text("out/c.bin"), pattern(20000, 'c'));
    }
    void on_removable_drive() {
        sfx::platform::set_removable_check([](const std::string &, std::string &mount_point) {
            mount_point = "/media/floppy";
            return true;
        });
    }
    std::vector<cabwriter::Cabinet> cabinets_;
};

TEST_F(Sets, ASpanningSetIsExtractedFromItsCabinets) {
    write_set();
    ASSERT_EQ(run(), 0);
    expect_all_files();
}

TEST_F(Sets, ASetInAFolderLongerThanTheEnginesPathsIsExtracted) {
    write_set();
    // More than the engine's 257-byte paths and the 255 bytes a split keeps.
    const std::string folder = path(std::string(150, 'a') + "/" + std::string(150, 'b'));
    std::filesystem::create_directories(folder);
    for (const char *name : {"setup-sfx", "disk2.cab", "disk3.cab"})
        std::filesystem::rename(path(name), folder + "/" + name);
    installer_ = folder + "/setup-sfx";
    ASSERT_EQ(run(), 0);
    expect_all_files();
    EXPECT_EQ(ui_.archive_lines.front(), installer_) << "the folder as the user named it";
}

TEST_F(Sets, AMissingNextCabinetOnAFixedDriveFails) {
    write_set();
    std::filesystem::remove(path("disk2.cab"));
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui_.texts(),
              (std::vector<std::string>{
                  "\"disk2.cab\" does not exist in the folder \"" + dir_ + "/\".", kFailed}));
    EXPECT_EQ(ui_.messages[0].style, 0x10u);
}

TEST_F(Sets, DiskettePromptsCountUpOnARemovableDrive) {
    write_set();
    for (size_t i = 1; i < cabinets_.size(); ++i) std::filesystem::remove(path(cabinets_[i].name));
    on_removable_drive();
    size_t inserted = 0;
    ui_.on_message = [&](const RecordedMessage &message) {
        if (message.style == 0x21u) {
            ++inserted;
            write_bytes(path(cabinets_[inserted].name), cabinets_[inserted].bytes);
        }
    };
    ui_.answers = {sfx::SFX_IDOK, sfx::SFX_IDOK};
    ASSERT_EQ(run(), 0);
    expect_all_files();
    EXPECT_EQ(ui_.texts(), (std::vector<std::string>{
                               "Please insert diskette no. 2 into the /media/floppy drive.",
                               "Please insert diskette no. 3 into the /media/floppy drive."}));
}

TEST_F(Sets, ACancelledDiskettePromptFails) {
    write_set();
    std::filesystem::remove(path("disk2.cab"));
    on_removable_drive();
    ui_.answers = {sfx::SFX_IDCANCEL};
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui_.texts().back(), kFailed);
}

TEST_F(Sets, ACabinetOfAnotherSetFailsInsteadOfAskingForEver) {
    write_set();
    cabwriter::Folder folder;
    folder.files = {file_entry("x", pattern(40000, 'x'))};
    cabwriter::SetOptions options;
    options.max_cabinet_size = 32000;
    options.set_id = 0x4321;
    options.cabinet_name = [](unsigned i) { return "other" + std::to_string(i) + ".cab"; };
    const std::vector<cabwriter::Cabinet> other = cabwriter::write_cabinet_set({folder}, options);
    write_bytes(path("disk2.cab"), other.at(1).bytes);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui_.texts(), std::vector<std::string>{kFailed});

    on_removable_drive();
    ui_.messages.clear();
    ui_.answers = {sfx::SFX_IDCANCEL};
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(ui_.texts(),
              (std::vector<std::string>{
                  "Please insert diskette no. 2 into the /media/floppy drive.", kFailed}))
        << "on a removable drive the user may insert another diskette";
}

}  // namespace
}  // namespace sfxtest
