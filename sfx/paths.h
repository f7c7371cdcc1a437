// Path routines shared by the destination dialog and the file output. Both
// `\` and `/` separate components; scanning is double-byte aware, so a trail
// byte equal to `\`, `/` or `.` is never taken for a separator or a dot.
#pragma once

#include <string>

namespace sfx {

// Longest drive, directory, name or extension a split keeps.
inline constexpr size_t kMaxPathPart = 255;

struct PathParts {
    std::string drive;      // "C:" when the second character is ':'
    std::string directory;  // through the last separator
    std::string name;       // up to the last '.' after the directory
    std::string extension;  // from that '.' on
};

bool is_separator(char c);

// True when the last character of `path` is a separator; a trail byte equal
// to `\` is none.
bool ends_with_separator(const std::string &path);

// A typed folder whose first component is `~` with the home folder in its
// place, as a shell expands it; any other text unchanged.
std::string expand_home_folder(const std::string &typed);

// The plain split into drive, directory, name and extension.
PathParts split_path(const std::string &path);

// True for a network path (\\server\share, \\server\share\dir\, \\server).
bool is_unc_path(const std::string &path);

// Splits like split_path, but a network path's root runs through its share
// name. Returns 1 for a network path and 0 otherwise. Any output may be null.
int split_path_root(const std::string &path, std::string *root, std::string *directory,
                    std::string *name, std::string *extension);

// True for a double-byte character or a byte none of :\/?*|"
bool is_legal_path_char(const char *c);

// True when every component is made of legal characters, none is empty, and
// the last one holds no wildcard.
bool is_valid_folder_name(const std::string &path);

}  // namespace sfx
