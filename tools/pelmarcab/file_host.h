// Engine callbacks over the POSIX file system for pelmarcab.
#pragma once

#include <string>

#include "cab/cab.h"

namespace pelmarcab {

// cab_create with the platform layer's file callbacks (which translate the
// Windows runtime's open flags); the path "*" opens an anonymous scratch file. `write`
// replaces the plain write callback (to count progress, say).
CabContext *create_file_context(CabError *error, CabWriteFn write = nullptr);

// The (path, name) pair to hand cab_copy for a cabinet file. The engine
// joins them in a 257-byte buffer, so a long directory is reached through a
// descriptor of its own (sfx::platform::engine_folder).
struct CabinetLocation {
    std::string path;  // ends with '/' or is empty
    std::string name;
    std::string display_folder;  // the folder as the user named it
};
CabinetLocation locate_cabinet(const std::string &file);

// The text of an engine error code, for example "CAB_ERR_VERSION".
const char *error_name(int32_t code);

}  // namespace pelmarcab
