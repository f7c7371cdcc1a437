// The installer's records: the payload configuration block, the option
// settings, the values read at start-up and the extraction state, which one
// run keeps in its session (sfx/session.h), and the status codes with which
// failures travel to abort_extraction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cab/cab.h"
#include "sfx/embedded_cabinet.h"
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
    std::string program;  // E
};

// Values read once at start-up, and the owner of message boxes.
struct ProcessValues {
    std::string module_path;
    std::string start_directory;
    MessageOwner message_owner = MessageOwner::None;
};

// Most handles kept open on the installer's own file at once.
inline constexpr size_t kMaxEmbeddedHandles = 255;

// The file being written: created under a temporary name in its folder and
// renamed over the output path once complete, so that an interrupted or
// failed file never replaces what was there. The engine writes one file at
// a time.
struct PendingOutput {
    int32_t handle = -1;
    std::string temporary_path;
    std::string output_path;
};

struct ExtractionState {
    std::string cabinet_folder;  // where every cabinet of the set is looked for
    std::string engine_folder;   // the same as the engine reaches it (a long one by descriptor)
    std::string own_file_for_engine;   // the installer's own file as the engine opens it
    std::string current_cabinet_name;  // cabinet of the next cab_copy
    std::string next_cabinet_name;     // cabinet after the running call
    bool continue_with_next = false;
    bool first_cabinet_note = false;
    int32_t disk_number = 1;
    uint32_t extracted_count = 0;  // files completed
    bool cancel_requested = false;
    platform::EmbeddedCabinet embedded_cabinet{kMaxEmbeddedHandles};  // the installer's own file
    CabContext *context = nullptr;
    PendingOutput pending_output;
    uint64_t bytes_written = 0;  // of the running cabinet's files
    uint64_t bytes_total = 0;    // 0 when not known
};

}  // namespace sfx
