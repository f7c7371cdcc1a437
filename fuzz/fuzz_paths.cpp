// The path routines in both code pages. Input: a mode byte (bit 0:
// Shift-JIS), then the path up to the first NUL.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/installer_harness.h"
#include "sfx/paths.h"
#include "sfx/platform.h"

namespace {

// True when `offset` falls on a character boundary of `text`.
bool on_character_boundary(const std::string &text, size_t offset) {
    const char *start = text.c_str();
    const char *p = start;
    while (static_cast<size_t>(p - start) < offset && *p != '\0') p = sfx::platform::char_next(p);
    return static_cast<size_t>(p - start) == offset;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    fuzz::fresh_session();  // bound, it holds the code page the routines step by
    sfx::platform::set_code_page((data[0] & 1) ? sfx::platform::CodePage::ShiftJis
                                               : sfx::platform::CodePage::Utf8);
    const std::string path(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::string text = path.c_str();  // as the installer's C strings see it

    std::string root, directory, name, extension;
    sfx::split_path_root(text, &root, &directory, &name, &extension);
    sfx::is_valid_folder_name(text);
    // A network root runs through the share name whatever its length; the
    // other parts are cut to what a split keeps.
    for (const std::string *part : {&directory, &name, &extension})
        if (part->size() > sfx::kMaxPathPart) __builtin_trap();
    // Whole parts put together give the path back, split only between
    // characters, never inside a double-byte one.
    const bool truncated = directory.size() == sfx::kMaxPathPart ||
                           name.size() == sfx::kMaxPathPart ||
                           extension.size() == sfx::kMaxPathPart;
    if (!truncated) {
        if (root + directory + name + extension != text) __builtin_trap();
        const size_t name_at = root.size() + directory.size();
        if (!on_character_boundary(text, name_at) ||
            !on_character_boundary(text, name_at + name.size()))
            __builtin_trap();
    }
    return 0;
}
