// The installer's front end for a terminal: messages on standard error,
// questions answered on the controlling terminal, and a progress listing.
#pragma once

#include <cstdint>
#include <cstdio>

#include "sfx/ui.h"

namespace sfx {

class TerminalUi : public Ui {
public:
    TerminalUi();
    ~TerminalUi() override;
    TerminalUi(const TerminalUi &) = delete;
    TerminalUi &operator=(const TerminalUi &) = delete;

    int message_box(uint32_t style, const std::string &caption, const std::string &text,
                    MessageOwner owner) override;
    bool run_destination_dialog(DestinationDialog &dialog) override;
    std::optional<std::string> browse_for_folder(const std::string &instruction,
                                                 const std::string &initial) override;
    bool run_progress_dialog(const ProgressDialog &dialog, const Extraction &extraction) override;
    void show_archive(const std::string &text) override;
    void show_file(const std::string &text) override;
    void show_progress(uint64_t written, uint64_t total) override;

private:
    // Reads one line from the controlling terminal; false at end of input,
    // at Ctrl-C or without a terminal.
    bool read_answer(std::string &line);
    void clear_progress_line();

    std::FILE *terminal_ = nullptr;  // the controlling terminal, for questions
    bool show_progress_ = false;     // standard error is a terminal
    bool progress_drawn_ = false;
    int last_percent_ = -1;
    const Extraction *extraction_ = nullptr;
};

}  // namespace sfx
