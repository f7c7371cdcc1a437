#include "tools/pelmarcab/names.h"

#include <iconv.h>

#include <cerrno>

namespace pelmarcab {

bool is_valid_utf8(const std::string &text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t extra = c < 0x80           ? 0
                             : (c >> 5) == 0x6    ? 1
                             : (c >> 4) == 0xE    ? 2
                             : (c >> 3) == 0x1E   ? 3
                                                  : 4;
        if (extra == 4 || c == 0xC0 || c == 0xC1 || c > 0xF4) return false;
        if (i + extra >= text.size() && extra > 0) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

std::optional<std::string> name_to_utf8(const std::string &stored, unsigned attributes,
                                        const std::string &legacy_charset) {
    if ((attributes & kAttribNameIsUtf8) || is_valid_utf8(stored)) return stored;
    iconv_t cd = iconv_open("UTF-8", legacy_charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(stored.size() * 4 + 4, '\0');
    char *in = const_cast<char *>(stored.data());
    char *to = out.data();
    size_t in_left = stored.size(), out_left = out.size();
    const size_t r = iconv(cd, &in, &in_left, &to, &out_left);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || in_left != 0) return std::nullopt;
    out.resize(out.size() - out_left);
    return out;
}

std::optional<std::vector<std::string>> safe_components(const std::string &name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/') return std::nullopt;
    if (name.size() >= 2 && name[1] == ':') return std::nullopt;  // drive letter
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&]() -> bool {
        if (part == "..") return false;
        if (!part.empty() && part != ".") parts.push_back(part);
        part.clear();
        return true;
    };
    for (char c : name) {
        if (c == '\\' || c == '/') {
            if (!flush()) return std::nullopt;
        } else {
            part += c;
        }
    }
    if (!flush() || parts.empty()) return std::nullopt;
    return parts;
}

std::time_t dos_to_time(unsigned date, unsigned time) {
    std::tm tm{};
    tm.tm_year = static_cast<int>((date >> 9) + 80);
    tm.tm_mon = static_cast<int>((date >> 5) & 0xF) - 1;
    tm.tm_mday = static_cast<int>(date & 0x1F);
    tm.tm_hour = static_cast<int>(time >> 11);
    tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void time_to_dos(std::time_t t, unsigned *date, unsigned *time) {
    std::tm tm{};
    localtime_r(&t, &tm);
    const int year = tm.tm_year < 80 ? 0 : tm.tm_year - 80;
    *date = static_cast<unsigned>(year << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
    *time = static_cast<unsigned>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
}

}  // namespace pelmarcab
