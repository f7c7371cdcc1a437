// Which stored files a run reads, and the names it shows and writes them
// under.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/pelmarcab/commands.h"

namespace pelmarcab {

// Filters given as globs (fnmatch: *, ?, [...]; '*' and '?' also match '/').
// A name is matched with its separators '\' read as '/', in the pattern too,
// so "sub\*.txt" and "sub/*.txt" pick the same files.
class Selection {
public:
    Selection(const std::vector<std::string> &patterns, bool case_sensitive);

    // True when no filter is given or any matches `name`.
    bool selects(std::string_view name) const;

private:
    std::vector<std::string> patterns_;
    int flags_;
};

// The letters A-Z of `text` as a-z. Bytes of UTF-8 sequences are never
// ASCII, so multi-byte characters stay whole.
std::string lowercase_ascii(std::string text);

// A run's view of stored names: their UTF-8 form (filters match it, and
// lowercasing only ever touches it, never a legacy encoding whose second
// bytes may be letters), whether filters select them, and how they are
// written and listed.
class FileNames {
public:
    explicit FileNames(const ReadOptions &options);

    // Converted from the run's encoding unless marked as or already UTF-8;
    // nothing when the conversion fails.
    std::optional<std::string> utf8(const std::string &stored, unsigned attributes) const;
    // Matched in UTF-8, or as stored when the name does not convert.
    bool selected(const std::string &stored, unsigned attributes) const;
    // The name a file is written under, lowercased on request.
    std::optional<std::string> output(const std::string &stored, unsigned attributes) const;
    // The plain listing's name: the stored bytes, or with --lowercase the
    // lowercased UTF-8 name when there is one.
    std::string listed(const std::string &stored, unsigned attributes) const;

private:
    const ReadOptions &options_;
    Selection selection_;
};

}  // namespace pelmarcab
