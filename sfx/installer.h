// The installer's top-level sequence: start-up, the destination dialog,
// extraction, the completion messages and the launch of the program.
#pragma once

#include <string>
#include <vector>

namespace sfx {

// Where the run starts: the installer's own file, the current folder and
// the command-line arguments after the program name.
struct StartupValues {
    std::string module_path;
    std::string start_directory;
    std::vector<std::string> arguments;
};

// Runs the destination dialog 104. True when the user confirmed a valid
// folder, which is then in sfx_settings.destination.
bool run_folder_dialog();

// Runs the whole installer with the front end set by set_ui. Returns 0;
// every failure ends the process through abort_extraction instead.
int run_installer(const StartupValues &startup);

}  // namespace sfx
