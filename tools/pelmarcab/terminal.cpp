#include "tools/pelmarcab/terminal.h"

#include <algorithm>
#include <cstdio>

#include "sfx/platform.h"
#include "tools/pelmarcab/names.h"

namespace pelmarcab {
namespace {

// C1 controls steer terminals too: as U+0080-U+009F in UTF-8 (C2 80 to
// C2 9F) on a UTF-8 terminal, as single bytes 0x80-0x9F on an 8-bit one.
bool is_c1_control(std::string_view sequence) {
    const auto first = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) return first >= 0x80 && first <= 0x9F;
    return sequence.size() == 2 && first == 0xC2 && static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

void append_escaped(std::string &out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = std::max<size_t>(sfx::platform::utf8_sequence_length(text, i), 1);
        const std::string_view sequence = text.substr(i, length);
        const bool backslash_before_x = c == '\\' && i + 1 < text.size() && text[i + 1] == 'x';
        if (is_control_character(c) || backslash_before_x || is_c1_control(sequence))
            append_escaped(out, sequence);
        else
            out += sequence;
        i += length;
    }
    return out;
}

void print_failure(std::string_view what, std::string_view reason) {
    std::fprintf(stderr, "pelmarcab: %s: %s\n", printable(what).c_str(), printable(reason).c_str());
}

}  // namespace pelmarcab
