#include "tools/pelmarcab/names.h"

#include "sfx/platform.h"

namespace pelmarcab {

std::optional<std::string> name_to_utf8(const std::string &stored, unsigned attributes,
                                        const std::string &legacy_charset) {
    if ((attributes & kAttribNameIsUtf8) || sfx::platform::is_valid_utf8(stored)) return stored;
    std::string converted;
    if (!sfx::platform::convert_to_utf8(stored, legacy_charset.c_str(), converted))
        return std::nullopt;
    return converted;
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

}  // namespace pelmarcab
