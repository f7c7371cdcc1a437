// The installer's texts: the string table (IDs 1001-1012, 1501-1503) and the
// texts of its two dialogs, in English and Japanese, as UTF-8.
#pragma once

#include <string>

namespace sfx {

enum class Language { English, Japanese };

// Japanese when the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty begins with "ja"; English otherwise.
Language language_from_environment();

// The language every text is taken in: the session's.
Language current_language();

// The string-table entry in the current language, or an empty text for an
// unknown id.
const char *load_string(int id);

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
