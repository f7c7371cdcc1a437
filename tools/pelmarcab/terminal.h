// Text for the user's terminal. Names and paths from cabinets and from the
// file system may hold control characters that would steer the terminal
// (retitle it, clear it, forge lines), so they are printed escaped.
#pragma once

#include <string>
#include <string_view>

namespace pelmarcab {

// `text` with every C0 control character, DEL and C1 control (U+0080 to
// U+009F in UTF-8, or a byte 0x80-0x9F outside any UTF-8 sequence) written
// as \xHH per byte. A backslash is written as \x5c where an 'x' follows it,
// so every "\x" in the result starts an escape while the separators of
// stored names stay as they are.
std::string printable(std::string_view text);

// Prints "pelmarcab: WHAT: REASON" on standard error, both made printable.
void print_failure(std::string_view what, std::string_view reason);

}  // namespace pelmarcab
