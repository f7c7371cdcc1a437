#include "tools/pelmarcab/scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cab/format.h"

namespace pelmarcab {
namespace {

constexpr size_t kScanBuffer = 1u << 16;
constexpr uint16_t kKnownFlags = cab::kFlagPrevious | cab::kFlagNext | cab::kFlagReserve;
constexpr uint64_t kEngineReach = INT32_MAX;  // the engine seeks with 32-bit offsets
// The smallest file entry: 16 bytes and a name of one character with its NUL.
constexpr uint64_t kSmallestFileEntry = cab::kFileEntrySize + 2;

// Reads until `count` bytes are in or the file ends; the bytes read.
size_t read_fully(int fd, uint8_t *buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd, buffer + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace

bool is_consistent_header(const uint8_t *header, uint64_t offset, uint64_t file_size) {
    using namespace cab;
    if (std::memcmp(header, kSignature, sizeof kSignature) != 0) return false;
    if (load_u16(header + kHeaderVersion) != kVersion) return false;
    const uint16_t flags = load_u16(header + kHeaderFlags);
    const uint64_t size = load_u32(header + kHeaderCabinetSize);
    const uint64_t files_at = load_u32(header + kHeaderFilesOffset);
    const uint64_t folders = load_u16(header + kHeaderFolderCount);
    const uint64_t files = load_u16(header + kHeaderFileCount);
    if ((flags & ~kKnownFlags) != 0 || folders == 0 || files == 0) return false;
    if (offset > file_size || size > file_size - offset || offset + size > kEngineReach)
        return false;
    const uint64_t reserve_sizes = (flags & kFlagReserve) ? kReserveSizesSize : 0;
    const uint64_t folder_table_end = kHeaderSize + reserve_sizes + folders * kFolderEntrySize;
    return files_at >= folder_table_end && files_at <= size &&
           files * kSmallestFileEntry <= size - files_at;
}

std::vector<FoundCabinet> find_cabinets(int fd) {
    std::vector<FoundCabinet> found;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return found;
    const auto file_size = static_cast<uint64_t>(info.st_size);
    std::vector<uint8_t> buffer(kScanBuffer);
    uint64_t buffer_at = 0;  // file offset of buffer[0]
    size_t held = 0;
    uint64_t searched_from = 0;  // bytes before it lie in a cabinet already found
    for (;;) {
        held += read_fully(fd, buffer.data() + held, buffer.size() - held);
        const bool at_end = held < buffer.size();
        // A header is judged only when all of its 36 bytes are held.
        size_t pos = searched_from > buffer_at ? static_cast<size_t>(searched_from - buffer_at) : 0;
        for (; pos + cab::kHeaderSize <= held; ++pos) {
            const void *m =
                std::memchr(buffer.data() + pos, 'M', held - cab::kHeaderSize + 1 - pos);
            if (m == nullptr) break;
            pos = static_cast<size_t>(static_cast<const uint8_t *>(m) - buffer.data());
            const uint64_t offset = buffer_at + pos;
            if (!is_consistent_header(buffer.data() + pos, offset, file_size)) continue;
            const uint32_t size = cab::load_u32(buffer.data() + pos + cab::kHeaderCabinetSize);
            found.push_back({static_cast<uint32_t>(offset), size});
            searched_from = offset + size;
            if (searched_from - buffer_at >= held) break;
            pos = static_cast<size_t>(searched_from - buffer_at) - 1;
        }
        if (at_end || searched_from >= file_size) return found;
        // Keep the tail that might begin a header, then read on.
        const size_t keep = held < cab::kHeaderSize - 1 ? held : cab::kHeaderSize - 1;
        const uint64_t next_at = buffer_at + held - keep;
        if (searched_from > next_at + keep) {
            if (::lseek(fd, static_cast<off_t>(searched_from), SEEK_SET) < 0) return found;
            buffer_at = searched_from;
            held = 0;
            continue;
        }
        std::memmove(buffer.data(), buffer.data() + held - keep, keep);
        buffer_at = next_at;
        held = keep;
    }
}

}  // namespace pelmarcab
