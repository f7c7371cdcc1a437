#include "tools/pelmarcab/listing.h"

#include <cstdio>

#include "tools/pelmarcab/terminal.h"

namespace pelmarcab {

void print_entry_line(const CabNotification &n, const std::string &name) {
    std::printf("%u\t%04u-%02u-%02u\t%02u:%02u:%02u\t0x%02x\t%s\n", n.size, (n.date >> 9) + 1980u,
                (n.date >> 5) & 0xFu, n.date & 0x1Fu, n.time >> 11, (n.time >> 5) & 0x3Fu,
                (n.time & 0x1Fu) * 2, n.attributes, printable(name).c_str());
}

void print_list_heading(const std::string &cabinet, bool first) {
    std::printf("%s%s:\n", first ? "" : "\n", printable(cabinet).c_str());
}

}  // namespace pelmarcab
