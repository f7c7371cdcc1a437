// The installer's front end in Qt 6 Widgets: dialogs 104 and 103, message
// boxes and the folder browser. Needs a QApplication.
#pragma once

#include <memory>

#include <QMessageBox>

#include "sfx/ui.h"

namespace sfx {

class ProgressWindow;

class QtUi : public Ui {
public:
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
    ProgressWindow *progress_ = nullptr;  // while the progress dialog runs
};

// A message box with the buttons, icon and default button of a MessageBoxA
// style, the caption and the text (shown as plain text, line breaks
// without carriage returns).
std::unique_ptr<QMessageBox> make_message_box(uint32_t style, const std::string &caption,
                                              const std::string &text, QWidget *owner);

// The Win32 id of a message box's button (IDOK ...), 0 for none.
int win32_button_id(QMessageBox::StandardButton button);

}  // namespace sfx
