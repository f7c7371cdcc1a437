// The installer's user-facing side: message boxes, the destination dialog, the
// progress dialog and the folder browser. The installer logic talks only to
// this interface; the terminal, Qt and scripted (test) front ends implement it
// and hold no installer rules of their own.
//
// Texts are UTF-8: the installer converts paths and names from the locale's
// character set before handing them over, and takes the folder a front end
// hands back as UTF-8. Every text comes from the installer's string tables
// (sfx/strings.h), the payload or a name; front ends only display them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace sfx {

// Message box styles, with their Win32 values so that stored styles and
// recorded test expectations read like the documentation.
enum : uint32_t {
    SFX_MB_OK = 0x00,
    SFX_MB_OKCANCEL = 0x01,
    SFX_MB_YESNOCANCEL = 0x03,
    SFX_MB_YESNO = 0x04,
    SFX_MB_BUTTONS_MASK = 0x0F,
    SFX_MB_ICONERROR = 0x10,
    SFX_MB_ICONQUESTION = 0x20,
    SFX_MB_ICONINFORMATION = 0x40,
    SFX_MB_ICON_MASK = 0xF0
};

// Button ids a message box answers with (the Win32 values).
enum : int { SFX_IDOK = 1, SFX_IDCANCEL = 2, SFX_IDYES = 6, SFX_IDNO = 7 };

// Which window owns a message box: none, or the progress dialog while it
// runs (a front end centres the box over its owner and blocks it).
enum class MessageOwner { None, Progress };

// What the destination dialog shows and how it checks the typed folder. The
// rules live in the installer: `confirm` validates the text, shows the
// installer's own message when it is refused and returns whether the dialog
// may close. A front end calls it on every press of its Confirm button.
struct DestinationDialog {
    std::string caption;             // window caption
    std::string label;               // label above the field, with its "(&T):" suffix
    std::string folder;              // field text; on confirmation, the accepted text
    std::string browse_instruction;  // instruction shown by the folder browser
    std::string confirm_text;        // Confirm button, with its access key
    std::string browse_text;         // Browse button, with its access key
    std::string cancel_text;         // Cancel button
    std::function<bool(const std::string &folder_text)> confirm;
};

// Texts of the progress dialog.
struct ProgressDialog {
    std::string caption;
    std::string archive_caption;  // caption above the archive line
    std::string file_caption;     // caption above the file line
    std::string cancel_text;
};

// The extraction as the progress dialog drives it. The dialog calls `run`
// once, after it is on screen, and closes when `run` returns; the dialog
// ends with success exactly when `run` returned true. `cancel` is what the
// Cancel button (or Ctrl-C on a terminal) does: it only records the request,
// which takes effect at the next file start.
struct Extraction {
    std::function<bool()> run;
    std::function<void()> cancel;
};

class Ui {
public:
    virtual ~Ui() = default;

    // Shows a modal message box with the style's buttons and icon and returns
    // the id of the button chosen (SFX_IDOK ...). A box that cannot be shown
    // answers 0.
    virtual int message_box(uint32_t style, const std::string &caption, const std::string &text,
                            MessageOwner owner) = 0;

    // Runs the modal destination dialog. Returns true when `confirm` accepted
    // the field's text (then `dialog.folder` holds it); false on Cancel, Esc,
    // closing the window, end of input or a dialog that cannot be shown.
    virtual bool run_destination_dialog(DestinationDialog &dialog) = 0;

    // Offers the folder browser starting at `initial`; returns the chosen
    // folder, or nothing when the browser was cancelled or is unavailable.
    virtual std::optional<std::string> browse_for_folder(const std::string &instruction,
                                                         const std::string &initial) = 0;

    // Shows the progress dialog, calls `extraction.run` once the dialog is on
    // screen and closes it afterwards. Returns what `run` returned (false too
    // when the dialog cannot be shown). While `run` is working, the three
    // calls below update the dialog.
    virtual bool run_progress_dialog(const ProgressDialog &dialog,
                                     const Extraction &extraction) = 0;

    // The archive line: the cabinet being read.
    virtual void show_archive(const std::string &text) = 0;

    // The file line: the file about to be written. Afterwards the front end
    // handles the events waiting for it (a click on Cancel among them), so a
    // cancel request made meanwhile is recorded before this returns.
    virtual void show_file(const std::string &text) = 0;

    // Bytes written so far of `total` (0 when the total is not known). Called
    // often; a front end updates its display sparingly and handles no events.
    virtual void show_progress(uint64_t written, uint64_t total) = 0;
};

}  // namespace sfx
