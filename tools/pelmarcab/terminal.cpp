#include "tools/pelmarcab/terminal.h"

#include <cstdio>

#include "tools/pelmarcab/names.h"

namespace pelmarcab {

std::string printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool backslash_before_x = c == '\\' && i + 1 < text.size() && text[i + 1] == 'x';
        if (is_control_character(c) || backslash_before_x) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void print_failure(std::string_view what, std::string_view reason) {
    std::fprintf(stderr, "pelmarcab: %s: %s\n", printable(what).c_str(), printable(reason).c_str());
}

}  // namespace pelmarcab
