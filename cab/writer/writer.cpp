// Lays folders out into one cabinet or a set, then serialises each cabinet.
//
// Layout rules for sets, chosen so the extraction driver can read every file:
// - a file is listed in the cabinet where its data starts; a file whose data
//   reaches past the last complete block of a cabinet is marked as continuing
//   and listed again, first in the next cabinet's file table, as continued;
// - a folder that continues into the next cabinet becomes that cabinet's
//   folder 0 and ends with the last file that spans, so no file begins in the
//   continued part of a folder (a later call on that cabinet could not decode
//   it without the earlier part of the stream); the remaining files start a
//   new folder, compressed afresh;
// - a block that does not fit is split: its first part (uncompressed count 0)
//   ends the cabinet, its second part begins the next one.
#include "cab/writer/writer.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "cab/cab.h"
#include "cab/checksum.h"
#include "cab/format.h"
#include "cab/writer/lzx_compressor.h"
#include "cab/writer/ordered_work.h"

namespace cabwriter {

uint16_t Method::value() const {
    return cab::method_value(static_cast<unsigned>(kind), window_exponent);
}

std::unique_ptr<FolderCompressor> Method::make_compressor() const {
    switch (kind) {
        case MethodKind::Stored: return make_stored_compressor();
        case MethodKind::Mszip: return make_mszip_compressor();
        case MethodKind::Quantum: return make_quantum_compressor(window_exponent);
        case MethodKind::Lzx: {
            LzxOptions options;
            options.window_exponent = window_exponent;
            options.e8_translation = lzx_e8;
            options.best = lzx_best;
            return make_lzx_compressor(options);
        }
    }
    throw std::invalid_argument("unknown compression method");
}

namespace {

constexpr size_t kMaxFilesPerCabinet = 0xFFFF;
constexpr size_t kMaxFoldersPerCabinet = 0xFFFC;
constexpr uint64_t kMaxCabinetBytes = 0x7FFFFFFF;

struct PlacedBlock {
    std::vector<uint8_t> bytes;
    uint16_t uncompressed;  // 0 for the first part of a split block
};

struct PlacedFolder {
    uint16_t method;
    std::vector<PlacedBlock> blocks;
};

struct PlacedFile {
    const FileEntry *entry;
    uint32_t offset;
    uint16_t folder_index;  // local index, or a continuation value
    uint64_t end() const { return offset + static_cast<uint64_t>(entry->data.size()); }
};

struct PlacedCabinet {
    std::vector<PlacedFolder> folders;
    std::vector<PlacedFile> continued;  // listed first in the file table
    std::vector<PlacedFile> files;
    uint64_t used = 0;  // bytes the cabinet takes so far
};

// The folder being laid out: its files with their offsets in its stream.
struct StreamFile {
    const FileEntry *entry;
    uint32_t offset;
};

class Layout {
public:
    explicit Layout(const SetOptions &options) : options_(options) { open_cabinet(); }

    // Lays out one folder; returns the index of the first file that must move
    // to a new folder, or files.size() when all of them fit the rules.
    size_t place_folder(uint16_t method, std::vector<CompressedBlock> blocks,
                        const std::vector<StreamFile> &files);
    std::vector<PlacedCabinet> &cabinets() { return cabinets_; }

    struct Mark {
        size_t cabinets, folders, files, continued;
        uint64_t used;
    };
    Mark mark() const;
    void rollback(const Mark &m);
    // Starts the next cabinet; false when the current one is still empty.
    bool advance_cabinet();

private:
    class FolderPlacement;

    PlacedCabinet &current() { return cabinets_.back(); }
    uint16_t current_folder_index() { return static_cast<uint16_t>(current().folders.size() - 1); }
    void open_cabinet();
    void add_folder(uint16_t method);
    void add_block(std::vector<uint8_t> bytes, uint16_t uncompressed);
    void add_file(const StreamFile &f);
    void add_continued(const PlacedFile &f);
    uint64_t limit() const {
        return options_.max_cabinet_size ? options_.max_cabinet_size : kMaxCabinetBytes;
    }
    uint64_t room() const { return limit() - std::min(limit(), cabinets_.back().used); }
    uint64_t folder_entry_size() const { return cab::kFolderEntrySize + options_.folder_reserve; }
    uint64_t block_header_size() const { return cab::kBlockHeaderSize + options_.block_reserve; }
    static uint64_t file_entry_size(const FileEntry &f) {
        return cab::kFileEntrySize + f.name.size() + 1;
    }
    uint64_t fixed_overhead(size_t index) const;

    const SetOptions &options_;
    std::vector<PlacedCabinet> cabinets_;
};

bool reserve_fields_present(const SetOptions &o) {
    return o.reserve_fields || o.header_reserve || o.folder_reserve || o.block_reserve;
}

std::string cabinet_name(const SetOptions &o, unsigned index) {
    return o.cabinet_name ? o.cabinet_name(index) : "cabinet" + std::to_string(index + 1) + ".cab";
}

uint64_t Layout::fixed_overhead(size_t index) const {
    uint64_t size = cab::kHeaderSize;
    if (reserve_fields_present(options_)) size += cab::kReserveSizesSize + options_.header_reserve;
    const uint64_t disk = options_.disk_name.size() + 1;
    if (index > 0)
        size += cabinet_name(options_, static_cast<unsigned>(index - 1)).size() + 1 + disk;
    // Room for the next-cabinet names is kept whenever the set may grow.
    if (options_.max_cabinet_size)
        size += cabinet_name(options_, static_cast<unsigned>(index + 1)).size() + 1 + disk;
    return size;
}

bool Layout::advance_cabinet() {
    if (current().folders.empty() && current().files.empty() && current().continued.empty())
        return false;
    open_cabinet();
    return true;
}

void Layout::open_cabinet() {
    cabinets_.emplace_back();
    current().used = fixed_overhead(cabinets_.size() - 1);
    if (current().used >= limit())
        throw std::invalid_argument("cabinet size limit is smaller than a cabinet header");
}

Layout::Mark Layout::mark() const {
    const PlacedCabinet &c = cabinets_.back();
    return {cabinets_.size(), c.folders.size(), c.files.size(), c.continued.size(), c.used};
}

void Layout::rollback(const Mark &m) {
    cabinets_.resize(m.cabinets);
    PlacedCabinet &c = current();
    c.folders.resize(m.folders);
    c.files.resize(m.files);
    c.continued.resize(m.continued);
    c.used = m.used;
}

// Lays out one folder: its blocks in order, each file listed in the cabinet
// where its data starts, a block split where a cabinet fills up, and the
// folder continued as folder 0 of the next cabinet.
class Layout::FolderPlacement {
public:
    FolderPlacement(Layout &layout, uint16_t method, const std::vector<StreamFile> &files)
        : layout_(layout), method_(method), files_(files) {}

    size_t place(std::vector<CompressedBlock> blocks) {
        start();
        for (CompressedBlock &block : blocks) {
            if (!place_block(block)) return listed_;
        }
        list_files_before(UINT64_MAX);
        return files_.size();
    }

private:
    // Starts the folder, in a fresh cabinet when this one cannot take its
    // entry, the first file entry and one byte of the first block.
    void start() {
        const uint64_t need = layout_.folder_entry_size() + layout_.block_header_size() + 1 +
                              (files_.empty() ? 0 : file_entry_size(*files_[0].entry));
        const PlacedCabinet &c = layout_.current();
        if (layout_.options_.max_cabinet_size && layout_.room() < need &&
            !(c.folders.empty() && c.files.empty()))
            layout_.open_cabinet();
        layout_.add_folder(method_);
    }

    // Places a block whole, or splits it across this cabinet and the next;
    // false when the folder must end before it instead.
    bool place_block(CompressedBlock &block) {
        const uint64_t block_end = placed_ + block.uncompressed_size;
        const uint64_t fixed = layout_.block_header_size() + entry_bytes_before(block_end);
        if (fixed + block.bytes.size() <= layout_.room()) {
            list_files_before(block_end);
            layout_.add_block(std::move(block.bytes), block.uncompressed_size);
            placed_ = block_end;
            return true;
        }
        if (layout_.room() > fixed && block.bytes.size() >= 2)
            place_first_part(block, fixed, block_end);
        if (!continue_in_next_cabinet()) return false;
        if (layout_.block_header_size() + block.bytes.size() > layout_.room())
            throw std::invalid_argument("cabinet size limit is too small for one data block");
        layout_.add_block(std::move(block.bytes), block.uncompressed_size);
        placed_ = block_end;
        return true;
    }

    // Fills the rest of this cabinet with the block's first part
    // (uncompressed count 0) and leaves the second part in `block`.
    void place_first_part(CompressedBlock &block, uint64_t fixed, uint64_t block_end) {
        const auto first = static_cast<std::ptrdiff_t>(
            std::min<uint64_t>(layout_.room() - fixed, block.bytes.size() - 1));
        list_files_before(block_end);
        layout_.add_block({block.bytes.begin(), block.bytes.begin() + first}, 0);
        block.bytes.erase(block.bytes.begin(), block.bytes.begin() + first);
    }

    // Closes the current cabinet in the middle of this folder and opens the
    // next, carrying the spanning files over as continuation entries.
    bool continue_in_next_cabinet() {
        if (listed_ < files_.size()) return false;  // a file would start in the continued part
        const std::vector<PlacedFile> carried = mark_spanning_files();
        layout_.open_cabinet();
        layout_.add_folder(method_);
        for (PlacedFile f : carried) {
            f.folder_index = CAB_FOLDER_CONTINUED_FROM_PREV;
            layout_.add_continued(f);
        }
        spanned_ = true;
        return true;
    }

    // Marks this folder's files in the current cabinet whose data reaches
    // past the blocks placed whole as continuing, and returns them.
    std::vector<PlacedFile> mark_spanning_files() {
        std::vector<PlacedFile> spanning;
        PlacedCabinet &c = layout_.current();
        // Entries continued from an earlier cabinet belong to this folder
        // only when the folder itself came from there.
        for (PlacedFile &f : c.continued) {
            if (spanned_ && f.end() > placed_) {
                f.folder_index = CAB_FOLDER_CONTINUED_PREV_AND_NEXT;
                spanning.push_back(f);
            }
        }
        const uint16_t local = layout_.current_folder_index();
        for (PlacedFile &f : c.files) {
            if (f.folder_index == local && f.end() > placed_) {
                f.folder_index = CAB_FOLDER_CONTINUED_TO_NEXT;
                spanning.push_back(f);
            }
        }
        return spanning;
    }

    // End of the files from listed_ on that start before `end` (an empty
    // file also when it starts exactly there).
    size_t files_starting_before(uint64_t end) const {
        size_t i = listed_;
        while (i < files_.size() && (files_[i].offset < end || files_[i].entry->data.empty()) &&
               files_[i].offset <= end)
            ++i;
        return i;
    }

    uint64_t entry_bytes_before(uint64_t end) const {
        uint64_t bytes = 0;
        for (size_t i = listed_, last = files_starting_before(end); i < last; ++i)
            bytes += file_entry_size(*files_[i].entry);
        return bytes;
    }

    // Lists every file that starts before `end` in the current cabinet.
    void list_files_before(uint64_t end) {
        for (const size_t last = files_starting_before(end); listed_ < last; ++listed_)
            layout_.add_file(files_[listed_]);
    }

    Layout &layout_;
    const uint16_t method_;
    const std::vector<StreamFile> &files_;
    bool spanned_ = false;  // the folder continues from an earlier cabinet
    size_t listed_ = 0;     // files listed so far
    uint64_t placed_ = 0;   // stream bytes of the blocks placed whole so far
};

size_t Layout::place_folder(uint16_t method, std::vector<CompressedBlock> blocks,
                            const std::vector<StreamFile> &files) {
    return FolderPlacement(*this, method, files).place(std::move(blocks));
}

void Layout::add_folder(uint16_t method) {
    current().folders.push_back({method, {}});
    current().used += folder_entry_size();
}

void Layout::add_block(std::vector<uint8_t> bytes, uint16_t uncompressed) {
    current().used += block_header_size() + bytes.size();
    current().folders.back().blocks.push_back({std::move(bytes), uncompressed});
}

void Layout::add_file(const StreamFile &f) {
    current().files.push_back({f.entry, f.offset, current_folder_index()});
    current().used += file_entry_size(*f.entry);
}

void Layout::add_continued(const PlacedFile &f) {
    current().continued.push_back(f);
    current().used += file_entry_size(*f.entry);
}

// --- serialising ------------------------------------------------------------------

void put_u16(std::vector<uint8_t> &out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put_u32(std::vector<uint8_t> &out, uint32_t v) {
    put_u16(out, static_cast<uint16_t>(v));
    put_u16(out, static_cast<uint16_t>(v >> 16));
}

void patch_u32(std::vector<uint8_t> &out, size_t at, uint32_t v) {
    cab::store_u32(out.data() + at, v);
}

void put_text(std::vector<uint8_t> &out, const std::string &text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// Reserve areas carry a recognisable pattern so tests can check what the
// engine hands to its hook.
void put_reserve(std::vector<uint8_t> &out, size_t size, uint8_t seed) {
    for (size_t i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(seed + i));
}

void put_file_entry(std::vector<uint8_t> &out, const PlacedFile &f) {
    put_u32(out, static_cast<uint32_t>(f.entry->data.size()));
    put_u32(out, f.offset);
    put_u16(out, f.folder_index);
    put_u16(out, f.entry->date);
    put_u16(out, f.entry->time);
    put_u16(out, f.entry->attributes);
    put_text(out, f.entry->name);
}

void put_block(std::vector<uint8_t> &out, const PlacedBlock &b, const SetOptions &o) {
    std::vector<uint8_t> header;
    put_u32(header, 0);
    put_u16(header, static_cast<uint16_t>(b.bytes.size()));
    put_u16(header, b.uncompressed);
    put_reserve(header, o.block_reserve, 0xB0);
    if (o.checksums) {
        const uint32_t sum =
            cab::cabinet_checksum(header.data() + 4, header.size() - 4,
                                  cab::cabinet_checksum(b.bytes.data(), b.bytes.size(), 0));
        patch_u32(header, 0, sum);
    }
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), b.bytes.begin(), b.bytes.end());
}

Cabinet serialise(const PlacedCabinet &c, unsigned index, unsigned count, const SetOptions &o) {
    const bool has_prev = index > 0, has_next = index + 1 < count;
    const bool reserve = reserve_fields_present(o);
    const size_t file_count = c.continued.size() + c.files.size();
    if (file_count > kMaxFilesPerCabinet || c.folders.size() > kMaxFoldersPerCabinet)
        throw std::invalid_argument("too many files or folders for one cabinet");

    std::vector<uint8_t> out;
    out.insert(out.end(), cab::kSignature, cab::kSignature + 4);
    put_u32(out, 0);
    put_u32(out, 0);  // cabinet size, patched below
    put_u32(out, 0);
    put_u32(out, 0);  // first file entry, patched below
    put_u32(out, 0);
    put_u16(out, cab::kVersion);
    put_u16(out, static_cast<uint16_t>(c.folders.size()));
    put_u16(out, static_cast<uint16_t>(file_count));
    put_u16(out, static_cast<uint16_t>((has_prev ? cab::kFlagPrevious : 0) |
                                       (has_next ? cab::kFlagNext : 0) |
                                       (reserve ? cab::kFlagReserve : 0)));
    put_u16(out, o.set_id);
    put_u16(out, static_cast<uint16_t>(index));
    if (reserve) {
        put_u16(out, o.header_reserve);
        out.push_back(o.folder_reserve);
        out.push_back(o.block_reserve);
        put_reserve(out, o.header_reserve, 0x10);
    }
    if (has_prev) {
        put_text(out, cabinet_name(o, index - 1));
        put_text(out, o.disk_name);
    }
    if (has_next) {
        put_text(out, cabinet_name(o, index + 1));
        put_text(out, o.disk_name);
    }

    const size_t folder_table = out.size();
    for (const PlacedFolder &f : c.folders) {
        put_u32(out, 0);  // first block, patched below
        put_u16(out, static_cast<uint16_t>(f.blocks.size()));
        put_u16(out, f.method);
        put_reserve(out, o.folder_reserve, 0x40);
    }
    patch_u32(out, cab::kHeaderFilesOffset, static_cast<uint32_t>(out.size()));
    for (const PlacedFile &f : c.continued) put_file_entry(out, f);
    for (const PlacedFile &f : c.files) put_file_entry(out, f);

    const size_t folder_entry_size = cab::kFolderEntrySize + o.folder_reserve;
    for (size_t i = 0; i < c.folders.size(); ++i) {
        patch_u32(out, folder_table + i * folder_entry_size, static_cast<uint32_t>(out.size()));
        for (const PlacedBlock &b : c.folders[i].blocks) put_block(out, b, o);
    }
    if (out.size() > kMaxCabinetBytes) throw std::invalid_argument("cabinet larger than 2 GiB");
    patch_u32(out, cab::kHeaderCabinetSize, static_cast<uint32_t>(out.size()));
    return {cabinet_name(o, index), std::move(out)};
}

void check_names(const Folder &folder) {
    for (const FileEntry &f : folder.files) {
        if (f.name.empty() || f.name.size() > cab::kMaxNameLength ||
            f.name.find('\0') != std::string::npos)
            throw std::invalid_argument("file name must have 1 to 255 bytes and no NUL: " + f.name);
        if (f.data.size() > 0x7FFFFFFF) throw std::invalid_argument("file too large: " + f.name);
    }
}

// The folder's files from `first` to `last`, with their offsets in a stream
// that starts at `first`; with `stream`, also that stream's bytes.
std::vector<StreamFile> stream_files(const Folder &folder, size_t first, size_t last,
                                     std::vector<uint8_t> *stream) {
    std::vector<StreamFile> files;
    uint64_t offset = 0;
    for (size_t i = first; i < last; ++i) {
        const FileEntry &f = folder.files[i];
        if (offset + f.data.size() > 0xFFFFFFFFu)
            throw std::invalid_argument("folder larger than 4 GiB");
        files.push_back({&f, static_cast<uint32_t>(offset)});
        offset += f.data.size();
    }
    if (stream) {
        stream->clear();
        stream->reserve(offset);
        for (size_t i = first; i < last; ++i)
            stream->insert(stream->end(), folder.files[i].data.begin(), folder.files[i].data.end());
    }
    return files;
}

std::vector<CompressedBlock> compress_files(const Folder &folder, size_t first, size_t last) {
    std::vector<uint8_t> stream;
    stream_files(folder, first, last, &stream);
    auto compressor = folder.compressor ? folder.compressor : folder.method.make_compressor();
    return compressor->compress(stream);
}

uint64_t folder_bytes(const Folder &folder) {
    uint64_t bytes = 0;
    for (const FileEntry &f : folder.files) bytes += f.data.size();
    return bytes;
}

// A whole folder compressed ahead by a worker thread, or nothing.
using AheadBlocks = std::optional<std::vector<CompressedBlock>>;

// Lays out a folder's files from `first` on as one cabinet folder, truncating
// it (and compressing again) until no file begins in a continued part.
// `ahead` holds the blocks of files `first` to the folder's end when given.
size_t place_files(Layout &layout, const Folder &folder, size_t first, AheadBlocks ahead) {
    size_t last = folder.files.size();
    for (;;) {
        const auto files = stream_files(folder, first, last, nullptr);
        auto blocks = ahead ? std::move(*ahead) : compress_files(folder, first, last);
        ahead.reset();
        const auto mark = layout.mark();
        const size_t fitted = layout.place_folder(folder.method.value(), std::move(blocks), files);
        if (fitted == files.size()) return last;
        layout.rollback(mark);
        if (fitted > 0) {
            last = first + fitted;
        } else if (!layout.advance_cabinet()) {
            throw std::invalid_argument("cabinet size limit is too small for the first file");
        }
    }
}

}  // namespace

std::vector<Cabinet> write_cabinet_set(const std::vector<Folder> &folders,
                                       const SetOptions &options) {
    // Worker threads compress whole folders ahead of the layout, which only
    // compresses again a folder that a set forces to end early. A folder with
    // a compressor object of its own (which folders may share) is compressed
    // here, so no object is used by two threads.
    std::optional<OrderedWork<AheadBlocks>> ahead;
    if (options.jobs > 1)
        ahead.emplace(folders.size(), options.jobs, [&folders](size_t i) -> AheadBlocks {
            const Folder &folder = folders[i];
            if (folder.compressor) return std::nullopt;
            return compress_files(folder, 0, folder.files.size());
        });
    Layout layout(options);
    for (size_t i = 0; i < folders.size(); ++i) {
        const Folder &folder = folders[i];
        check_names(folder);
        for (size_t first = 0; first < folder.files.size();)
            first = place_files(layout, folder, first,
                                first == 0 && ahead ? ahead->take(i) : std::nullopt);
        if (options.folder_done) options.folder_done(folder_bytes(folder));
    }
    auto &cabinets = layout.cabinets();
    std::vector<Cabinet> out;
    for (size_t i = 0; i < cabinets.size(); ++i)
        out.push_back(serialise(cabinets[i], static_cast<unsigned>(i),
                                static_cast<unsigned>(cabinets.size()), options));
    return out;
}

}  // namespace cabwriter
