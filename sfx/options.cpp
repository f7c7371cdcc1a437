#include "sfx/options.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "sfx/messages.h"
#include "sfx/paths.h"
#include "sfx/payload_block.h"
#include "sfx/platform.h"
#include "sfx/session.h"
#include "sfx/settings.h"

namespace sfx {
namespace {

// Length of the longest key kept while looking for '='.
constexpr size_t kMaxKey = kMaxText;

class OwnFile {
public:
    explicit OwnFile(const std::string &path)
        : handle_(platform::open_file(path, platform::WIN_O_BINARY | platform::WIN_O_RDONLY, 0)) {}
    ~OwnFile() {
        if (handle_ != -1) platform::close_file(handle_);
    }
    OwnFile(const OwnFile &) = delete;
    OwnFile &operator=(const OwnFile &) = delete;

    bool is_open() const { return handle_ != -1; }
    // Reads up to `buffer.size()` bytes at `offset`; -1 on failure.
    int32_t read_at(int32_t offset, std::vector<char> &buffer) {
        if (platform::seek_file(handle_, offset, 0) != offset) return -1;
        return platform::read_file(handle_, buffer.data(), static_cast<uint32_t>(buffer.size()));
    }

private:
    int32_t handle_;
};

// The marker's byte. Read through a volatile so that the compiler cannot
// fold four comparisons into one four-byte constant: the installer's own
// image must never contain the marker.
volatile char g_marker_byte = '$';

bool is_marker_at(const char *p) {
    const char marker = g_marker_byte;
    return p[0] == marker && p[1] == marker && p[2] == marker && p[3] == marker;
}

// The file offset of the byte after the first run of four '$', or -1.
int32_t find_marker(OwnFile &file) {
    std::vector<char> window(kPayloadWindow);
    int32_t start = 0;
    for (;;) {
        const int32_t count = file.read_at(start, window);
        if (count < 0) return -1;
        for (int32_t i = 0; i + 4 <= count; ++i) {
            if (is_marker_at(&window[i])) return start + i + 4;
        }
        if (count != static_cast<int32_t>(kPayloadWindow)) return -1;
        start += static_cast<int32_t>(kPayloadWindow) - 4;
    }
}

// Keeps the value of a known key; the value of any other key is dropped.
bool store_value(const std::string &key, const std::string &value) {
    for (const BlockEntry &entry : kBlockEntries) {
        if (key == entry.key) {
            if (value.size() > entry.limit) return false;
            session().payload_config.*entry.read_into = value;
        }
    }
    return true;
}

// Parses the entries in `block` (which starts at file offset `block_offset`)
// up to the terminator.
bool parse_block(const char *block, int32_t size, int32_t block_offset) {
    int32_t pos = 0;
    for (;;) {
        std::string key;
        for (;;) {
            if (pos >= size || key.size() > kMaxKey) return false;
            if (block[pos] == '=') break;
            key += block[pos++];
            if (key == kBlockTerminator) {
                // The cabinet starts at the terminator's second byte.
                const auto length = static_cast<int32_t>(kBlockTerminator.size());
                session().payload_config.cabinet_offset = block_offset + pos - length + 1;
                return true;
            }
        }
        ++pos;  // the '='
        const void *nul = std::memchr(block + pos, '\0', static_cast<size_t>(size - pos));
        if (nul == nullptr) return false;
        const auto end = static_cast<int32_t>(static_cast<const char *>(nul) - block);
        if (!store_value(key, std::string(block + pos, block + end))) return false;
        pos = end + 1;
    }
}

bool is_whitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

[[noreturn]] void illegal_option() { abort_extraction(SFX_ERR_OPTION); }

// Reads a D or E value starting at `p`; returns the position after it.
const char *read_value(const char *p, bool split_words, std::string &value) {
    bool quoting = *p == '"';
    if (quoting) ++p;
    value.clear();
    for (; *p != '\0' && (quoting || !split_words || !is_whitespace(*p)); ++p) {
        if (*p == '"') {
            quoting = false;
        } else {
            value += *p;
        }
    }
    if (value.size() > kMaxText) illegal_option();
    return p;
}

// What follows a folder macro's two characters. The folder is a native
// path: in a UTF-8 locale the rest takes native separators too, so the
// value $T\ shows as ".../pelmarself-1000/".
std::string macro_rest(const std::string &value) {
    std::string rest = value.substr(2);
    if (platform::code_page() == platform::CodePage::Utf8)
        std::replace(rest.begin(), rest.end(), '\\', '/');
    return rest;
}

// `folder` without one trailing separator, followed by `rest`.
std::string join_macro_folder(std::string folder, const std::string &rest) {
    if (ends_with_separator(folder)) folder.pop_back();
    folder += rest;
    if (folder.size() > kMaxText) illegal_option();
    return folder;
}

// Expands a destination value that begins with '$' followed by a folder
// letter other than T.
std::string expand_folder_macro(const std::string &value) {
    std::string folder;
    switch (value.size() > 1 ? value[1] : '\0') {
        case 'C':
        case 'c': folder = session().process_values.start_directory; break;
        case 'P':
        case 'p': read_program_files_dir(folder); break;
        case 'S':
        case 's': {
            std::string program_files;
            read_program_files_dir(program_files);
            split_path_root(program_files, &folder, nullptr, nullptr, nullptr);
            break;
        }
        case 'W':
        case 'w': folder = platform::windows_folder(); break;
        case 'Y':
        case 'y': folder = platform::system_folder(); break;
        default: illegal_option();
    }
    return join_macro_folder(folder, macro_rest(value));
}

// The temporary folder is made only once the options are final
// (resolve_destination): a later D value may replace this one.
void set_destination(const std::string &value) {
    SfxSettings &sfx_settings = session().sfx_settings;
    const bool macro = !value.empty() && value[0] == '$';
    sfx_settings.destination_in_temp =
        macro && value.size() > 1 && (value[1] == 'T' || value[1] == 't');
    if (sfx_settings.destination_in_temp) {
        sfx_settings.destination = macro_rest(value);
    } else {
        sfx_settings.destination = macro ? expand_folder_macro(value) : value;
    }
}

bool flip_flag(char letter) {
    SfxSettings &sfx_settings = session().sfx_settings;
    bool *flag = nullptr;
    switch (letter) {
        case '!': flag = &sfx_settings.no_folder_dialog; break;
        case 'A':
        case 'a': flag = &sfx_settings.overwrite_all; break;
        case 'N':
        case 'n': flag = &sfx_settings.newer_only; break;
        case 'R':
        case 'r': flag = &sfx_settings.quiet_finish; break;
        case 'S':
        case 's': flag = &sfx_settings.keep_attributes; break;
        case 'X':
        case 'x': flag = &sfx_settings.keep_folders; break;
        default: return false;
    }
    *flag = !*flag;
    return true;
}

// Applies the letters of one group (after its '-'); returns the position
// where the group ended.
const char *apply_group(const char *p, bool split_words) {
    while (*p != '\0' && !is_whitespace(*p)) {
        const char letter = *p++;
        if (flip_flag(letter)) continue;
        if (letter != 'D' && letter != 'd' && letter != 'E' && letter != 'e') illegal_option();
        std::string value;
        p = read_value(p, split_words, value);
        if (letter == 'E' || letter == 'e') {
            session().sfx_settings.program = value;
        } else {
            set_destination(value);
        }
        break;
    }
    return p;
}

}  // namespace

bool read_payload() {
    OwnFile file(session().process_values.module_path);
    if (!file.is_open()) return false;
    const int32_t block_offset = find_marker(file);
    if (block_offset < 0) return false;
    std::vector<char> block(kPayloadWindow);
    const int32_t count = file.read_at(block_offset, block);
    return count >= 0 && parse_block(block.data(), count, block_offset);
}

void parse_options(const char *options, bool split_words) {
    if (options == nullptr) return;
    const char *p = options;
    for (;;) {
        while (is_whitespace(*p)) ++p;
        if (*p == '\0') return;
        if (*p != '-') illegal_option();
        p = apply_group(p + 1, split_words);
    }
}

void resolve_destination() {
    SfxSettings &sfx_settings = session().sfx_settings;
    if (!sfx_settings.destination_in_temp) return;
    std::string folder;
    if (!platform::private_temp_folder(folder)) abort_extraction(SFX_ERR_EXTRACTION);
    sfx_settings.destination = join_macro_folder(folder, sfx_settings.destination);
    sfx_settings.destination_in_temp = false;
}

void read_program_files_dir(std::string &folder) { folder = platform::program_files_folder(); }

}  // namespace sfx
