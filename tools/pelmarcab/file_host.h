// Engine callbacks over the POSIX file system for pelmarcab.
#pragma once

#include <cstdint>
#include <string>

#include "cab/cab.h"

namespace pelmarcab {

// cab_create with the platform layer's file callbacks (which translate the
// Windows runtime's open flags); the path "*" opens an anonymous scratch file. `write`
// replaces the plain write callback (to count progress, say).
CabContext *create_file_context(CabError *error, CabWriteFn write = nullptr);

// While it lives, the engine contexts of the calling thread see the cabinet
// at file offset `start` of the file the engine opens as `engine_path` (its
// path and name joined) as a file of its own, as the installer presents its
// appended cabinet. Every thread that reads the cabinet binds its own.
class EmbeddedScope {
public:
    EmbeddedScope(const std::string &engine_path, uint32_t start);
    ~EmbeddedScope();
    EmbeddedScope(const EmbeddedScope &) = delete;
    EmbeddedScope &operator=(const EmbeddedScope &) = delete;
};

// Reads the header of the cabinet the engine would open as `engine_path`
// (through the calling thread's embedded cabinet, if bound). False when it
// is no version 1.3 cabinet.
bool read_summary(CabContext *context, const std::string &engine_path, CabSummary &summary);

// True when a read of the calling thread's contexts has come back short
// since the last call: the cabinet ends before what the engine wanted.
bool read_came_up_short();

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
