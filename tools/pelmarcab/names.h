// Stored names on the Linux file system: character set and safety.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmarcab {

// Stored attribute telling that the name is UTF-8.
inline constexpr unsigned kAttribNameIsUtf8 = 0x80;

// The name as UTF-8: kept when flagged as UTF-8 or already valid UTF-8,
// otherwise converted from `legacy_charset` (for example "CP932"). Empty
// when the conversion fails.
std::optional<std::string> name_to_utf8(const std::string &stored, unsigned attributes,
                                        const std::string &legacy_charset);

// C0 control characters and DEL: a name holding one is refused, and printed
// escaped, since it could steer the user's terminal.
constexpr bool is_control_character(unsigned char c) { return c < 0x20 || c == 0x7F; }

inline bool has_control_characters(std::string_view name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return is_control_character(static_cast<unsigned char>(c)); });
}

// The components of a stored name (separators '\' and '/'), or nothing when
// the name would leave the destination: absolute, with a drive, with a ".."
// component, or without any component.
std::optional<std::vector<std::string>> safe_components(const std::string &name);

}  // namespace pelmarcab
