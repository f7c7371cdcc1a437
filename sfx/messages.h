// Message boxes drawn from the string table, and the one way a failed run
// ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "sfx/strings.h"
#include "sfx/ui.h"

namespace sfx {

// A message insert: text for %n, number for %n!d!. Texts are names and
// paths in the locale's character set unless marked as UTF-8.
struct Insert {
    std::string text;
    int32_t number = 0;
    bool is_utf8 = false;

    Insert() = default;
    Insert(const char *value) : text(value) {}
    Insert(std::string value) : text(std::move(value)) {}
    Insert(int32_t value) : text(std::to_string(value)), number(value) {}

    static Insert utf8(std::string value) {
        Insert insert(std::move(value));
        insert.is_utf8 = true;
        return insert;
    }
};

// Expands the inserts of `format` as FormatMessageA does for two arguments:
// %1 and %2 (optionally with !s! or !d!), %% and the other escaped
// characters, %n as a line break and %0 as the end of the text. A reference
// to a missing insert expands to nothing.
std::string format_message(const std::string &format, const Insert *first, const Insert *second);

// Shows string `text` with caption `caption` in a message box of the given
// style and returns the button id. The inserts come from outside
// (payload, cabinet, user): they are shown in UTF-8 with their control
// characters made visible, so that none can break the message's lines or
// act on a terminal.
int show_message(uint32_t style, StringId caption, StringId text,
                 const std::optional<Insert> &first = std::nullopt,
                 const std::optional<Insert> &second = std::nullopt);

// Shows the message of `status` and ends the process with exit code 1.
[[noreturn]] void abort_extraction(uint32_t status);

// Ends the process through the session's exit handler.
[[noreturn]] void exit_process(int code);

}  // namespace sfx
