// A front end for tests: records every message box and dialog line and
// answers from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sfx/ui.h"

namespace sfxtest {

struct RecordedMessage {
    uint32_t style;
    std::string caption;
    std::string text;
    sfx::MessageOwner owner;
};

class ScriptedUi : public sfx::Ui {
public:
    // Answers for message boxes with buttons to choose from, in order. A
    // question asked after the script has run out is answered with 0 (a
    // box that could not be shown); an OK box answers SFX_IDOK.
    std::deque<int> answers;
    // Texts typed into the destination dialog, one per Confirm; when they
    // run out the dialog is cancelled.
    std::deque<std::string> typed_folders;
    // Called in the drain of every file start, with the file's index.
    std::function<void(size_t)> on_file_drain;
    // Called at every progress report, while a file is being written.
    std::function<void()> on_progress;
    // Called when a message box opens, before it is answered.
    std::function<void(const RecordedMessage &)> on_message;

    std::vector<RecordedMessage> messages;
    std::vector<std::string> archive_lines;
    std::vector<std::string> file_lines;
    std::vector<sfx::DestinationDialog> dialogs;  // as each dialog opened
    bool progress_dialog_shown = false;
    uint64_t last_written = 0;
    uint64_t last_total = 0;

    // The message texts only, for compact expectations.
    std::vector<std::string> texts() const;
    void request_cancel() { extraction_->cancel(); }

    int message_box(uint32_t style, const std::string &caption, const std::string &text,
                    sfx::MessageOwner owner) override;
    bool run_destination_dialog(sfx::DestinationDialog &dialog) override;
    std::optional<std::string> browse_for_folder(const std::string &,
                                                 const std::string &) override {
        return std::nullopt;
    }
    bool run_progress_dialog(const sfx::ProgressDialog &dialog,
                             const sfx::Extraction &extraction) override;
    void show_archive(const std::string &text) override { archive_lines.push_back(text); }
    void show_file(const std::string &text) override;
    void show_progress(uint64_t written, uint64_t total) override {
        last_written = written;
        last_total = total;
        if (on_progress) on_progress();
    }

private:
    const sfx::Extraction *extraction_ = nullptr;
};

}  // namespace sfxtest
