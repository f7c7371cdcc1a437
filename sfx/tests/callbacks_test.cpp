#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "sfx/extract.h"
#include "sfx/platform.h"
#include "sfx/settings.h"
#include "sfx/tests/installer_fixture.h"

namespace sfxtest {
namespace {

namespace fs = std::filesystem;

class Callbacks : public InstallerTest {};

TEST_F(Callbacks, OwnFileHandlesSeeTheCabinetAsAFileOfItsOwn) {
    write_bytes(installer_, {'s', 't', 'u', 'b', 'M', 'S', 'C', 'F'});
    session_.process_values.module_path = installer_;
    session_.payload_config.cabinet_offset = 4;
    const int32_t handle = sfx::sfx_open(installer_.c_str(), CAB_OPEN_READ, CAB_OPEN_MODE);
    ASSERT_NE(handle, -1);
    char signature[4] = {};
    EXPECT_EQ(sfx::sfx_read(handle, signature, 4), 4);
    EXPECT_EQ(std::string(signature, 4), "MSCF");
    EXPECT_EQ(sfx::sfx_seek(handle, 1, 0), 1);
    EXPECT_EQ(sfx::sfx_seek(handle, 0, 2), 4) << "the cabinet runs to the end of the file";
    EXPECT_EQ(sfx::sfx_close(handle), 0);
    EXPECT_TRUE(session_.extraction_state.embedded_cabinet.empty());
}

TEST_F(Callbacks, AtMost255OwnFileHandlesAreOpen) {
    write_bytes(installer_, {'M', 'S', 'C', 'F'});
    session_.process_values.module_path = installer_;
    std::vector<int32_t> handles;
    for (size_t i = 0; i < sfx::kMaxEmbeddedHandles; ++i) {
        handles.push_back(sfx::sfx_open(installer_.c_str(), CAB_OPEN_READ, CAB_OPEN_MODE));
        ASSERT_NE(handles.back(), -1);
    }
    EXPECT_EQ(sfx::sfx_open(installer_.c_str(), CAB_OPEN_READ, CAB_OPEN_MODE), -1)
        << "a handle that could not be shifted would read the wrong bytes";
    for (int32_t handle : handles) sfx::sfx_close(handle);
}

TEST_F(Callbacks, TheScratchFileIsUnnamedAndPrivate) {
    setenv("TMPDIR", dir_.c_str(), 1);
    const int32_t handle = sfx::sfx_open("*", CAB_OPEN_SCRATCH, CAB_OPEN_MODE);
    unsetenv("TMPDIR");
    ASSERT_NE(handle, -1);
    EXPECT_EQ(sfx::sfx_write(handle, "page", 4), 4);
    EXPECT_EQ(sfx::sfx_seek(handle, 0, 0), 0);
    char page[4] = {};
    EXPECT_EQ(sfx::sfx_read(handle, page, 4), 4);
    EXPECT_EQ(sfx::sfx_close(handle), 0);
    const std::string folder = dir_ + "/pelmarself-" + std::to_string(getuid());
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
}

TEST_F(Callbacks, NewerOnlyComparesWithTheExistingFile) {
    const std::string file = path("existing");
    EXPECT_TRUE(sfx::is_newer_than_existing(file, 1000));
    EXPECT_TRUE(sfx::is_newer_than_existing(path("existing/below"), 1000))
        << "a missing folder is missing";
    write_bytes(file, {'x'});
    const timespec times[2] = {{1000, 0}, {1000, 0}};
    utimensat(AT_FDCWD, file.c_str(), times, 0);
    EXPECT_FALSE(sfx::is_newer_than_existing(file, 1000));
    EXPECT_TRUE(sfx::is_newer_than_existing(file, 1002));
    EXPECT_TRUE(sfx::is_newer_than_existing(path("existing/below"), 1000))
        << "ENOTDIR counts as not found";
}

TEST_F(Callbacks, MakeFoldersRefusesAFileInTheWay) {
    write_bytes(path("file"), {'x'});
    EXPECT_EQ(sfx::make_folders(path("file") + "\\sub\\"), -1);
    EXPECT_EQ(sfx::make_folders(path("a\\b/c\\")), 0);
    EXPECT_TRUE(fs::is_directory(path("a/b/c")));
    EXPECT_EQ(sfx::make_folders("/"), 0);
}

TEST_F(Callbacks, AFileThatCannotReplaceItsTargetLeavesNothingBehind) {
    fs::create_directories(path("out/a.txt"));
    write_installer({file_entry("a.txt", "alpha")}, "-A -! -D" + path("out"));
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(fs::is_directory(path("out/a.txt")));
    EXPECT_EQ(std::distance(fs::directory_iterator(path("out")), fs::directory_iterator()), 1);
}

TEST_F(Callbacks, AnOverlongProgramPathIsRefused) {
    write_installer({file_entry("a.txt", "alpha")}, "-R -! -D" + path("out"));
    EXPECT_EQ(run({"-E" + std::string(250, 'p')}), 1);
    EXPECT_EQ(ui_.texts(),
              std::vector<std::string>{"The decompression process could not shut down properly."});
}

}  // namespace
}  // namespace sfxtest
