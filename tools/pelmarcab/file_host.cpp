#include "tools/pelmarcab/file_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pelmarcab {
namespace {

constexpr size_t kEngineFullPath = 257;

// The Windows runtime's open flags, as the engine passes them.
constexpr int32_t kAccessMask = 0x0003;
constexpr int32_t kAppend = 0x0008;
constexpr int32_t kCreate = 0x0100;
constexpr int32_t kTruncate = 0x0200;
constexpr int32_t kExclusive = 0x0400;

int posix_flags(int32_t flags) {
    int out = O_CLOEXEC;
    switch (flags & kAccessMask) {
    case 1: out |= O_WRONLY; break;
    case 2: out |= O_RDWR; break;
    default: out |= O_RDONLY; break;
    }
    if (flags & kAppend) out |= O_APPEND;
    if (flags & kCreate) out |= O_CREAT;
    if (flags & kTruncate) out |= O_TRUNC;
    if (flags & kExclusive) out |= O_EXCL;
    return out;
}

int open_scratch() {
    const char *dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    int fd = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string name = std::string(dir) + "/pelmarcab-XXXXXX";
    fd = mkstemp(name.data());
    if (fd >= 0) unlink(name.c_str());
    return fd;
}

void *host_alloc(uint32_t size) { return std::malloc(size ? size : 1); }
void host_free(void *block) { std::free(block); }

int32_t host_open(const char *path, int32_t flags, int32_t mode) {
    if (std::strcmp(path, "*") == 0) return open_scratch();
    // Permission 0x180 (read and write) means 0666 before the umask.
    const mode_t perm = (mode & 0x0080) ? 0666 : 0444;
    return ::open(path, posix_flags(flags), perm);
}

int32_t host_read(int32_t handle, void *buffer, uint32_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(handle, static_cast<char *>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int32_t>(done);
}

}  // namespace

int32_t write_all(int32_t handle, const void *buffer, uint32_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(handle, static_cast<const char *>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done ? static_cast<int32_t>(done) : -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<int32_t>(done);
}

namespace {

int32_t host_close(int32_t handle) { return ::close(handle) == 0 ? 0 : -1; }

int32_t host_seek(int32_t handle, int32_t offset, int32_t origin) {
    const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    const off_t at = ::lseek(handle, offset, whence);
    return (at < 0 || at > 0x7FFFFFFF) ? -1 : static_cast<int32_t>(at);
}

}  // namespace

CabContext *create_file_context(CabError *error, CabWriteFn write) {
    return cab_create(host_alloc, host_free, host_open, host_read, write ? write : write_all,
                      host_close, host_seek, 1, error);
}

CabinetLocation locate_cabinet(const std::string &file) {
    CabinetLocation where;
    const size_t slash = file.rfind('/');
    where.display_folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    where.name = slash == std::string::npos ? file : file.substr(slash + 1);
    where.path = where.display_folder;
    if (where.path.size() + where.name.size() > kEngineFullPath) {
        const int dir = ::open(where.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) where.path = "/proc/self/fd/" + std::to_string(dir) + "/";
    }
    return where;
}

const char *error_name(int32_t code) {
    static const char *const kNames[] = {
        "CAB_ERR_NONE",   "CAB_ERR_OPEN",   "CAB_ERR_SIGNATURE",     "CAB_ERR_VERSION",
        "CAB_ERR_CORRUPT", "CAB_ERR_MEMORY", "CAB_ERR_METHOD",        "CAB_ERR_DECODE",
        "CAB_ERR_OUTPUT", "CAB_ERR_RESERVE_SIZES", "CAB_ERR_SET",   "CAB_ERR_ABORT"};
    return code >= 0 && code <= CAB_ERR_ABORT ? kNames[code] : "CAB_ERR_UNKNOWN";
}

}  // namespace pelmarcab
