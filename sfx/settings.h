// The installer's process-wide records: the payload configuration block, the
// option settings, the values read at start-up, and the status codes with
// which failures travel to abort_extraction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sfx/ui.h"

namespace sfx {

// Longest text a 260-byte buffer holds.
inline constexpr size_t kMaxText = 259;
// `message` keeps room for the "(&T):" the destination dialog appends.
inline constexpr size_t kMaxMessage = 254;

enum : uint32_t {
    SFX_ERR_CANCELLED = 0x20000000,
    SFX_ERR_PAYLOAD = 0x20000001,
    SFX_ERR_EXTRACTION = 0x20000003,
    SFX_ERR_OPTION = 0x20000006
};

// Values of the configuration block that follows the executable image.
struct PayloadConfig {
    std::string cabinet_name;
    std::string title;
    std::string message;
    std::string command_line;
    int32_t cabinet_offset = 0;  // file offset of the cabinet's "MSCF"
};

// Options of the block and the command line. Every flag is flipped, not
// set, by its option letter.
struct SfxSettings {
    bool no_folder_dialog = false;  // !
    bool overwrite_all = false;     // A
    bool newer_only = false;        // N
    bool quiet_finish = false;      // R
    bool keep_attributes = false;   // S
    bool keep_folders = false;      // X
    std::string destination;        // D
    // Set while `destination` holds the rest of a $T value, which
    // resolve_destination puts into the temporary folder.
    bool destination_in_temp = false;
    std::string program;            // E
};

// Values read once at start-up, and the owner of message boxes.
struct ProcessValues {
    std::string module_path;
    std::string start_directory;
    MessageOwner message_owner = MessageOwner::None;
};

extern PayloadConfig payload_config;
extern SfxSettings sfx_settings;
extern ProcessValues process_values;

}  // namespace sfx
