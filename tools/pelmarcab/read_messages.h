// The failure texts of list, test and extract: the engine's error constant
// first (scripts and bug reports quote it), then what it means and, where
// something can be done, what.
#pragma once

#include <cstdint>
#include <string>

#include "cab/cab.h"

namespace pelmarcab {

std::string version_failure(unsigned version_found);
std::string signature_failure();

// The set's next member could not be used: what was looked for, in which
// folder (as the user named it; empty for the current directory).
std::string next_cabinet_failure(const CabNotification &note, const std::string &folder);

// A folder's blocks ended in a cabinet that names no next one.
std::string truncation_failure(uint16_t folder_index);

// What a walk was doing when it failed.
struct WalkState {
    std::string cabinet;  // the path of the cabinet being read
    bool set_member;      // reached by following a set, not named by the user
    std::string file;     // being read, if any
    const char *fault;    // where decoding stopped (cab_last_fault), if known
    bool verbose;         // show `fault`
};

std::string walk_failure(const CabError &error, const WalkState &state);

}  // namespace pelmarcab
