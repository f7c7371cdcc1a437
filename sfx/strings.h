// The installer's texts: the string table and the texts of its two dialogs,
// in English and Japanese, as UTF-8.
#pragma once

#include <string>

namespace sfx {

enum class Language { English, Japanese };

// Japanese when the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty begins with "ja"; English otherwise.
Language language_from_environment();

// The language every text is taken in: the session's.
Language current_language();

// The string table's entries, named by what they say; the values are their
// resource ids.
enum class StringId {
    AskCreateFolder = 1001,  // not shown: missing folders are made without asking
    ExtractionSucceeded = 1002,
    ExtractionFailed = 1003,
    AskOverwrite = 1004,
    AskRunProgram = 1005,
    BrowseInstruction = 1006,
    NextCabinetMissing = 1007,
    InsertDiskette = 1008,
    DestinationEmpty = 1009,
    DestinationInvalid = 1010,
    IllegalOption = 1011,
    ExtractionAborted = 1012,
    CreateFolderCaption = 1501,  // not shown, as its question
    InstallerCaption = 1502,
    OverwriteCaption = 1503,
};

// The string-table entry in the current language.
const char *load_string(StringId id);

// Texts of the destination dialog and the progress dialog.
struct DialogTexts {
    const char *destination_caption;
    const char *destination_label;  // with its "(&T):" suffix
    const char *browse;
    const char *confirm;
    const char *cancel_with_key;
    const char *progress_caption;
    const char *archive_caption;
    const char *file_caption;
    const char *cancel;
};
const DialogTexts &dialog_texts();

}  // namespace sfx
