// list, test and extract: walk each cabinet given (and, for test and
// extract, the set that follows it) through the engine with POSIX callbacks.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cab/cab.h"
#include "sfx/platform.h"
#include "tools/pelmarcab/commands.h"
#include "tools/pelmarcab/file_host.h"
#include "tools/pelmarcab/listing.h"
#include "tools/pelmarcab/names.h"
#include "tools/pelmarcab/selection.h"
#include "tools/pelmarcab/terminal.h"

namespace pelmarcab {
namespace {

// One run of list, test or extract: everything the run reads and changes,
// the platform layer's state among it. Notifications reach it through their
// user pointer; the write callback, which carries none, through
// `g_counting_run`.
class Reader {
public:
    Reader(const ReadOptions &options, const FileNames &names, const std::string &cabinet)
        : options_(options),
          names_(names),
          cabinet_(cabinet),
          notes_(options.to_stdout ? stderr : stdout) {}
    ~Reader() {
        if (context_) cab_destroy(context_);
        if (root_ != -1) ::close(root_);
    }

    int run();
    // Adds written bytes to the progress line, refreshed every MiB.
    void count_written(uint32_t count);

private:
    static int32_t on_note(int32_t kind, CabNotification *note);
    int32_t answer(int32_t kind, CabNotification &note);
    int32_t start_file(CabNotification &note);
    int32_t end_file(CabNotification &note);
    int32_t next_cabinet(CabNotification &note);
    void list_entry(const CabNotification &note) const;
    void note_single_skip(const CabNotification &note) const;
    bool copy_one(const std::string &name);
    uint64_t set_total();
    bool follows_set() const;
    void report(const std::string &what, const std::string &reason);
    std::string truncation() const;
    std::string next_cabinet_failure(const CabNotification &note) const;
    std::string failure_reason() const;
    void show_progress(bool final);

    const ReadOptions &options_;
    const FileNames &names_;
    const std::string &cabinet_;
    FILE *notes_;  // verbose lines and notes: never on a standard output that carries data
    sfx::platform::PlatformState platform_;
    CabinetLocation where_;
    CabError error_{};
    CabContext *context_ = nullptr;
    int root_ = -1;        // the destination directory
    std::string current_;  // cabinet being read, as the user would name it
    std::string next_in_set_;
    bool first_note_ = false;
    bool counting_ = false;  // walking only to add up file sizes
    bool reported_ = false;
    std::string output_name_;
    uint16_t folder_index_ = 0;  // of the file being extracted
    uint64_t total_ = 0, done_ = 0, files_ = 0;
    bool progress_ = false;
    mode_t file_mode_ = 0644;
};

// The run whose extraction writes are counted, while it extracts.
Reader *g_counting_run = nullptr;

int32_t counting_write(int32_t handle, const void *buffer, uint32_t count) {
    const int32_t n = sfx::platform::write_file(handle, buffer, count);
    if (n > 0 && g_counting_run != nullptr) g_counting_run->count_written(static_cast<uint32_t>(n));
    return n;
}

void Reader::count_written(uint32_t count) {
    const uint64_t before = done_;
    done_ += count;
    if ((before >> 20) != (done_ >> 20)) show_progress(false);
}

void Reader::report(const std::string &what, const std::string &reason) {
    if (progress_) std::fputs("\n", stderr);
    print_failure(what, reason);
    reported_ = true;
}

void Reader::show_progress(bool final) {
    if (!progress_) return;
    std::fprintf(stderr, "\r%llu of %llu bytes, %llu files%s",
                 static_cast<unsigned long long>(done_), static_cast<unsigned long long>(total_),
                 static_cast<unsigned long long>(files_), final ? "\n" : "");
}

void Reader::list_entry(const CabNotification &note) const {
    if (names_.selected(note.name, note.attributes))
        print_entry_line(note, names_.listed(note.name, note.attributes));
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value & 0xFFFFu);
    return text;
}

bool continues_to_next(const CabNotification &note) {
    return note.folder_index == CAB_FOLDER_CONTINUED_TO_NEXT ||
           note.folder_index == CAB_FOLDER_CONTINUED_PREV_AND_NEXT;
}

void Reader::note_single_skip(const CabNotification &note) const {
    if (options_.quiet) return;
    print_failure(current_, "skipping \"" + std::string(note.name) + "\": it continues in " +
                                next_in_set_ + ", which --single leaves unread");
}

int32_t Reader::on_note(int32_t kind, CabNotification *note) {
    return static_cast<Reader *>(note->user)->answer(kind, *note);
}

int32_t Reader::answer(int32_t kind, CabNotification &note) {
    switch (kind) {
        case CAB_NOTE_CABINET:
            if (first_note_) next_in_set_ = note.name;
            first_note_ = false;
            return 0;
        case CAB_NOTE_CONTINUED_FILE:
            if (options_.mode == ReadMode::List) list_entry(note);
            return 0;
        case CAB_NOTE_FILE_START:
            if (options_.mode == ReadMode::List) {
                list_entry(note);
                return 0;
            }
            if (!names_.selected(note.name, note.attributes)) return 0;
            // A file that continues into the next cabinet cannot be whole without it.
            if (options_.single && continues_to_next(note)) {
                if (!counting_) note_single_skip(note);
                return 0;
            }
            if (counting_) {
                total_ += note.size;
                return 0;
            }
            folder_index_ = note.folder_index;
            return start_file(note);
        case CAB_NOTE_FILE_END: return end_file(note);
        case CAB_NOTE_NEXT_CABINET: return next_cabinet(note);
        default: return 0;
    }
}

// Creates the folders of a stored name under the destination without
// following symbolic links, and opens the file for writing.
int open_output(int root, const std::vector<std::string> &parts) {
    int dir = ::dup(root);
    for (size_t i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        if (::mkdirat(dir, parts[i].c_str(), 0777) != 0 && errno != EEXIST) {
            ::close(dir);
            return -1;
        }
        const int next =
            ::openat(dir, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(dir);
        dir = next;
    }
    if (dir < 0) return -1;
    const char *leaf = parts.back().c_str();
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(dir, leaf, flags, 0666);
    if (fd < 0 && errno == EACCES && ::unlinkat(dir, leaf, 0) == 0)  // a read-only file is replaced
        fd = ::openat(dir, leaf, flags, 0666);
    ::close(dir);
    return fd;
}

int32_t Reader::start_file(CabNotification &note) {
    const auto name = names_.output(note.name, note.attributes);
    // Testing and writing to standard output use the name in messages only.
    if (options_.mode == ReadMode::Test || options_.to_stdout) {
        output_name_ = name.value_or(note.name);
        if (options_.verbose) std::fprintf(notes_, "%s\n", printable(output_name_).c_str());
        return options_.to_stdout ? ::dup(STDOUT_FILENO)
                                  : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    }
    if (!name) {
        report(current_, std::string("cannot convert the name \"") + note.name + "\" from " +
                             options_.encoding + "; name its character set with --encoding");
        return -1;
    }
    if (has_control_characters(*name)) {
        report(current_, "refusing the file name \"" + *name + "\": it holds control characters");
        return -1;
    }
    const auto parts = safe_components(*name);
    if (!parts) {
        report(current_, "refusing the file name \"" + *name + "\": it would be written outside " +
                             options_.directory);
        return -1;
    }
    output_name_ = options_.directory + "/" + *name;
    for (char &c : output_name_)
        if (c == '\\') c = '/';
    if (options_.verbose) std::fprintf(notes_, "%s\n", printable(output_name_).c_str());
    const int fd = open_output(root_, *parts);
    if (fd < 0) report(output_name_, std::strerror(errno));
    return fd;
}

int32_t Reader::end_file(CabNotification &note) {
    ++files_;
    if (options_.mode == ReadMode::Extract && !options_.to_stdout) {
        std::time_t t = 0;
        if (sfx::platform::dos_time_to_unix(note.date, note.time, t)) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
            ::futimens(note.handle, times);
        }
        mode_t mode = file_mode_;
        if (note.attributes & 0x01) mode &= ~static_cast<mode_t>(0222);  // read-only
        if (note.size == 1) mode |= (mode & 0444) >> 2;                  // run flag: executable
        ::fchmod(note.handle, mode);
    }
    show_progress(false);
    return ::close(note.handle) == 0 ? 1 : 0;
}

int32_t Reader::next_cabinet(CabNotification &note) {
    // The engine asks again, with `error` set, when the cabinet it was given
    // could not be used; asking again would only repeat the same failure.
    const std::string candidate = where_.display_folder + note.name;
    if (note.error != 0) {
        report(candidate, next_cabinet_failure(note));
        return -1;
    }
    if (counting_) return -1;
    // The engine asks even when this cabinet names no next one: the folder's
    // blocks ended before its files did.
    if (note.name[0] == '\0') {
        report(current_, truncation());
        return -1;
    }
    current_ = candidate;
    return 0;
}

// The set's next member could not be used: what was looked for, where, and
// what the user can do.
std::string Reader::next_cabinet_failure(const CabNotification &note) const {
    const std::string reason = error_name(note.error);
    const std::string folder =
        where_.display_folder.empty() ? "the current directory" : where_.display_folder;
    switch (note.error) {
        case CAB_ERR_OPEN:
            return reason + ": the set continues in " + note.name + ", which is not in " + folder +
                   "; put it there, or give --single to read this cabinet alone";
        case CAB_ERR_SET:
            return reason + ": it does not continue set " + hex4(note.set_id) + " (index " +
                   std::to_string(note.cabinet_index) + " expected); put the set's own " +
                   note.name + " in " + folder;
        default: return reason;
    }
}

std::string Reader::truncation() const {
    const std::string folder = folder_index_ < CAB_FOLDER_CONTINUED_FROM_PREV
                                   ? "folder " + std::to_string(folder_index_)
                                   : std::string("its last folder");
    return std::string(error_name(CAB_ERR_ABORT)) + ": the cabinet ends before " + folder +
           " does and names no next cabinet";
}

bool Reader::copy_one(const std::string &name) {
    next_in_set_.clear();
    first_note_ = true;
    if (!counting_) current_ = where_.display_folder + name;
    return cab_copy(context_, name.c_str(), where_.path.c_str(), 0, on_note, nullptr, this) == 1;
}

// Adds up the sizes of every file the set will extract, for the progress line.
uint64_t Reader::set_total() {
    counting_ = true;
    std::string name = where_.name;
    for (int guard = 0; guard < 65536 && copy_one(name) && follows_set() && !next_in_set_.empty();
         ++guard)
        name = next_in_set_;
    counting_ = false;
    reported_ = false;
    return total_;
}

// Why the walk failed, with what can be done about it where something can.
std::string Reader::failure_reason() const {
    std::string reason = error_name(error_.code);
    switch (error_.code) {
        case CAB_ERR_VERSION:
            return reason + " (detail " + hex4(static_cast<unsigned>(error_.detail)) + ")";
        case CAB_ERR_OPEN: {
            struct stat st {};
            return ::stat(cabinet_.c_str(), &st) != 0 ? reason + ": " + std::strerror(errno)
                                                      : reason;
        }
        case CAB_ERR_SIGNATURE: return reason + ": not a cabinet (it does not start with MSCF)";
        case CAB_ERR_CORRUPT:
            return reason + ": the cabinet is damaged (a checksum, size or offset is wrong)";
        case CAB_ERR_DECODE: {
            reason += ": the compressed data is damaged";
            if (!output_name_.empty()) reason += "; " + output_name_ + " is incomplete";
            const char *fault = cab_last_fault(context_);
            if (fault && options_.verbose) reason += std::string(" (") + fault + ")";
            if (fault && !options_.verbose) reason += " (-v tells where decoding stopped)";
            return reason;
        }
        default: return reason;
    }
}

bool Reader::follows_set() const { return options_.mode != ReadMode::List && !options_.single; }

int Reader::run() {
    const sfx::platform::StateScope bound(platform_);
    where_ = locate_cabinet(cabinet_);
    context_ = create_file_context(&error_, counting_write);
    if (!context_) {
        print_failure(cabinet_, error_name(CAB_ERR_MEMORY));
        return 1;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    file_mode_ = 0666 & ~mask;

    if (options_.mode == ReadMode::Extract && !options_.to_stdout) {
        ::mkdir(options_.directory.c_str(), 0777);
        root_ = ::open(options_.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root_ < 0) {
            report(options_.directory, std::strerror(errno));
            return 1;
        }
    }
    progress_ = options_.mode != ReadMode::List && !options_.quiet && !options_.verbose &&
                ::isatty(STDERR_FILENO);
    if (progress_) set_total();
    g_counting_run = this;

    std::string name = where_.name;
    bool ok = true;
    for (;;) {
        ok = copy_one(name);
        if (!ok || !follows_set() || next_in_set_.empty()) break;
        name = next_in_set_;
    }
    show_progress(true);
    g_counting_run = nullptr;
    if (ok) return 0;
    if (!reported_)
        report(error_.code == CAB_ERR_OUTPUT ? output_name_ : current_, failure_reason());
    return 1;
}

}  // namespace

int read_cabinets(const ReadOptions &options) {
    if (options.mode == ReadMode::List && (options.verbose || options.json))
        return describe_cabinets(options);
    const FileNames names(options);
    int status = 0;
    for (const std::string &cabinet : options.cabinets) {
        if (options.mode == ReadMode::List && options.cabinets.size() > 1)
            print_list_heading(cabinet, &cabinet == &options.cabinets.front());
        Reader reader(options, names, cabinet);
        if (reader.run() != 0) status = 1;
    }
    return status;
}

}  // namespace pelmarcab
