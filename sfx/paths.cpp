#include "sfx/paths.h"

#include <cstring>

#include "sfx/platform.h"

namespace sfx {
namespace {

using platform::char_next;

std::string cut(const char *begin, const char *end) {
    const size_t length = static_cast<size_t>(end - begin);
    return std::string(begin, length > kMaxPathPart ? kMaxPathPart : length);
}

// Splits `p` without looking for a drive.
void split_directory_name_extension(const char *p, PathParts &parts) {
    const char *last_separator = nullptr;
    const char *last_dot = nullptr;
    const char *end = p;
    for (; *end != '\0'; end = char_next(end)) {
        if (is_separator(*end)) {
            last_separator = end;
        } else if (*end == '.') {
            last_dot = end;
        }
    }
    const char *name = last_separator != nullptr ? last_separator + 1 : p;
    if (last_dot == nullptr || last_dot < name) last_dot = end;
    parts.directory = cut(p, name);
    parts.name = cut(name, last_dot);
    parts.extension = cut(last_dot, end);
}

// Steps over characters up to the next separator or the end.
const char *skip_component(const char *p) {
    while (*p != '\0' && !is_separator(*p)) p = char_next(p);
    return p;
}

bool component_is_legal(const char *begin, const char *end) {
    for (const char *p = begin; p < end; p = char_next(p)) {
        if (!is_legal_path_char(p)) return false;
    }
    return true;
}

void assign(std::string *target, const std::string &value) {
    if (target != nullptr) *target = value;
}

}  // namespace

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool ends_with_separator(const std::string &path) {
    const char *last = nullptr;
    for (const char *p = path.c_str(); *p != '\0'; p = char_next(p)) last = p;
    return last != nullptr && is_separator(*last);
}

std::string expand_home_folder(const std::string &typed) {
    if (typed.empty() || typed[0] != '~' || (typed.size() > 1 && !is_separator(typed[1])))
        return typed;
    std::string home = platform::home_folder();
    if (home.empty()) return typed;
    if (typed.size() > 1 && ends_with_separator(home)) home.pop_back();
    return home + typed.substr(1);
}

PathParts split_path(const std::string &path) {
    PathParts parts;
    const char *p = path.c_str();
    if (path.size() >= 2 && path[1] == ':') {
        parts.drive = path.substr(0, 2);
        p += 2;
    }
    split_directory_name_extension(p, parts);
    return parts;
}

bool is_unc_path(const std::string &path) {
    const PathParts parts = split_path(path);
    const std::string &dir = parts.directory;
    if (!parts.drive.empty() || dir.size() < 2 || !is_separator(dir[0]) || !is_separator(dir[1])) {
        return false;
    }
    const char *start = dir.c_str() + 2;
    const char *p = skip_component(start);
    if (*p != '\0') ++p;
    return (p != start && *p != '\0') || !parts.name.empty() || !parts.extension.empty();
}

int split_path_root(const std::string &path, std::string *root, std::string *directory,
                    std::string *name, std::string *extension) {
    PathParts parts;
    const bool network = is_unc_path(path);
    if (network) {
        const char *start = path.c_str();
        const char *p = skip_component(start + 2);  // server
        if (*p != '\0') p = skip_component(p + 1);  // share
        parts.drive = std::string(start, p);
        split_directory_name_extension(p, parts);
    } else {
        parts = split_path(path);
    }
    assign(root, parts.drive);
    assign(directory, parts.directory);
    assign(name, parts.name);
    assign(extension, parts.extension);
    return network ? 1 : 0;
}

bool is_legal_path_char(const char *c) {
    const auto byte = static_cast<unsigned char>(*c);
    return platform::is_lead_byte(byte) || std::strchr(":\\/?*|\"", byte) == nullptr;
}

bool is_valid_folder_name(const std::string &path) {
    const PathParts parts = split_path(path);
    const char *p = parts.directory.c_str();
    if (is_unc_path(path)) {
        p += 2;
        const char *server_end = skip_component(p);
        if (server_end == p && *p != '\0') return false;
        if (!component_is_legal(p, server_end)) return false;
        p = server_end;
    }
    for (;;) {
        if (is_separator(*p)) ++p;
        if (*p == '\0') break;
        const char *end = skip_component(p);
        if (end == p || !component_is_legal(p, end)) return false;
        p = end;
    }
    for (const std::string *part : {&parts.name, &parts.extension}) {
        for (const char *q = part->c_str(); *q != '\0'; q = char_next(q)) {
            if (*q == '*' || *q == '?' || !is_legal_path_char(q)) return false;
        }
    }
    return true;
}

}  // namespace sfx
