// Entry point of pelmarself and pelmarself-cli.
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "sfx/installer.h"
#include "sfx/platform.h"
#include "sfx/session.h"
#include "sfx/strings.h"
#include "sfx/terminal_ui.h"
#ifdef PELMARSELF_WINDOWS
#include "sfx/qt/qt_front_end.h"
#endif

namespace {

// Chooses the front end: windows when the program carries them and a
// display is available (PELMARSELF_UI=terminal forces the terminal), the
// terminal otherwise, without touching Qt.
std::unique_ptr<sfx::Ui> make_ui(const char *program_name) {
#ifdef PELMARSELF_WINDOWS
    if (std::unique_ptr<sfx::Ui> windows = sfx::make_qt_ui(program_name)) return windows;
#else
    (void)program_name;
#endif
    return std::make_unique<sfx::TerminalUi>();
}

}  // namespace

int main(int argc, char **argv) {
    std::setlocale(LC_ALL, "");
    // A write beyond the file size limit must fail like any other write
    // rather than kill the process half-way through a file.
    std::signal(SIGXFSZ, SIG_IGN);

    const std::unique_ptr<sfx::Ui> ui = make_ui(argv[0]);
    sfx::Session session;
    session.ui = ui.get();
    session.language = sfx::language_from_environment();
    session.platform.code_page = sfx::platform::code_page_of_locale();

    sfx::StartupValues startup;
    startup.start_directory = sfx::platform::current_directory();
    startup.module_path = sfx::platform::module_path();
    startup.arguments.assign(argv + 1, argv + argc);
    return sfx::run_installer(session, startup);
}
