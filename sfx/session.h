// One run of the installer as one record: the records the documentation
// names, the front end, how the run ends, its language and the platform
// layer's state. The entry point owns it and fills in how the run talks and
// ends; run_installer binds it and works on it. The routines reach it
// through session(), and so do the engine's callbacks, which carry no user
// pointer.
//
// The installer runs on one thread. The only state a signal handler
// touches is the platform state's signal-shared part (sfx/platform.h).
#pragma once

#include "sfx/platform.h"
#include "sfx/settings.h"
#include "sfx/strings.h"
#include "sfx/ui.h"

namespace sfx {

// Ends the process in place of std::exit (tests end a run by throwing). It
// must not return; if it does, the process exits all the same.
using ExitHandler = void (*)(int code);

struct Session {
    // The run's records, which reset_run clears.
    PayloadConfig payload_config;
    SfxSettings sfx_settings;
    ProcessValues process_values;
    ExtractionState extraction_state;

    // How the run talks, ends and reads its texts: chosen by the session's
    // owner before the run, kept by reset_run.
    Ui *ui = nullptr;
    ExitHandler exit_handler = nullptr;  // null: std::exit
    Language language = Language::English;
    platform::PlatformState platform;
};

// Clears the run's records to the values a new process starts with. Both
// run_installer and anything that runs single routines (fuzz targets) start
// from it.
void reset_run(Session &session);

// Binds `session`, and its platform state, while it lives; the session
// bound before comes back afterwards.
class SessionScope {
public:
    explicit SessionScope(Session &session);
    ~SessionScope();
    SessionScope(const SessionScope &) = delete;
    SessionScope &operator=(const SessionScope &) = delete;

private:
    Session *previous_;
    platform::StateScope platform_;
};

// The bound session; one must be bound.
Session &session();

// The bound session's front end.
Ui &ui();

}  // namespace sfx
