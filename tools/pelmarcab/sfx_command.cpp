// sfx: writes a self-extracting file from the installer stub and a cabinet.
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "sfx/sfx_writer.h"
#include "tools/pelmarcab/commands.h"
#include "tools/pelmarcab/terminal.h"

namespace pelmarcab {
namespace {

std::vector<uint8_t> read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot be read");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Adds execute permission wherever read permission is, as chmod +x does.
void mark_executable(const std::string &path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 ||
        chmod(path.c_str(), (info.st_mode & 07777) | ((info.st_mode & 0444) >> 2)) != 0)
        throw std::runtime_error(path + ": cannot be marked executable");
}

}  // namespace

int write_sfx(const SfxOptions &options) {
    try {
        const std::vector<uint8_t> stub = read_file(options.stub);
        const std::vector<uint8_t> cabinet = read_file(options.cabinet);
        const std::vector<uint8_t> bytes = sfx::write_self_extractor(stub, options.block, cabinet);
        std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) throw std::runtime_error(options.output + ": cannot be written");
        out.close();
        mark_executable(options.output);
        return 0;
    } catch (const std::exception &e) {
        print_failure(options.output, e.what());
        return 1;
    }
}

}  // namespace pelmarcab
