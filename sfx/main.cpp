// Entry point of pelmarself and pelmarself-cli.
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "sfx/installer.h"
#include "sfx/messages.h"
#include "sfx/platform.h"
#include "sfx/strings.h"
#include "sfx/terminal_ui.h"

namespace {

// Chooses the front end. PELMARSELF_UI=terminal forces the terminal; the
// windowed front end is chosen here, when a display is available, once the
// installer's windows exist.
std::unique_ptr<sfx::Ui> make_ui() {
    return std::make_unique<sfx::TerminalUi>();
}

}  // namespace

int main(int argc, char **argv) {
    std::setlocale(LC_ALL, "");
    sfx::platform::code_page_from_locale();
    sfx::set_language(sfx::language_from_environment());
    // A write beyond the file size limit must fail like any other write
    // rather than kill the process half-way through a file.
    std::signal(SIGXFSZ, SIG_IGN);

    const std::unique_ptr<sfx::Ui> ui = make_ui();
    sfx::set_ui(ui.get());

    sfx::StartupValues startup;
    startup.start_directory = sfx::platform::current_directory();
    startup.module_path = sfx::platform::module_path();
    startup.arguments.assign(argv + 1, argv + argc);
    return sfx::run_installer(startup);
}
