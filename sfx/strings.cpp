#include "sfx/strings.h"

#include <cstdlib>
#include <cstring>

#include "sfx/session.h"

namespace sfx {
namespace {

struct StringEntry {
    StringId id;
    const char *english;
    const char *japanese;
};

constexpr StringEntry kStringTable[] = {
    {StringId::AskCreateFolder,
     "The path of the folder to make the file to,\r\n%1\r\ndoes not exist.\r\n"
     "Please confirm if the folder can be created.",
     "ファイルの作成先のフォルダ\r\n%1\r\nがありません.\r\n作成してもよろしいですか？"},
    {StringId::ExtractionSucceeded, "The decompression was successful.", "解凍に成功しました."},
    {StringId::ExtractionFailed, "The decompression process could not shut down properly.",
     "解凍は正常に終了しませんでした."},
    {StringId::AskOverwrite,
     "The \"%1\" \nto be decompressed into the file \"%2\", and another file, have the "
     "same name.\nPlease confirm if the file can be overwritten.",
     "\"%1\" に\n展開するファイル \"%2\" "
     "と同名のファイルが存在します.\n上書きしてもよろしいですか？"},
    {StringId::AskRunProgram, "Should the file \"%1\" be executed?",
     "ファイル \"%1\" を実行しますか?"},
    {StringId::BrowseInstruction, "Please set the decompress destination.",
     "解凍先を指定してください"},
    {StringId::NextCabinetMissing, "\"%2\" does not exist in the folder \"%1\".",
     "フォルダ  \"%1\" に \"%2\" がありません."},
    {StringId::InsertDiskette, "Please insert diskette no. %2!d! into the %1 drive.",
     "%1 ドライブ に %2!d! 番目のディスクを挿入してください."},
    {StringId::DestinationEmpty, "Please use \"%1\"\r\nas the decompress destination folder.",
     "\"%1\"\r\nに解凍先のフォルダを指定してください."},
    {StringId::DestinationInvalid,
     "The \"%1\"\r\nas a decompress destination folder name is incorrect.\r\n"
     "Please set the correct folder name.",
     "\"%1\"\r\nは解凍先のフォルダ名として正しくありません."
     "\r\n正しいフォルダ名を指定してください."},
    {StringId::IllegalOption, "An illegal option has been set.", "指定されたオプションが異常です."},
    {StringId::ExtractionAborted, "The decompression process has been aborted.",
     "解凍は中断されました."},
    {StringId::CreateFolderCaption, "Create Folder", "フォルダの作成"},
    {StringId::InstallerCaption, "Pelmar Self Decompression", "Pelmar自己解凍"},
    {StringId::OverwriteCaption, "Duplicated File Overwrite Confirmation",
     "重複ファイル上書きの確認"},
};

constexpr DialogTexts kEnglishDialogs = {
    "CAB Self Decompression",
    "Decompress Destination Folder(&T):",
    "Browse(&R)...",
    "Decompress(&X)",
    "Cancel(ESC)",
    "Pelmar Self Decompression, Decompressing...",
    "ARC File:",
    "Decompressed File:",
    "Cancel",
};

constexpr DialogTexts kJapaneseDialogs = {
    "CABの自己解凍", "解凍先フォルダ(&T):", "参照(&R)...",
    "解凍(&X)",      "キャンセル(ESC)",     "Pelmar自己解凍 展開中...",
    "書庫ファイル:", "展開ファイル:",       "キャンセル",
};

}  // namespace

Language language_from_environment() {
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return std::strncmp(value, "ja", 2) == 0 ? Language::Japanese : Language::English;
        }
    }
    return Language::English;
}

Language current_language() { return session().language; }

const char *load_string(StringId id) {
    for (const StringEntry &entry : kStringTable) {
        if (entry.id == id) {
            return current_language() == Language::Japanese ? entry.japanese : entry.english;
        }
    }
    return "";
}

const DialogTexts &dialog_texts() {
    return current_language() == Language::Japanese ? kJapaneseDialogs : kEnglishDialogs;
}

}  // namespace sfx
