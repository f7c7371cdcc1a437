#include "tools/pelmarcab/file_host.h"

#include <cstdlib>
#include <cstring>

#include "sfx/platform.h"

namespace pelmarcab {
namespace {

namespace platform = sfx::platform;

void *host_alloc(uint32_t size) { return std::malloc(size ? size : 1); }
void host_free(void *block) { std::free(block); }

// The Quantum decoder's scratch file is the path "*".
int32_t host_open(const char *path, int32_t flags, int32_t mode) {
    return std::strcmp(path, "*") == 0 ? platform::open_scratch_file()
                                       : platform::open_file(path, flags, mode);
}

}  // namespace

CabContext *create_file_context(CabError *error, CabWriteFn write) {
    return cab_create(host_alloc, host_free, host_open, platform::read_file,
                      write ? write : platform::write_file, platform::close_file,
                      platform::seek_file, 1, error);
}

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
