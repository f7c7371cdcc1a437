// What create packs: the files named on the command line and in a list file,
// each with the name it is stored under, in an order that does not depend
// on the order in which the file system lists a directory.
#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <vector>

namespace pelmarcab {

struct InputFile {
    std::filesystem::path path;
    std::string name;  // as stored, with '/' between components
};

struct InputSelection {
    // A file by its own name, a directory's files by their names relative to
    // the directory.
    std::vector<std::string> arguments;
    // A list of further paths, one per line ("-": standard input), each
    // stored under the path as written; a directory's files below it.
    std::string list_file;
    // Globs (fnmatch) for files and directories to leave out, matched against
    // the stored name and against the last component.
    std::vector<std::string> excludes;
};

// The selected files: arguments first, then the list, in the order given;
// a directory's files sorted by name. Throws std::runtime_error naming the
// path that is missing, unreadable or (in a list) absolute or with "..".
std::vector<InputFile> gather_inputs(const InputSelection &selection);

// The non-empty lines of a list, without their line ends ("\n" or "\r\n").
std::vector<std::string> read_list(std::istream &in);

bool is_excluded(const std::string &name, const std::vector<std::string> &excludes);

}  // namespace pelmarcab
