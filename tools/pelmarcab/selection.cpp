#include "tools/pelmarcab/selection.h"

#include <fnmatch.h>

#include <algorithm>

#include "tools/pelmarcab/names.h"

namespace pelmarcab {
namespace {

std::string slashes_for_backslashes(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

}  // namespace

// FNM_NOESCAPE: a backslash is a separator here, never an escape; "[[]"
// matches a literal bracket. No FNM_PATHNAME, so "*.txt" finds the file in
// any folder. The program keeps the C locale, so case folding covers A-Z only.
Selection::Selection(const std::vector<std::string> &patterns, bool case_sensitive)
    : flags_(FNM_NOESCAPE | (case_sensitive ? 0 : FNM_CASEFOLD)) {
    for (const auto &p : patterns) patterns_.push_back(slashes_for_backslashes(p));
}

bool Selection::selects(std::string_view name) const {
    if (patterns_.empty()) return true;
    const std::string subject = slashes_for_backslashes(name);
    return std::any_of(patterns_.begin(), patterns_.end(), [&](const std::string &p) {
        return ::fnmatch(p.c_str(), subject.c_str(), flags_) == 0;
    });
}

std::string lowercase_ascii(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

FileNames::FileNames(const ReadOptions &options)
    : options_(options), selection_(options.filters, options.case_sensitive) {}

std::optional<std::string> FileNames::utf8(const std::string &stored, unsigned attributes) const {
    return name_to_utf8(stored, attributes, options_.encoding);
}

bool FileNames::selected(const std::string &stored, unsigned attributes) const {
    const auto name = utf8(stored, attributes);
    return selection_.selects(name ? *name : stored);
}

std::optional<std::string> FileNames::output(const std::string &stored, unsigned attributes) const {
    auto name = utf8(stored, attributes);
    if (name && options_.lowercase) *name = lowercase_ascii(std::move(*name));
    return name;
}

std::string FileNames::listed(const std::string &stored, unsigned attributes) const {
    if (!options_.lowercase) return stored;
    return output(stored, attributes).value_or(stored);
}

}  // namespace pelmarcab
