#include "sfx/tests/scripted_ui.h"

namespace sfxtest {

std::vector<std::string> ScriptedUi::texts() const {
    std::vector<std::string> result;
    for (const RecordedMessage &message : messages) result.push_back(message.text);
    return result;
}

int ScriptedUi::message_box(uint32_t style, const std::string &caption, const std::string &text,
                            sfx::MessageOwner owner) {
    messages.push_back({style, caption, text, owner});
    if (on_message) on_message(messages.back());
    if ((style & sfx::SFX_MB_BUTTONS_MASK) == sfx::SFX_MB_OK) return sfx::SFX_IDOK;
    if (answers.empty()) return 0;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedUi::run_destination_dialog(sfx::DestinationDialog &dialog) {
    dialogs.push_back(dialog);
    while (!typed_folders.empty()) {
        const std::string folder = typed_folders.front();
        typed_folders.pop_front();
        if (dialog.confirm(folder)) {
            dialog.folder = folder;
            return true;
        }
    }
    return false;
}

bool ScriptedUi::run_progress_dialog(const sfx::ProgressDialog &,
                                     const sfx::Extraction &extraction) {
    progress_dialog_shown = true;
    extraction_ = &extraction;
    const bool result = extraction.run();
    extraction_ = nullptr;
    return result;
}

void ScriptedUi::show_file(const std::string &text) {
    file_lines.push_back(text);
    if (on_file_drain) on_file_drain(file_lines.size() - 1);
}

}  // namespace sfxtest
