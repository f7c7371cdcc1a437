// What list prints: one line per file entry, and the technical listing of a
// cabinet's header, folders and files as text or JSON.
#pragma once

#include <string>

#include "cab/cab.h"
#include "tools/pelmarcab/commands.h"

namespace pelmarcab {

// "SIZE<tab>DATE<tab>TIME<tab>0xATTRIBUTES<tab>NAME", the name escaped.
void print_entry_line(const CabNotification &note, const std::string &name);

// The line naming each cabinet when list is given several.
void print_list_heading(const std::string &cabinet, bool first);

// list -v and list --json: each cabinet's header, folders and selected
// files, as text or as one JSON document. Returns 1 when any cabinet could
// not be read or has blocks past its end, after saying so on stderr.
int describe_cabinets(const ReadOptions &options);

}  // namespace pelmarcab
