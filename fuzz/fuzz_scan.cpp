// The search for cabinets inside other files. Input: the file's bytes. Each
// cabinet found must lie within the file, after the one before it, and have
// a header the check accepts.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tools/pelmarcab/scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = memfd_create("fuzz-scan", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    uint64_t end_of_previous = 0;
    for (const pelmarcab::FoundCabinet &found : pelmarcab::find_cabinets(fd)) {
        if (found.offset < end_of_previous || uint64_t{found.offset} + found.size > size ||
            !pelmarcab::is_consistent_header(data + found.offset, found.offset, size))
            std::abort();
        end_of_previous = uint64_t{found.offset} + found.size;
    }
    close(fd);
    return 0;
}
