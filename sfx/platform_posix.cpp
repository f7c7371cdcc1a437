#include "sfx/platform.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <pthread.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <type_traits>

extern char **environ;

namespace sfx::platform {
namespace {

// The bound state. Signal handlers load it too, so it is a lock-free atomic.
std::atomic<PlatformState *> g_state{nullptr};
static_assert(std::atomic<PlatformState *>::is_always_lock_free);

PlatformState &state() { return *g_state.load(std::memory_order_relaxed); }

constexpr int kTerminationSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void remove_unfinished_and_exit(int) {
    const SignalShared *shared = signal_shared();
    if (shared != nullptr && shared->has_unfinished) unlink(shared->unfinished_path);
    _exit(1);
}

// Holds the termination signals back while it lives.
class TerminationHeld {
public:
    TerminationHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kTerminationSignals) sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~TerminationHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    TerminationHeld(const TerminationHeld &) = delete;
    TerminationHeld &operator=(const TerminationHeld &) = delete;

private:
    sigset_t previous_;
};

mode_t process_umask() {
    static const mode_t mask = [] {
        const mode_t old = umask(0);
        umask(old);
        return old;
    }();
    return mask;
}

int posix_open_flags(int32_t flags) {
    int result = O_CLOEXEC;
    if (flags & WIN_O_RDWR) {
        result |= O_RDWR;
    } else if (flags & WIN_O_WRONLY) {
        result |= O_WRONLY;
    } else {
        result |= O_RDONLY;
    }
    if (flags & WIN_O_APPEND) result |= O_APPEND;
    if (flags & WIN_O_CREAT) result |= O_CREAT;
    if (flags & WIN_O_TRUNC) result |= O_TRUNC;
    if (flags & WIN_O_EXCL) result |= O_EXCL;
    return result;
}

// The device and partition behind `folder`, as "major:minor".
bool device_of(const std::string &folder, dev_t &device) {
    struct stat info;
    if (stat(native_path(folder).c_str(), &info) != 0) return false;
    device = info.st_dev;
    return true;
}

bool read_removable_flag(const std::string &sys_dir) {
    std::ifstream flag(sys_dir + "/removable");
    int value = 0;
    return flag >> value && value == 1;
}

bool block_device_removable(dev_t device) {
    const std::string link =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char resolved[PATH_MAX];
    if (realpath(link.c_str(), resolved) == nullptr) return false;
    const std::string dir = resolved;
    // A partition carries no flag of its own; its disk is the parent folder.
    return read_removable_flag(dir) || read_removable_flag(dir.substr(0, dir.rfind('/')));
}

std::string mount_point_of(dev_t device) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mount_point;
        if (fields >> id >> parent >> numbers >> root >> mount_point && numbers == wanted) {
            return mount_point;
        }
    }
    return {};
}

bool system_removable_check(const std::string &folder, std::string &mount_point) {
    dev_t device;
    if (!device_of(folder, device) || !block_device_removable(device)) return false;
    mount_point = mount_point_of(device);
    return true;
}

// The character set of Shift-JIS texts: code page 932, as on the systems
// the installer imitates (its 0x5C is the backslash, not a yen sign).
constexpr const char *kShiftJisCharset = "CP932";

// Converts `text` between two iconv character sets. A character that cannot
// be converted fails the conversion when `replacement` is null; otherwise
// the replacement takes its place (one per UTF-8 sequence, or per byte of
// other input) and the conversion goes on.
bool convert(const std::string &text, const char *from, const char *to, const char *replacement,
             std::string &out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    const bool from_utf8 = std::strcmp(from, "UTF-8") == 0;
    std::string input = text;
    char *in = input.data();
    size_t in_left = input.size();
    out.clear();
    bool converted = true;
    while (in_left > 0) {
        char buffer[1024];
        char *dest = buffer;
        size_t out_left = sizeof buffer;
        const size_t result = iconv(cd, &in, &in_left, &dest, &out_left);
        out.append(buffer, static_cast<size_t>(dest - buffer));
        if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
        if (replacement == nullptr) {
            converted = false;
            break;
        }
        out += replacement;
        const size_t length = from_utf8 ? utf8_sequence_length(input, input.size() - in_left) : 0;
        const size_t skip = length == 0 ? 1 : length;
        in += skip;
        in_left -= skip;
    }
    iconv_close(cd);
    return converted;
}

// $TMPDIR when it names a folder, else /tmp; ends with '/'.
std::string temp_base() {
    const char *variable = std::getenv("TMPDIR");
    struct stat info;
    const bool usable = variable != nullptr && variable[0] != '\0' && stat(variable, &info) == 0 &&
                        S_ISDIR(info.st_mode);
    std::string base = usable ? variable : "/tmp";
    if (base.back() != '/') base += '/';
    return base;
}

// A directory (not a link to one) of this user, closed to group and others.
bool is_private_directory(const std::string &path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

StateScope::StateScope(PlatformState &state) : previous_(g_state.exchange(&state)) {}
StateScope::~StateScope() { g_state.store(previous_); }

SignalShared *signal_shared() {
    PlatformState *bound = g_state.load(std::memory_order_relaxed);
    return bound != nullptr ? &bound->shared_with_handlers : nullptr;
}

CodePage code_page() { return state().code_page; }
void set_code_page(CodePage page) { state().code_page = page; }

CodePage code_page_of_locale() {
    const char *codeset = nl_langinfo(CODESET);
    const bool shift_jis = codeset != nullptr && (std::strcmp(codeset, "SHIFT_JIS") == 0 ||
                                                  std::strcmp(codeset, "SJIS") == 0 ||
                                                  std::strcmp(codeset, "CP932") == 0);
    return shift_jis ? CodePage::ShiftJis : CodePage::Utf8;
}

bool is_lead_byte(unsigned char byte) {
    return code_page() == CodePage::ShiftJis &&
           ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

const char *char_next(const char *p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte == 0) return p;
    if (code_page() == CodePage::ShiftJis) {
        return is_lead_byte(byte) && p[1] != '\0' ? p + 2 : p + 1;
    }
    // UTF-8: step over the continuation bytes that follow.
    ++p;
    if (byte >= 0xC0) {
        while ((static_cast<unsigned char>(*p) & 0xC0) == 0x80) ++p;
    }
    return p;
}

std::string native_path(const std::string &path) {
    std::string result = path;
    const char *start = path.c_str();
    for (const char *p = start; *p != '\0'; p = char_next(p)) {
        if (*p == '\\') result[p - start] = '/';
    }
    return result;
}

size_t utf8_sequence_length(std::string_view text, size_t i) {
    if (i >= text.size()) return 0;
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // shorter forms are overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - i < length || byte(1) < low || byte(1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    return length;
}

bool is_valid_utf8(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8_sequence_length(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

bool convert_to_utf8(const std::string &text, const char *charset, std::string &out) {
    return convert(text, charset, "UTF-8", nullptr, out);
}

bool convert_from_utf8(const std::string &text, const char *charset, std::string &out) {
    return convert(text, "UTF-8", charset, nullptr, out);
}

bool utf8_to_locale(const std::string &utf8, std::string &out) {
    if (code_page() == CodePage::Utf8) {
        out = utf8;
        return true;
    }
    return convert(utf8, "UTF-8", kShiftJisCharset, nullptr, out);
}

std::string utf8_shown_in_locale(const std::string &utf8) {
    if (code_page() == CodePage::Utf8) return utf8;
    std::string out;
    convert(utf8, "UTF-8", kShiftJisCharset, "?", out);
    return out;
}

std::string locale_shown_in_utf8(const std::string &text) {
    if (code_page() == CodePage::Utf8) return text;
    std::string out;
    convert(text, kShiftJisCharset, "UTF-8", "\xEF\xBF\xBD", out);
    return out;
}

std::string visible_controls(const std::string &text, bool keep_line_feeds) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const size_t length = utf8_sequence_length(text, i);
        const size_t step = length == 0 ? 1 : length;
        // A C1 control, encoded (U+0080-U+009F) or as a lone byte.
        unsigned char c1 = 0;
        if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            c1 = static_cast<unsigned char>(text[i + 1]);
        } else if (length == 0 && byte >= 0x80 && byte <= 0x9F) {
            c1 = byte;
        }
        if (byte < 0x20 && !(byte == '\n' && keep_line_feeds)) {
            out += '^';
            out += static_cast<char>(byte + 0x40);
        } else if (byte == 0x7F) {
            out += "^?";
        } else if (c1 != 0) {
            out += "^[";
            out += static_cast<char>(c1 - 0x40);
        } else {
            out.append(text, i, step);
        }
        i += step;
    }
    return out;
}

bool native_file_name(const std::string &stored, uint16_t attributes, std::string &native) {
    constexpr uint16_t kNameIsUtf8 = 0x80;
    if ((attributes & kNameIsUtf8) || code_page() == CodePage::ShiftJis || is_valid_utf8(stored)) {
        native = stored;
        return true;
    }
    return convert_to_utf8(stored, "CP932", native);
}

std::string module_path() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string current_directory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

std::string home_folder() {
    const char *home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    const passwd *entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

bool private_temp_folder(std::string &folder) {
    const std::string fixed = temp_base() + "pelmarself-" + std::to_string(getuid());
    if ((mkdir(fixed.c_str(), 0700) == 0 || errno == EEXIST) && is_private_directory(fixed)) {
        folder = fixed + "/";
        return true;
    }
    // The fixed name is taken (by another user, say): a fresh folder of our
    // own, made once per bound state, keeps the run going.
    std::string &fresh = state().fresh_temp_folder;
    if (!fresh.starts_with(fixed + "-") || !is_private_directory(fresh)) {
        std::string made = fixed + "-XXXXXX";
        if (mkdtemp(made.data()) == nullptr) return false;
        fresh = made;
    }
    folder = fresh + "/";
    return true;
}

std::string program_files_folder() { return "/opt"; }
std::string windows_folder() { return "/usr"; }
std::string system_folder() { return "/usr/lib"; }

bool is_removable(const std::string &folder, std::string &mount_point) {
    const auto &check = state().removable_check;
    return check ? check(folder, mount_point) : system_removable_check(folder, mount_point);
}

void set_removable_check(std::function<bool(const std::string &, std::string &)> check) {
    state().removable_check = std::move(check);
}

void start_program(const std::string &path) {
    const std::string native = native_path(path);
    struct stat info;
    // A missing program produces no message, and the opener would show one.
    if (stat(native.c_str(), &info) != 0) return;
    const bool executable = S_ISREG(info.st_mode) && access(native.c_str(), X_OK) == 0;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child;
    if (executable) {
        char *argv[] = {const_cast<char *>(native.c_str()), nullptr};
        posix_spawn(&child, native.c_str(), nullptr, &attributes, argv, environ);
    } else {
        char opener[] = "xdg-open";
        char *argv[] = {opener, const_cast<char *>(native.c_str()), nullptr};
        posix_spawnp(&child, opener, nullptr, &attributes, argv, environ);
    }
    posix_spawnattr_destroy(&attributes);
}

bool terminal_attached() { return isatty(STDERR_FILENO) == 1; }

std::string engine_folder(const std::string &folder, const std::string &name) {
    if (folder.size() + name.size() <= kEnginePathLength) return folder;
    const int handle = open(native_path(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return handle >= 0 ? "/proc/self/fd/" + std::to_string(handle) + "/" : folder;
}

int32_t open_file(const std::string &path, int32_t flags, int32_t mode) {
    mode_t permission = 0444;
    if (mode & WIN_S_IWRITE) permission |= 0222;
    return open(native_path(path).c_str(), posix_open_flags(flags), permission);
}

int32_t read_file(int32_t handle, void *buffer, uint32_t count) {
    ssize_t result;
    do {
        result = read(handle, buffer, count);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -1 : static_cast<int32_t>(result);
}

int32_t write_file(int32_t handle, const void *buffer, uint32_t count) {
    const auto *bytes = static_cast<const char *>(buffer);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t result = write(handle, bytes + done, count - done);
        if (result < 0 && errno == EINTR) continue;
        if (result <= 0) return done > 0 ? static_cast<int32_t>(done) : -1;
        done += static_cast<uint32_t>(result);
    }
    return static_cast<int32_t>(done);
}

int32_t seek_file(int32_t handle, int32_t offset, int32_t origin) {
    const int whence = origin == 0   ? SEEK_SET
                       : origin == 1 ? SEEK_CUR
                       : origin == 2 ? SEEK_END
                                     : -1;
    if (whence < 0) return -1;
    const off_t result = lseek(handle, offset, whence);
    return result < 0 || result > INT32_MAX ? -1 : static_cast<int32_t>(result);
}

int32_t close_file(int32_t handle) { return close(handle) == 0 ? 0 : -1; }

int32_t open_scratch_file() {
    std::string folder;
    if (!private_temp_folder(folder)) return -1;
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // File systems without unnamed files: create one and unlink it at once.
    std::string name = folder + "scratch-XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) unlink(name.c_str());
    return fd;
}

int32_t create_temporary_file(const std::string &folder, std::string &path) {
    std::string name = native_path(folder);
    if (!name.empty() && name.back() != '/') name += '/';
    name += ".pelmarself-XXXXXX";
    SignalShared &shared = state().shared_with_handlers;
    if (name.size() >= sizeof shared.unfinished_path) return -1;
    // No termination may fall between creating the file and naming it.
    const TerminationHeld held;
    // mkostemp creates with O_EXCL, which never follows a symbolic link.
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    if (fchmod(fd, 0666 & ~process_umask()) != 0) {
        close(fd);
        unlink(name.c_str());
        return -1;
    }
    std::memcpy(shared.unfinished_path, name.c_str(), name.size() + 1);
    shared.has_unfinished = 1;
    path = name;
    return fd;
}

void finish_temporary_file() { state().shared_with_handlers.has_unfinished = 0; }

TerminationCleanup::TerminationCleanup() {
    struct sigaction action = {};
    action.sa_handler = remove_unfinished_and_exit;
    sigemptyset(&action.sa_mask);
    static_assert(std::size(kTerminationSignals) == std::extent_v<decltype(previous_)>);
    for (size_t i = 0; i < std::size(kTerminationSignals); ++i) {
        sigaction(kTerminationSignals[i], &action, &previous_[i]);
    }
}

TerminationCleanup::~TerminationCleanup() {
    for (size_t i = 0; i < std::size(kTerminationSignals); ++i) {
        sigaction(kTerminationSignals[i], &previous_[i], nullptr);
    }
}

bool replace_file(const std::string &from, const std::string &to) {
    return rename(native_path(from).c_str(), native_path(to).c_str()) == 0;
}

bool remove_file(const std::string &path) { return unlink(native_path(path).c_str()) == 0; }

PathKind path_kind(const std::string &path, bool follow_links) {
    struct stat info;
    const std::string native = native_path(path);
    const int result = follow_links ? stat(native.c_str(), &info) : lstat(native.c_str(), &info);
    if (result != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Unknown;
    if (S_ISDIR(info.st_mode)) return PathKind::Directory;
    if (S_ISREG(info.st_mode)) return PathKind::File;
    return PathKind::Other;
}

bool make_directory(const std::string &path) { return mkdir(native_path(path).c_str(), 0777) == 0; }

bool dos_time_to_unix(uint16_t date, uint16_t time, std::time_t &result) {
    struct tm fields = {};
    fields.tm_mday = date & 0x1F;
    fields.tm_mon = ((date >> 5) & 0x0F) - 1;
    fields.tm_year = (date >> 9) + 80;
    fields.tm_sec = (time & 0x1F) * 2;
    fields.tm_min = (time >> 5) & 0x3F;
    fields.tm_hour = time >> 11;
    fields.tm_isdst = -1;
    if (fields.tm_mday < 1 || fields.tm_mon < 0 || fields.tm_mon > 11 || fields.tm_hour > 23 ||
        fields.tm_min > 59 || fields.tm_sec > 59) {
        return false;
    }
    result = mktime(&fields);
    return result != static_cast<std::time_t>(-1);
}

bool set_modification_time(const std::string &path, std::time_t time) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time, 0}};
    return utimensat(AT_FDCWD, native_path(path).c_str(), times, 0) == 0;
}

TimeQuery modification_time(const std::string &path, std::time_t &time) {
    struct stat info;
    if (stat(native_path(path).c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? TimeQuery::Missing : TimeQuery::Failed;
    }
    // A folder or a device cannot be opened as the file it would replace.
    if (!S_ISREG(info.st_mode)) return TimeQuery::Failed;
    time = info.st_mtim.tv_sec;
    return TimeQuery::Found;
}

bool set_attributes(const std::string &path, bool read_only, bool executable) {
    const std::string native = native_path(path);
    struct stat info;
    if (stat(native.c_str(), &info) != 0) return false;
    mode_t mode = info.st_mode & 07777;
    if (executable) mode |= (mode & 0444) >> 2;
    if (read_only) mode &= ~static_cast<mode_t>(0222);
    return mode == (info.st_mode & 07777) || chmod(native.c_str(), mode) == 0;
}

}  // namespace sfx::platform
