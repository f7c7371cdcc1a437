// read_payload over an in-memory installer file, followed by the block's
// options as the installer applies them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/installer_harness.h"
#include "sfx/options.h"
#include "sfx/settings.h"

namespace {

// One memory-backed file, rewritten for every input.
int installer_file() {
    static const int fd = memfd_create("installer", 0);
    return fd;
}

bool fits(const std::string &value, size_t limit) { return value.size() <= limit; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = installer_file();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    sfx::Session &session = fuzz::fresh_session();
    session.process_values.module_path = "/proc/self/fd/" + std::to_string(fd);
    if (!sfx::read_payload()) return 0;

    const sfx::PayloadConfig &config = session.payload_config;
    // The cabinet starts right behind the "$MSCF" terminator, inside the file.
    const size_t at = static_cast<size_t>(config.cabinet_offset);
    if (config.cabinet_offset < 5 || at + 4 > size || std::memcmp(data + at - 1, "$MSCF", 5) != 0)
        __builtin_trap();
    if (!fits(config.cabinet_name, sfx::kMaxText) || !fits(config.title, sfx::kMaxText) ||
        !fits(config.message, sfx::kMaxMessage) || !fits(config.command_line, sfx::kMaxText))
        __builtin_trap();
    fuzz::run_installer_routine([&] { sfx::parse_options(config.command_line.c_str()); });
    return 0;
}
