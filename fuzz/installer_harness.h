// Runs installer routines inside a fuzz target: every input starts from the
// run's records as a new process has them, messages go nowhere, and the end
// of the process that an illegal option or a bad payload asks for becomes an
// exception caught around the routine.
#pragma once

#include <optional>
#include <string>

#include "sfx/session.h"
#include "sfx/ui.h"

namespace fuzz {

class QuietUi : public sfx::Ui {
public:
    int message_box(uint32_t, const std::string &, const std::string &,
                    sfx::MessageOwner) override {
        return 0;
    }
    bool run_destination_dialog(sfx::DestinationDialog &) override { return false; }
    std::optional<std::string> browse_for_folder(const std::string &,
                                                 const std::string &) override {
        return std::nullopt;
    }
    bool run_progress_dialog(const sfx::ProgressDialog &, const sfx::Extraction &) override {
        return false;
    }
    void show_archive(const std::string &) override {}
    void show_file(const std::string &) override {}
    void show_progress(uint64_t, uint64_t) override {}
};

struct ProcessEnded {
    int code;
};

// The session every input runs in, bound for the whole process, with its
// run's records cleared (reset_run).
inline sfx::Session &fresh_session() {
    static QuietUi ui;
    static sfx::Session session;
    static const sfx::SessionScope bound(session);
    session.ui = &ui;
    session.exit_handler = [](int code) { throw ProcessEnded{code}; };
    sfx::reset_run(session);
    return session;
}

// Calls `routine`; true when it returned, false when it ended the process.
template <typename Routine>
bool run_installer_routine(Routine routine) {
    try {
        routine();
        return true;
    } catch (const ProcessEnded &) {
        return false;
    }
}

}  // namespace fuzz
