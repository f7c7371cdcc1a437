// parse_options on the configuration block's form (words split at
// whitespace) and on one command-line word. Input: a mode byte (bit 0: one
// command-line word), then the option text up to the first NUL.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/installer_harness.h"
#include "sfx/options.h"
#include "sfx/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const bool one_word = (data[0] & 1) != 0;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    sfx::Session &session = fuzz::fresh_session();
    // A long start folder, so that the $C macro can overflow its buffer.
    session.process_values.start_directory = "/" + std::string(240, 's');
    fuzz::run_installer_routine([&] { sfx::parse_options(text.c_str(), !one_word); });
    const sfx::SfxSettings &settings = session.sfx_settings;
    if (settings.destination.size() > sfx::kMaxText || settings.program.size() > sfx::kMaxText)
        __builtin_trap();
    return 0;
}
