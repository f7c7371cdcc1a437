// The installer's top-level sequence: start-up, the destination dialog,
// extraction, the completion messages and the launch of the program.
#pragma once

#include <string>
#include <vector>

#include "sfx/session.h"

namespace sfx {

// Where the run starts: the installer's own file, the current folder and
// the command-line arguments after the program name.
struct StartupValues {
    std::string module_path;
    std::string start_directory;
    std::vector<std::string> arguments;
};

// Runs the destination dialog 104. True when the user confirmed a valid
// folder, which is then in the session's sfx_settings.destination.
bool run_folder_dialog();

// Runs the whole installer in `session`, bound meanwhile, whose front end,
// exit handler, language and code page its owner has chosen; the run's
// records start cleared (reset_run). Returns 0; every failure ends the
// process through abort_extraction instead.
int run_installer(Session &session, const StartupValues &startup);

}  // namespace sfx
