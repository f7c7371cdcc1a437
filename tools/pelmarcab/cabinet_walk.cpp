#include "tools/pelmarcab/cabinet_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "sfx/platform.h"
#include "tools/pelmarcab/jobs.h"
#include "tools/pelmarcab/listing.h"
#include "tools/pelmarcab/names.h"
#include "tools/pelmarcab/read_messages.h"
#include "tools/pelmarcab/terminal.h"

namespace pelmarcab {
namespace {

// The walk writing on this thread: the write callback carries no context.
thread_local CabinetWalk *t_writing = nullptr;

int32_t walk_write(int32_t handle, const void *buffer, uint32_t count) {
    return t_writing != nullptr ? t_writing->write(handle, buffer, count)
                                : sfx::platform::write_file(handle, buffer, count);
}

class WritingScope {
public:
    explicit WritingScope(CabinetWalk *walk) : previous_(std::exchange(t_writing, walk)) {}
    ~WritingScope() { t_writing = previous_; }
    WritingScope(const WritingScope &) = delete;
    WritingScope &operator=(const WritingScope &) = delete;

private:
    CabinetWalk *previous_;
};

bool continues_to_next(const CabNotification &note) {
    return note.folder_index == CAB_FOLDER_CONTINUED_TO_NEXT ||
           note.folder_index == CAB_FOLDER_CONTINUED_PREV_AND_NEXT;
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

}  // namespace

void CabinetsRead::add(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    const std::lock_guard<std::mutex> hold(lock_);
    ids_.insert({st.st_dev, st.st_ino});
}

bool CabinetsRead::contains(const std::string &path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    const std::lock_guard<std::mutex> hold(lock_);
    return ids_.count({st.st_dev, st.st_ino}) != 0;
}

RunShared::RunShared(const ReadOptions &options, const FileNames &names, const std::string &cabinet,
                     CabinetsRead &read)
    : options(options),
      names(names),
      cabinet(cabinet),
      read(read),
      where(locate_cabinet(cabinet)),
      notes(options.to_stdout ? stderr : stdout) {}

void RunShared::report(const std::string &what, const std::string &reason) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (bar != nullptr) bar->finish();  // the message takes the bar's line
    print_failure(what, reason);
    failed = true;
}

void RunShared::count_written(uint32_t count) {
    if (bar != nullptr) bar->advance(count);
}

CabinetWalk::CabinetWalk(RunShared &run, int folder)
    : run_(run), options_(run.options), folder_(folder) {
    context_ = create_file_context(&error_, walk_write);
}

CabinetWalk::~CabinetWalk() {
    if (context_) cab_destroy(context_);
}

int32_t CabinetWalk::write(int32_t handle, const void *buffer, uint32_t count) {
    const int32_t n = sfx::platform::write_file(handle, buffer, count);
    // Only the file being extracted counts (the Quantum decoder writes its
    // scratch file too); salvage keeps what a damaged file got.
    if (n > 0 && handle == output_handle_) {
        run_.count_written(static_cast<uint32_t>(n));
        written_ += static_cast<uint32_t>(n);
    }
    return n;
}

void CabinetWalk::report(const std::string &what, const std::string &reason) {
    run_.report(what, reason);
    reported_ = true;
}

void CabinetWalk::list_entry(const CabNotification &note) const {
    if (run_.names.selected(note.name, note.attributes))
        print_entry_line(note, run_.names.listed(note.name, note.attributes));
}

void CabinetWalk::note_single_skip(const CabNotification &note) const {
    if (options_.quiet) return;
    print_failure(current_, "skipping \"" + std::string(note.name) + "\": it continues in " +
                                next_in_set_ + ", which --single leaves unread");
}

int32_t CabinetWalk::on_note(int32_t kind, CabNotification *note) {
    return static_cast<CabinetWalk *>(note->user)->answer(kind, *note);
}

int32_t CabinetWalk::answer(int32_t kind, CabNotification &note) {
    switch (kind) {
        case CAB_NOTE_CABINET:
            if (cabinets_met_++ == 0) next_in_set_ = note.name;
            if (!counting_) run_.read.add(current_);
            return 0;
        case CAB_NOTE_CONTINUED_FILE:
            if (options_.mode == ReadMode::List) list_entry(note);
            return 0;
        case CAB_NOTE_FILE_START: return offer(note);
        case CAB_NOTE_FILE_END: return end_file(note);
        case CAB_NOTE_NEXT_CABINET: return next_cabinet(note);
        default: return 0;
    }
}

uint32_t CabinetWalk::folder_of(const CabNotification &note) const {
    return entry_folder(note.folder_index, folders_);
}

EntryKey CabinetWalk::key_of(const CabNotification &note) const {
    return {cabinets_met_, note.folder_index, note.size, note.name};
}

int32_t CabinetWalk::offer(CabNotification &note) {
    if (options_.mode == ReadMode::List) {
        list_entry(note);
        return 0;
    }
    if (!run_.names.selected(note.name, note.attributes)) return 0;
    const uint32_t folder = folder_of(note);
    if (folder_ != kEveryFolder && folder != static_cast<uint32_t>(folder_)) return 0;
    // A file that continues into the next cabinet cannot be whole without it.
    if (options_.single && continues_to_next(note)) {
        if (!counting_) note_single_skip(note);
        return 0;
    }
    if (counting_) {
        counted_ += note.size;
        if (surveying_) survey(note, folder);
        return 0;
    }
    folder_index_ = note.folder_index;
    const int32_t fd = record_ != nullptr ? salvage_offer(note, folder) : start_file(note);
    output_handle_ = fd > 0 ? fd : -1;
    written_ = 0;
    return fd;
}

std::string CabinetWalk::shown_name(const CabNotification &note) const {
    return run_.names.output(note.name, note.attributes).value_or(note.name);
}

int32_t CabinetWalk::salvage_offer(CabNotification &note, uint32_t folder) {
    const EntryKey key = key_of(note);
    if (record_->settled(key)) return 0;
    if (record_->is_stopped(folder)) {
        record_->settle_damaged(key, {shown_name(note), record_->reason(folder), 0, note.size});
        if (options_.salvage == SalvageMode::Partial) {
            const int32_t fd = start_file(note);
            if (fd > 0) {
                zero_fill(fd, 0, note.size);
                ::close(fd);
            }
        }
        return 0;
    }
    const int32_t fd = start_file(note);
    if (fd <= 0) {  // a refused name is reported; the walk goes on
        record_->settle(key);
        return 0;
    }
    in_file_ = true;
    file_key_ = key;
    file_name_ = shown_name(note);
    file_folder_ = folder;
    file_size_ = note.size;
    if (options_.salvage == SalvageMode::Partial) partial_fd_ = ::dup(fd);
    return fd;
}

// A damaged file keeps its good front; the rest of it is zeros.
void CabinetWalk::zero_fill(int fd, uint32_t from, uint32_t size) const {
    if (options_.mode == ReadMode::Test || from >= size) return;
    if (!options_.to_stdout) {
        if (::ftruncate(fd, size) != 0) run_.report(file_name_, std::strerror(errno));
        return;
    }
    static const char kZeros[4096] = {};
    for (uint32_t left = size - from; left > 0;) {
        const uint32_t n = left < sizeof kZeros ? left : sizeof kZeros;
        if (sfx::platform::write_file(STDOUT_FILENO, kZeros, n) != static_cast<int32_t>(n)) return;
        left -= n;
    }
}

int32_t CabinetWalk::start_file(CabNotification &note) {
    const auto name = run_.names.output(note.name, note.attributes);
    // Testing and writing to standard output use the name in messages only.
    if (options_.mode == ReadMode::Test || options_.to_stdout) {
        output_name_ = name.value_or(note.name);
        if (options_.verbose) std::fprintf(run_.notes, "%s\n", printable(output_name_).c_str());
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
    if (options_.verbose) std::fprintf(run_.notes, "%s\n", printable(output_name_).c_str());
    const int fd = open_output(run_.root, *parts);
    if (fd < 0) report(output_name_, std::strerror(errno));
    return fd;
}

int32_t CabinetWalk::end_file(CabNotification &note) {
    if (options_.mode == ReadMode::Extract && !options_.to_stdout) {
        std::time_t t = 0;
        if (sfx::platform::dos_time_to_unix(note.date, note.time, t)) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
            ::futimens(note.handle, times);
        }
        mode_t mode = run_.file_mode;
        if (note.attributes & 0x01) mode &= ~static_cast<mode_t>(0222);  // read-only
        if (note.size == 1) mode |= (mode & 0444) >> 2;                  // run flag: executable
        ::fchmod(note.handle, mode);
    }
    output_handle_ = -1;
    if (in_file_) {
        record_->settle(file_key_);
        in_file_ = false;
        if (partial_fd_ != -1) ::close(std::exchange(partial_fd_, -1));
    }
    return ::close(note.handle) == 0 ? 1 : 0;
}

int32_t CabinetWalk::next_cabinet(CabNotification &note) {
    // The engine asks again, with `error` set, when the cabinet it was given
    // could not be used; asking again would only repeat the same failure.
    const std::string candidate = run_.where.display_folder + note.name;
    if (note.error != 0) {
        if (in_file_) {
            stop_reason_ = next_cabinet_failure(note, run_.where.display_folder);
            return -1;
        }
        report(candidate, next_cabinet_failure(note, run_.where.display_folder));
        return -1;
    }
    if (counting_) return -1;
    // The engine asks even when this cabinet names no next one: the folder's
    // blocks ended before its files did.
    if (note.name[0] == '\0') {
        if (in_file_) {
            stop_reason_ = truncation_failure(folder_index_);
        } else {
            report(current_, truncation_failure(folder_index_));
        }
        return -1;
    }
    current_ = candidate;
    return 0;
}

std::string CabinetWalk::failure_reason(const std::string &name) const {
    return walk_failure(error_, {current_, name != run_.where.name, output_name_,
                                 cab_last_fault(context_), options_.verbose});
}

// Why the file being written stopped decoding, for the salvage report.
std::string CabinetWalk::damage_reason() const {
    if (!stop_reason_.empty()) return stop_reason_;
    const std::string folder = " in folder " + std::to_string(file_folder_);
    switch (error_.code) {
        case CAB_ERR_CORRUPT:
            return short_read_ ? "CAB_ERR_CORRUPT: the cabinet is cut short" + folder
                               : "CAB_ERR_CORRUPT: a data block fails its checksum or has a "
                                 "wrong size" +
                                     folder;
        case CAB_ERR_DECODE: {
            const char *fault = cab_last_fault(context_);
            return "CAB_ERR_DECODE: a data block does not decode" + folder +
                   (fault && options_.verbose ? std::string(" (") + fault + ")" : "");
        }
        default: return error_name(error_.code) + folder;
    }
}

bool CabinetWalk::follows_set() const {
    return options_.mode != ReadMode::List && !options_.single;
}

uint16_t CabinetWalk::folder_count(const std::string &name) {
    CabSummary summary{};
    if (!context_ || !read_summary(context_, run_.where.path + name, summary)) return 0;
    return summary.folder_count;
}

bool CabinetWalk::attempt(const std::string &name) {
    const WritingScope writing(this);
    next_in_set_.clear();
    cabinets_met_ = 0;
    in_file_ = false;
    output_handle_ = -1;
    stop_reason_.clear();
    if (!counting_) current_ = run_.where.display_folder + name;
    read_came_up_short();
    const bool ok = context_ != nullptr && cab_copy(context_, name.c_str(), run_.where.path.c_str(),
                                                    0, on_note, nullptr, this) == 1;
    short_read_ = read_came_up_short();
    return ok;
}

// The engine ended the walk inside a file: the file keeps what decoded, and
// when nothing did, its folder decodes no further.
void CabinetWalk::settle_failed_file() {
    const std::string reason = damage_reason();
    if (written_ == 0) record_->stop_folder(file_folder_, reason);
    record_->settle_damaged(file_key_, {file_name_, reason, written_, file_size_});
    if (options_.salvage == SalvageMode::Partial) {
        zero_fill(partial_fd_, written_, file_size_);
    } else if (options_.mode == ReadMode::Extract && !options_.to_stdout) {
        ::unlink(output_name_.c_str());  // skipped: no incomplete file is left
    }
    if (partial_fd_ != -1) ::close(std::exchange(partial_fd_, -1));
    in_file_ = false;
    output_handle_ = -1;
}

bool CabinetWalk::salvage(const std::string &name) {
    SalvageRecord record;
    record_ = &record;
    bool whole = true;
    // Every failed walk settles one file more, so the walks come to an end.
    while (!attempt(name)) {
        const bool damage = in_file_ && error_.code != CAB_ERR_OUTPUT;
        if (!damage) {
            if (!reported_) report(current_, failure_reason(name));
            whole = false;
            break;
        }
        settle_failed_file();
    }
    record_ = nullptr;
    if (in_file_ && partial_fd_ != -1) ::close(std::exchange(partial_fd_, -1));
    for (const DamagedFile &file : record.damaged())
        run_.report(run_.where.display_folder + name + ": " + file.name,
                    damage_report(file, options_.salvage));
    return whole && record.damaged().empty();
}

bool CabinetWalk::copy(const std::string &name) {
    folders_ = folder_count(name);
    reported_ = false;
    if (options_.mode != ReadMode::List && options_.salvage != SalvageMode::Off)
        return salvage(name);
    if (attempt(name)) return true;
    if (!reported_)
        report(error_.code == CAB_ERR_OUTPUT ? output_name_ : current_, failure_reason(name));
    return false;
}

// Two folders writing the same name would leave whichever finished last.
void CabinetWalk::survey(const CabNotification &note, uint32_t folder) {
    const auto [where, added] = survey_folders_.try_emplace(shown_name(note), folder);
    if (!added && where->second != folder) names_repeat_ = true;
}

bool CabinetWalk::names_repeat_across_folders(const std::string &name) {
    counting_ = surveying_ = true;
    names_repeat_ = false;
    folders_ = folder_count(name);
    attempt(name);
    counting_ = surveying_ = false;
    survey_folders_.clear();
    return names_repeat_;
}

uint64_t CabinetWalk::count_set(const std::string &first) {
    counting_ = true;
    counted_ = 0;
    std::string name = first;
    for (int guard = 0; guard < 65536; ++guard) {
        folders_ = folder_count(name);
        if (!attempt(name) || !follows_set() || next_in_set_.empty()) break;
        name = next_in_set_;
    }
    counting_ = false;
    return counted_;
}

}  // namespace pelmarcab
