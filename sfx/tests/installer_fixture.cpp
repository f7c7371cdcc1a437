#include "sfx/tests/installer_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sfx/installer.h"

namespace sfxtest {
namespace {

[[noreturn]] void throw_exit(int code) { throw ProcessExit{code}; }

}  // namespace

std::vector<uint8_t> read_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

cabwriter::FileEntry file_entry(const std::string &name, const std::string &content,
                                uint16_t attributes) {
    cabwriter::FileEntry entry;
    entry.name = name;
    entry.data.assign(content.begin(), content.end());
    entry.attributes = attributes;
    return entry;
}

std::vector<uint8_t> make_cabinet(const std::vector<cabwriter::FileEntry> &files) {
    cabwriter::Folder folder;
    folder.files = files;
    return cabwriter::write_cabinet_set({folder}).at(0).bytes;
}

void InstallerTest::SetUp() {
    std::string templ = (std::filesystem::temp_directory_path() / "sfxtest-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    installer_ = path("setup-sfx");
    session_.ui = &ui_;
    session_.exit_handler = throw_exit;
}

void InstallerTest::TearDown() {
    // Read-only files and folders must not stop the clean-up.
    std::error_code error;
    for (auto &entry : std::filesystem::recursive_directory_iterator(dir_, error)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    }
    std::filesystem::remove_all(dir_, error);
}

void InstallerTest::write_installer(const std::vector<uint8_t> &cabinet, const sfx::SfxBlock &block) {
    const std::vector<uint8_t> stub = {'S', 'T', 'U', 'B'};
    write_bytes(installer_, sfx::write_self_extractor(stub, block, cabinet));
}

void InstallerTest::write_installer(const std::vector<cabwriter::FileEntry> &files,
                                    const std::string &options) {
    sfx::SfxBlock block;
    block.options = options;
    write_installer(make_cabinet(files), block);
}

int InstallerTest::run(const std::vector<std::string> &arguments) {
    sfx::StartupValues startup{installer_, dir_, arguments};
    try {
        return sfx::run_installer(session_, startup);
    } catch (const ProcessExit &exit) {
        return exit.code;
    }
}

std::string InstallerTest::read_text(const std::string &name) const {
    const std::vector<uint8_t> bytes = read_bytes(path(name));
    return {bytes.begin(), bytes.end()};
}

}  // namespace sfxtest
