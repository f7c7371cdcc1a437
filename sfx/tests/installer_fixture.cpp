#include "sfx/tests/installer_fixture.h"

#include <cstdlib>
#include <filesystem>

namespace sfxtest {

void InstallerTest::SetUp() {
    std::string templ = (std::filesystem::temp_directory_path() / "sfxtest-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    installer_ = path("setup-sfx");
    use_test_front_end(session_, ui_);
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

void InstallerTest::write_installer(const std::vector<uint8_t> &cabinet,
                                    const sfx::SfxBlock &block) {
    write_installer_file(installer_, cabinet, block);
}

void InstallerTest::write_installer(const std::vector<cabwriter::FileEntry> &files,
                                    const std::string &options) {
    sfx::SfxBlock block;
    block.options = options;
    write_installer(make_cabinet(files), block);
}

int InstallerTest::run(const std::vector<std::string> &arguments) {
    return run_installer_to_exit(session_, {installer_, dir_, arguments});
}

std::string InstallerTest::read_text(const std::string &name) const {
    const std::vector<uint8_t> bytes = read_bytes(path(name));
    return {bytes.begin(), bytes.end()};
}

}  // namespace sfxtest
