// The operating-system services the installer uses, named by their role.
// One implementation: platform_posix.cpp.
//
// Paths handed to these functions may use `\` or `/` as separators; every
// function that touches the file system turns `\` into `/` first.
#pragma once

#include <signal.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace sfx::platform {

// How multi-byte texts are stepped through: UTF-8 (no byte is a double-byte
// lead byte, a step covers a whole sequence) or Shift-JIS (lead bytes
// 0x81-0x9F and 0xE0-0xFC).
enum class CodePage { Utf8, ShiftJis };

// --- State -----------------------------------------------------------------

// Longest path of an unfinished output file, its terminating NUL included.
inline constexpr size_t kMaxUnfinishedPath = 4096;

// What signal handlers share with the running code. A handler may interrupt
// anything, so it reaches this record through a lock-free load of the bound
// state's address and touches nothing else: flags of type volatile
// sig_atomic_t, and a buffer filled while the signals are held back.
struct SignalShared {
    volatile std::sig_atomic_t interrupted = 0;     // a Ctrl-C noted by a front end
    volatile std::sig_atomic_t has_unfinished = 0;  // unfinished_path names a file
    char unfinished_path[kMaxUnfinishedPath] = {};
};

// Everything the layer remembers between calls. A program keeps one in its
// run record (the installer in its session) and binds it with StateScope;
// every function below that reads or changes state works on the bound one.
struct PlatformState {
    CodePage code_page = CodePage::Utf8;
    // Replaces the removable-device check (tests); empty: the system's.
    std::function<bool(const std::string &folder, std::string &mount_point)> removable_check;
    // Made by private_temp_folder when the fixed name is unusable.
    std::string fresh_temp_folder;
    SignalShared shared_with_handlers;
};

// Binds `state` while it lives; the state bound before comes back afterwards.
class StateScope {
public:
    explicit StateScope(PlatformState &state);
    ~StateScope();
    StateScope(const StateScope &) = delete;
    StateScope &operator=(const StateScope &) = delete;

private:
    PlatformState *previous_;
};

// The bound state's signal-shared part, or null when none is bound. Safe in
// a signal handler.
SignalShared *signal_shared();

// --- Character set ---------------------------------------------------------

CodePage code_page();
void set_code_page(CodePage page);
// The code page of the locale's character set.
CodePage code_page_of_locale();

bool is_lead_byte(unsigned char byte);
// The next character after `p`; `p` itself at the end of the text.
const char *char_next(const char *p);

// Length of the well-formed UTF-8 sequence that starts at `text[i]` (no
// overlong forms, surrogates or values past U+10FFFF); 0 when none does.
size_t utf8_sequence_length(std::string_view text, size_t i);
bool is_valid_utf8(const std::string &text);
// Converts `text` from `charset` (an iconv name such as "CP932") to UTF-8.
bool convert_to_utf8(const std::string &text, const char *charset, std::string &out);
// Converts UTF-8 `text` to `charset`; false when a character has no
// equivalent there (or the character set is unknown).
bool convert_from_utf8(const std::string &text, const char *charset, std::string &out);

// Texts between UTF-8 (the installer's own texts and what its front ends
// show) and the locale's character set (paths, names, what is typed on a
// terminal). Shift-JIS is taken as code page 932, whose 0x5C is the
// backslash; in a UTF-8 locale both are the identity.
// Strict: false when a character has no equivalent in the locale.
bool utf8_to_locale(const std::string &utf8, std::string &out);
// For display: a character the locale lacks becomes '?'.
std::string utf8_shown_in_locale(const std::string &utf8);
// For display: a byte that starts no character becomes U+FFFD.
std::string locale_shown_in_utf8(const std::string &text);

// UTF-8 `text` with every control character made visible in caret notation,
// as a terminal echoes them: C0 as ^@ to ^_, DEL as ^?, and a C1 control as
// the ESC sequence a terminal takes it for (CSI, U+009B, as ^[[). A C1 byte
// that is not part of a UTF-8 sequence is shown the same way. Line feeds
// stay when `keep_line_feeds` is set.
std::string visible_controls(const std::string &text, bool keep_line_feeds = false);

// `path` with every single-byte `\` turned into `/`.
std::string native_path(const std::string &path);
// A stored file name as the file system takes it: names flagged as UTF-8
// (attribute 0x80) or valid UTF-8 stay as they are; others are converted
// from Shift-JIS when the locale is UTF-8. Returns false when the name
// cannot be converted.
bool native_file_name(const std::string &stored, uint16_t attributes, std::string &native);

// --- Process and folders ---------------------------------------------------

std::string module_path();  // the running executable, resolved
std::string current_directory();
// The user's home folder: $HOME, else the user database's entry; empty when
// neither names one.
std::string home_folder();
// The user's private temporary folder: "pelmarself-<uid>/" in $TMPDIR (or
// in /tmp when $TMPDIR names no folder), created with mode 0700 when
// missing. When that name is taken by anything but a directory of this
// user closed to group and others, a fresh folder "pelmarself-<uid>-XXXXXX/"
// is made instead (once per bound state). False when neither can be had.
bool private_temp_folder(std::string &folder);
std::string program_files_folder();
std::string windows_folder();
std::string system_folder();

// True when `folder` lies on a removable block device; `mount_point` then
// names its mount point.
bool is_removable(const std::string &folder, std::string &mount_point);
// Replaces the removable-device check (tests); an empty function restores it.
void set_removable_check(std::function<bool(const std::string &, std::string &)> check);

// Starts an executable file detached (its own session, not waited for);
// hands any other existing file to the desktop's opener. Nothing happens
// for a missing file, and failures are ignored.
void start_program(const std::string &path);

// True when standard error is a terminal.
bool terminal_attached();

// --- Files -----------------------------------------------------------------

// The engine joins a cabinet's folder and name into a path of at most this
// many bytes before it calls the open callback.
inline constexpr size_t kEnginePathLength = 257;
// The folder to hand the engine for the cabinet `name` in `folder` (empty or
// ending with '/'): `folder` itself when the joined path fits, else the
// folder reached through a descriptor of its own ("/proc/self/fd/N/", open
// until the process ends).
std::string engine_folder(const std::string &folder, const std::string &name);

// Open flags and permission bits of open_file: the Windows runtime's values,
// which the engine passes to its open callback too (CAB_OPEN_* in cab/cab.h
// are combinations of them). Binary changes nothing here, and other bits
// (sequential, read permission) are ignored.
enum : int32_t {
    WIN_O_RDONLY = 0x0000,
    WIN_O_WRONLY = 0x0001,
    WIN_O_RDWR = 0x0002,
    WIN_O_APPEND = 0x0008,
    WIN_O_CREAT = 0x0100,
    WIN_O_TRUNC = 0x0200,
    WIN_O_EXCL = 0x0400,
    WIN_O_BINARY = 0x8000,
    WIN_S_IWRITE = 0x0080  // without it a new file is created read-only
};

// Low-level descriptors; every function returns -1 on failure.
int32_t open_file(const std::string &path, int32_t flags, int32_t mode);
int32_t read_file(int32_t handle, void *buffer, uint32_t count);
int32_t write_file(int32_t handle, const void *buffer, uint32_t count);
int32_t seek_file(int32_t handle, int32_t offset, int32_t origin);
int32_t close_file(int32_t handle);
// A new unnamed read-write file in the private temporary folder.
int32_t open_scratch_file();

// Creates a new file with a unique name in `folder` (exclusively, never
// through a symbolic link), with permission 0666 less the umask. Returns the
// handle and its path in `path`. The file is unfinished until
// finish_temporary_file: a termination removes it (TerminationCleanup).
int32_t create_temporary_file(const std::string &folder, std::string &path);
// The temporary file has been renamed or removed.
void finish_temporary_file();

bool replace_file(const std::string &from, const std::string &to);
bool remove_file(const std::string &path);

enum class PathKind { Missing, Directory, File, Other, Unknown };
// What is at `path`; a symbolic link is Other unless `follow_links`.
PathKind path_kind(const std::string &path, bool follow_links);
bool make_directory(const std::string &path);

// MS-DOS date and time, read as local time. False for an invalid date.
bool dos_time_to_unix(uint16_t date, uint16_t time, std::time_t &result);
bool set_modification_time(const std::string &path, std::time_t time);
enum class TimeQuery { Found, Missing, Failed };
// The modification time of the regular file at `path` (links followed).
// Missing covers "no such file" and "a path component is not a folder";
// anything at `path` that is not a regular file is Failed.
TimeQuery modification_time(const std::string &path, std::time_t &time);
// Applies the Windows attributes that have a meaning here: read-only takes
// every write permission away; `executable` adds execute permission where
// read permission is.
bool set_attributes(const std::string &path, bool read_only, bool executable);

// --- Termination -----------------------------------------------------------

// While one lives, SIGTERM, SIGHUP and SIGINT remove the unfinished
// temporary file of the bound state, if there is one, and end the process
// with exit code 1. A
// front end may handle SIGINT itself meanwhile (as the Cancel button).
class TerminationCleanup {
public:
    TerminationCleanup();
    ~TerminationCleanup();
    TerminationCleanup(const TerminationCleanup &) = delete;
    TerminationCleanup &operator=(const TerminationCleanup &) = delete;

private:
    struct sigaction previous_[3];  // of SIGTERM, SIGHUP and SIGINT
};

}  // namespace sfx::platform
