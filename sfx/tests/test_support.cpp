#include "sfx/tests/test_support.h"

#include <fstream>
#include <iterator>

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
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
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

void write_installer_file(const std::string &path, const std::vector<uint8_t> &cabinet,
                          const sfx::SfxBlock &block) {
    const std::vector<uint8_t> stub = {'S', 'T', 'U', 'B'};
    write_bytes(path, sfx::write_self_extractor(stub, block, cabinet));
}

void use_test_front_end(sfx::Session &session, sfx::Ui &ui) {
    session.ui = &ui;
    session.exit_handler = throw_exit;
}

int run_installer_to_exit(sfx::Session &session, const sfx::StartupValues &startup) {
    try {
        return sfx::run_installer(session, startup);
    } catch (const ProcessExit &exit) {
        return exit.code;
    }
}

}  // namespace sfxtest
