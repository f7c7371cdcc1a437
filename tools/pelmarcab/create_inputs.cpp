#include "tools/pelmarcab/create_inputs.h"

#include <fnmatch.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmarcab {
namespace {

class Gatherer {
public:
    explicit Gatherer(const std::vector<std::string> &excludes) : excludes_(excludes) {}

    // Adds `path` stored as `name` (a file) or its files stored below `name`
    // (a directory; empty `name` stores them by their relative names).
    void add(const fs::path &path, const std::string &name) {
        std::error_code error;
        const auto status = fs::status(path, error);
        if (fs::is_directory(status)) {
            if (name.empty() || !is_excluded(name, excludes_)) add_directory(path, name);
        } else if (fs::is_regular_file(status)) {
            if (!is_excluded(name, excludes_)) files_.push_back({path, name});
        } else {
            throw std::runtime_error(path.string() + ": no such file or directory");
        }
    }

    // The files, after checking that no name is stored twice: extracting
    // would keep only the last file of that name.
    std::vector<InputFile> take() {
        std::vector<const InputFile *> by_name;
        for (const InputFile &f : files_) by_name.push_back(&f);
        std::stable_sort(by_name.begin(), by_name.end(),
                         [](const InputFile *a, const InputFile *b) { return a->name < b->name; });
        const auto twice = std::adjacent_find(
            by_name.begin(), by_name.end(),
            [](const InputFile *a, const InputFile *b) { return a->name == b->name; });
        if (twice != by_name.end())
            throw std::runtime_error((*twice)->name + ": stored twice, from " +
                                     (*twice)->path.string() + " and " + twice[1]->path.string() +
                                     "; leave one out with --exclude");
        return std::move(files_);
    }

private:
    void add_directory(const fs::path &root, const std::string &prefix) {
        std::vector<InputFile> found;
        std::error_code error;
        fs::recursive_directory_iterator it(root, error), end;
        for (; !error && it != end; it.increment(error)) {
            const std::string relative = it->path().lexically_relative(root).generic_string();
            const std::string name = prefix.empty() ? relative : prefix + "/" + relative;
            std::error_code unreadable;
            const auto status = it->status(unreadable);
            if (unreadable)
                throw std::runtime_error(it->path().string() + ": " + unreadable.message());
            if (fs::is_directory(status)) {
                if (is_excluded(name, excludes_)) it.disable_recursion_pending();
            } else if (fs::is_regular_file(status) && !is_excluded(name, excludes_)) {
                found.push_back({it->path(), name});
            }
        }
        if (error) throw std::runtime_error(root.string() + ": " + error.message());
        std::sort(found.begin(), found.end(),
                  [](const InputFile &a, const InputFile &b) { return a.path < b.path; });
        files_.insert(files_.end(), std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.end()));
    }

    const std::vector<std::string> &excludes_;
    std::vector<InputFile> files_;
};

// A list entry as stored: relative, normalised, without "." components.
std::string listed_name(const std::string &line) {
    const fs::path normal = fs::path(line).lexically_normal();
    const bool leaves = std::any_of(normal.begin(), normal.end(),
                                    [](const fs::path &part) { return part == ".."; });
    if (normal.is_absolute() || leaves)
        throw std::runtime_error(line + ": a listed path must be relative and without \"..\"");
    std::string name = normal.generic_string();
    if (name == ".") return "";
    if (!name.empty() && name.back() == '/') name.pop_back();
    return name;
}

std::vector<std::string> list_lines(const std::string &list_file) {
    if (list_file == "-") return read_list(std::cin);
    std::ifstream in(list_file);
    if (!in) throw std::runtime_error(list_file + ": cannot be read");
    return read_list(in);
}

}  // namespace

bool is_excluded(const std::string &name, const std::vector<std::string> &excludes) {
    const size_t slash = name.rfind('/');
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    return std::any_of(excludes.begin(), excludes.end(), [&](const std::string &glob) {
        return fnmatch(glob.c_str(), name.c_str(), 0) == 0 ||
               fnmatch(glob.c_str(), last.c_str(), 0) == 0;
    });
}

std::vector<std::string> read_list(std::istream &in) {
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::vector<InputFile> gather_inputs(const InputSelection &selection) {
    Gatherer gatherer(selection.excludes);
    for (const std::string &argument : selection.arguments) {
        const fs::path path(argument);
        gatherer.add(path, fs::is_directory(path) ? "" : path.filename().string());
    }
    if (!selection.list_file.empty())
        for (const std::string &line : list_lines(selection.list_file))
            gatherer.add(line, listed_name(line));
    return gatherer.take();
}

}  // namespace pelmarcab
