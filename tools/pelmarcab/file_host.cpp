#include "tools/pelmarcab/file_host.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "sfx/embedded_cabinet.h"
#include "sfx/platform.h"

namespace pelmarcab {
namespace {

namespace platform = sfx::platform;

// Handles a context keeps on one cabinet at once, with room to spare.
constexpr size_t kMaxEmbeddedHandles = 16;

// The calling thread's embedded cabinet (the callbacks carry no context).
struct ThreadHost {
    std::string embedded_path;  // empty: no cabinet is embedded
    int32_t embedded_start = 0;
    platform::EmbeddedCabinet embedded{kMaxEmbeddedHandles};
    bool short_read = false;
};
thread_local ThreadHost t_host;

void *host_alloc(uint32_t size) { return std::malloc(size ? size : 1); }
void host_free(void *block) { std::free(block); }

// The Quantum decoder's scratch file is the path "*". Its private folder is
// made once per run, so threads take turns.
int32_t host_open(const char *path, int32_t flags, int32_t mode) {
    if (std::strcmp(path, "*") == 0) {
        static std::mutex scratch;
        const std::lock_guard<std::mutex> one_at_a_time(scratch);
        return platform::open_scratch_file();
    }
    if (!t_host.embedded_path.empty() && t_host.embedded_path == path)
        return t_host.embedded.open(path, flags, mode, t_host.embedded_start);
    return platform::open_file(path, flags, mode);
}

int32_t host_read(int32_t handle, void *buffer, uint32_t count) {
    const int32_t n = platform::read_file(handle, buffer, count);
    if (n >= 0 && static_cast<uint32_t>(n) < count) t_host.short_read = true;
    return n;
}

int32_t host_seek(int32_t handle, int32_t offset, int32_t origin) {
    return t_host.embedded.seek(handle, offset, origin);
}

int32_t host_close(int32_t handle) { return t_host.embedded.close(handle); }

}  // namespace

CabContext *create_file_context(CabError *error, CabWriteFn write) {
    return cab_create(host_alloc, host_free, host_open, host_read,
                      write ? write : platform::write_file, host_close, host_seek, 1, error);
}

EmbeddedScope::EmbeddedScope(const std::string &engine_path, uint32_t start) {
    t_host.embedded_path = engine_path;
    t_host.embedded_start = static_cast<int32_t>(start);
}

EmbeddedScope::~EmbeddedScope() { t_host.embedded_path.clear(); }

bool read_summary(CabContext *context, const std::string &engine_path, CabSummary &summary) {
    const int32_t handle = host_open(engine_path.c_str(), CAB_OPEN_READ, CAB_OPEN_MODE);
    if (handle == -1) return false;
    const bool is_cabinet = cab_is_cabinet(context, handle, &summary) == 1;
    host_close(handle);
    return is_cabinet;
}

bool read_came_up_short() { return std::exchange(t_host.short_read, false); }

CabinetLocation locate_cabinet(const std::string &file) {
    CabinetLocation where;
    const size_t slash = file.rfind('/');
    where.display_folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    where.name = slash == std::string::npos ? file : file.substr(slash + 1);
    where.path = platform::engine_folder(where.display_folder, where.name);
    return where;
}

const char *error_name(int32_t code) {
    static const char *const kNames[] = {
        "CAB_ERR_NONE",    "CAB_ERR_OPEN",          "CAB_ERR_SIGNATURE", "CAB_ERR_VERSION",
        "CAB_ERR_CORRUPT", "CAB_ERR_MEMORY",        "CAB_ERR_METHOD",    "CAB_ERR_DECODE",
        "CAB_ERR_OUTPUT",  "CAB_ERR_RESERVE_SIZES", "CAB_ERR_SET",       "CAB_ERR_ABORT"};
    return code >= 0 && code <= CAB_ERR_ABORT ? kNames[code] : "CAB_ERR_UNKNOWN";
}

}  // namespace pelmarcab
