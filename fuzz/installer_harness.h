// Runs installer routines inside a fuzz target: messages go nowhere, and the
// end of the process that an illegal option or a bad payload asks for
// becomes an exception caught around the routine.
#pragma once

#include <optional>
#include <string>

#include "sfx/messages.h"
#include "sfx/ui.h"

namespace fuzz {

class QuietUi : public sfx::Ui {
public:
    int message_box(uint32_t, const std::string &, const std::string &, sfx::MessageOwner) override {
        return 0;
    }
    bool run_destination_dialog(sfx::DestinationDialog &) override { return false; }
    std::optional<std::string> browse_for_folder(const std::string &, const std::string &) override {
        return std::nullopt;
    }
    bool run_progress_dialog(const sfx::ProgressDialog &, const sfx::Extraction &) override { return false; }
    void show_archive(const std::string &) override {}
    void show_file(const std::string &) override {}
    void show_progress(uint64_t, uint64_t) override {}
};

struct ProcessEnded {
    int code;
};

// Calls `routine`; true when it returned, false when it ended the process.
template <typename Routine>
bool run_installer_routine(Routine routine) {
    static QuietUi ui;
    sfx::set_ui(&ui);
    sfx::set_exit_handler([](int code) { throw ProcessEnded{code}; });
    try {
        routine();
        return true;
    } catch (const ProcessEnded &) {
        return false;
    }
}

}  // namespace fuzz
