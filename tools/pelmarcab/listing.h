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

}  // namespace pelmarcab
