#include "sfx/messages.h"

#include <cstdlib>

#include "sfx/platform.h"
#include "sfx/session.h"
#include "sfx/settings.h"
#include "sfx/strings.h"

namespace sfx {
namespace {

// Reads an insert reference after '%': its number and an optional !type!.
// Returns the position after the reference.
size_t expand_insert(const std::string &format, size_t pos, const Insert *first,
                     const Insert *second, std::string &out) {
    int number = format[pos] - '0';
    ++pos;
    if (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
        number = number * 10 + (format[pos] - '0');
        ++pos;
    }
    std::string type = "s";
    if (pos < format.size() && format[pos] == '!') {
        const size_t end = format.find('!', pos + 1);
        if (end != std::string::npos) {
            type = format.substr(pos + 1, end - pos - 1);
            pos = end + 1;
        }
    }
    const Insert *insert = number == 1 ? first : number == 2 ? second : nullptr;
    if (insert != nullptr) {
        out += type == "d" || type == "i" ? std::to_string(insert->number) : insert->text;
    }
    return pos;
}

std::optional<Insert> shown_insert(const std::optional<Insert> &insert) {
    if (!insert) return insert;
    Insert shown = *insert;
    if (!shown.is_utf8) shown.text = platform::locale_shown_in_utf8(shown.text);
    shown.text = platform::visible_controls(shown.text);
    shown.is_utf8 = true;
    return shown;
}

}  // namespace

std::string format_message(const std::string &format, const Insert *first, const Insert *second) {
    std::string out;
    size_t pos = 0;
    while (pos < format.size()) {
        const char c = format[pos++];
        if (c != '%' || pos == format.size()) {
            out += c;
            continue;
        }
        const char next = format[pos];
        if (next >= '1' && next <= '9') {
            pos = expand_insert(format, pos, first, second, out);
        } else if (next == '0') {
            break;
        } else if (next == 'n') {
            out += "\r\n";
            ++pos;
        } else if (next == 'r') {
            out += '\r';
            ++pos;
        } else if (next == 't') {
            out += '\t';
            ++pos;
        } else {
            out += next;  // %%, %., %!, %space and any other escaped character
            ++pos;
        }
    }
    return out;
}

int show_message(uint32_t style, StringId caption, StringId text,
                 const std::optional<Insert> &first, const std::optional<Insert> &second) {
    const std::optional<Insert> shown_first = shown_insert(first);
    const std::optional<Insert> shown_second = shown_insert(second);
    const std::string formatted =
        format_message(load_string(text), shown_first ? &*shown_first : nullptr,
                       shown_second ? &*shown_second : nullptr);
    return ui().message_box(style, load_string(caption), formatted,
                            session().process_values.message_owner);
}

void abort_extraction(uint32_t status) {
    const StringId text = status == SFX_ERR_CANCELLED ? StringId::ExtractionAborted
                          : status == SFX_ERR_OPTION  ? StringId::IllegalOption
                                                      : StringId::ExtractionFailed;
    show_message(SFX_MB_ICONERROR, StringId::InstallerCaption, text);
    exit_process(1);
}

void exit_process(int code) {
    const ExitHandler handler = session().exit_handler;
    if (handler != nullptr) handler(code);
    std::exit(code);
}

}  // namespace sfx
