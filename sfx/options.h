// Finding and reading the configuration block in the installer's own file,
// and turning option strings into settings.
#pragma once

#include <string>

namespace sfx {

// Size of the windows in which the marker is searched, and the most the
// block may take after the marker.
inline constexpr size_t kPayloadWindow = 4096;

// Finds the block in the file at the session's process_values.module_path
// and fills its payload_config. False when the file cannot be read, has no marker, or the
// block does not end with "$MSCF" within kPayloadWindow bytes, has a key
// without '=' or a value longer than its field.
bool read_payload();

// Applies one option string to the session's sfx_settings. A null or empty string changes
// nothing. An illegal option ends the run (abort_extraction, SFX_ERR_OPTION).
// `split_words` is false for one word of an already split command line:
// whitespace then belongs to a D or E value.
void parse_options(const char *options, bool split_words = true);

// Puts a destination given as a $T value into the temporary folder, which
// is made (or checked) only now, for the destination finally in force.
void resolve_destination();

// The Program Files folder, or an empty text when it cannot be read.
void read_program_files_dir(std::string &folder);

}  // namespace sfx
