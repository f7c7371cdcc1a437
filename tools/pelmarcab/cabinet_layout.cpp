#include "tools/pelmarcab/cabinet_layout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cab/bytes.h"
#include "cab/format.h"
#include "tools/pelmarcab/read_messages.h"

namespace pelmarcab {
namespace {

// Reads ranges of one file; every range is checked against the file's size.
class RangeReader {
public:
    explicit RangeReader(const std::string &path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0) size_ = static_cast<uint64_t>(st.st_size);
    }
    ~RangeReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    RangeReader(const RangeReader &) = delete;
    RangeReader &operator=(const RangeReader &) = delete;

    bool is_open() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }
    bool read(uint64_t offset, void *out, size_t count) const {
        if (offset > size_ || count > size_ - offset) return false;
        return ::pread(fd_, out, count, static_cast<off_t>(offset)) == static_cast<ssize_t>(count);
    }
    // A NUL-terminated name of at most 255 bytes at `offset`; moves `offset`
    // past its terminator.
    bool read_name(uint64_t &offset, std::string &name) const {
        char buffer[cab::kMaxNameLength + 1];
        const size_t count = static_cast<size_t>(
            std::min<uint64_t>(sizeof buffer, offset <= size_ ? size_ - offset : 0));
        if (count == 0 || !read(offset, buffer, count)) return false;
        const void *end = std::memchr(buffer, '\0', count);
        if (end == nullptr) return false;
        name.assign(buffer, static_cast<size_t>(static_cast<const char *>(end) - buffer));
        offset += name.size() + 1;
        return true;
    }

private:
    int fd_;
    uint64_t size_ = 0;
};

bool read_header(const RangeReader &file, LayoutHeader &h, uint64_t &folders_at,
                 std::string &error) {
    uint8_t raw[cab::kHeaderSize];
    if (!file.read(0, raw, sizeof raw) || std::memcmp(raw, cab::kSignature, 4) != 0) {
        error = signature_failure();
        return false;
    }
    h.cabinet_size = cab::load_u32(raw + cab::kHeaderCabinetSize);
    h.files_offset = cab::load_u32(raw + cab::kHeaderFilesOffset);
    h.version = cab::load_u16(raw + cab::kHeaderVersion);
    if (h.version != cab::kVersion) {
        error = version_failure(h.version);
        return false;
    }
    h.folder_count = cab::load_u16(raw + cab::kHeaderFolderCount);
    h.file_count = cab::load_u16(raw + cab::kHeaderFileCount);
    h.flags = cab::load_u16(raw + cab::kHeaderFlags);
    h.set_id = cab::load_u16(raw + cab::kHeaderSetId);
    h.cabinet_index = cab::load_u16(raw + cab::kHeaderCabinetIndex);
    uint64_t at = cab::kHeaderSize;
    bool ok = true;
    if (h.flags & cab::kFlagReserve) {
        uint8_t sizes[cab::kReserveSizesSize];
        ok = file.read(at, sizes, sizeof sizes);
        h.header_reserve = cab::load_u16(sizes);
        h.folder_reserve = sizes[2];
        h.block_reserve = sizes[3];
        at += sizeof sizes + h.header_reserve;
    }
    if (ok && (h.flags & cab::kFlagPrevious))
        ok = file.read_name(at, h.previous_cabinet) && file.read_name(at, h.previous_disk);
    if (ok && (h.flags & cab::kFlagNext))
        ok = file.read_name(at, h.next_cabinet) && file.read_name(at, h.next_disk);
    if (!ok || at > file.size()) {
        error = "CAB_ERR_SIGNATURE: the header's optional fields run past the end of the file";
        return false;
    }
    folders_at = at;
    return true;
}

// Adds up the folder's block headers. A block budget shared by all folders
// (a block takes at least a header's bytes) keeps folders that point at the
// same bytes from making the walk quadratic.
void sum_blocks(const RangeReader &file, unsigned block_reserve, LayoutFolder &folder,
                uint64_t &budget) {
    const size_t header_size = cab::kBlockHeaderSize + block_reserve;
    uint64_t at = folder.first_block;
    uint8_t header[cab::kBlockHeaderSize];
    for (unsigned i = 0; i < folder.block_count && budget > 0; ++i, --budget) {
        if (!file.read(at, header, sizeof header)) return;
        const uint16_t compressed = cab::load_u16(header + cab::kBlockCompressedSize);
        if (!cab::fits(static_cast<size_t>(at), header_size + compressed, file.size())) return;
        ++folder.blocks_found;
        folder.compressed += compressed;
        folder.uncompressed += cab::load_u16(header + cab::kBlockUncompressedSize);
        at += header_size + compressed;
    }
}

bool read_folders(const RangeReader &file, uint64_t at, CabinetLayout &layout, std::string &error) {
    const unsigned count = layout.header.folder_count;
    const size_t entry_size = cab::kFolderEntrySize + layout.header.folder_reserve;
    uint64_t budget = file.size() / cab::kBlockHeaderSize;
    uint8_t entry[cab::kFolderEntrySize];
    for (unsigned i = 0; i < count; ++i, at += entry_size) {
        if (!file.read(at, entry, sizeof entry)) {
            error = "CAB_ERR_CORRUPT: folder " + std::to_string(i) +
                    " of the folder table lies past the end of the file";
            return false;
        }
        LayoutFolder folder;
        folder.first_block = cab::load_u32(entry + cab::kFolderFirstBlock);
        folder.block_count = cab::load_u16(entry + cab::kFolderBlockCount);
        folder.method = cab::load_u16(entry + cab::kFolderMethod);
        sum_blocks(file, layout.header.block_reserve, folder, budget);
        layout.folders.push_back(folder);
    }
    return true;
}

bool read_files(const RangeReader &file, CabinetLayout &layout, std::string &error) {
    const unsigned count = layout.header.file_count;
    uint64_t at = layout.header.files_offset;
    uint8_t entry[cab::kFileEntrySize];
    for (unsigned i = 0; i < count; ++i) {
        LayoutFile f;
        const bool ok = file.read(at, entry, sizeof entry);
        at += sizeof entry;
        if (!ok || !file.read_name(at, f.name)) {
            error = "CAB_ERR_CORRUPT: file entry " + std::to_string(i) +
                    " is cut off by the end of the file or its name is not terminated";
            return false;
        }
        f.size = cab::load_u32(entry + cab::kFileSize);
        f.folder_offset = cab::load_u32(entry + cab::kFileFolderOffset);
        f.folder_index = cab::load_u16(entry + cab::kFileFolderIndex);
        f.date = cab::load_u16(entry + cab::kFileDate);
        f.time = cab::load_u16(entry + cab::kFileTime);
        f.attributes = cab::load_u16(entry + cab::kFileAttributes);
        layout.files.push_back(std::move(f));
    }
    return true;
}

}  // namespace

bool read_layout(const std::string &path, CabinetLayout &layout, std::string &error) {
    const RangeReader file(path);
    if (!file.is_open()) {
        error = std::string("CAB_ERR_OPEN: ") + std::strerror(errno);
        return false;
    }
    layout = CabinetLayout{};
    layout.file_size = file.size();
    uint64_t folders_at = 0;
    return read_header(file, layout.header, folders_at, error) &&
           read_folders(file, folders_at, layout, error) && read_files(file, layout, error);
}

}  // namespace pelmarcab
