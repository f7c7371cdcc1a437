// The extraction driver: opens cabinets through the host's callbacks, walks
// their file tables, reads data blocks (verifying checksums, joining blocks
// split across two cabinets), hands them to the folder's decoder and writes
// each file's bytes to the handle the host supplies.
//
// Every size and offset read from a cabinet is checked before use; stream
// positions are computed in 64 bits and refused when the host's 32-bit seek
// cannot reach them.
#include <algorithm>
#include <cstring>
#include <new>

#include "cab/cab.h"
#include "cab/checksum.h"
#include "cab/decoder.h"
#include "cab/fault.h"
#include "cab/format.h"

using namespace cab;

namespace {

constexpr uint16_t kNoFolder = 0xFFFF;
constexpr uint16_t kNoMethod = 15;
constexpr uint16_t kNoReserveYet = 0xFFFF;
constexpr size_t kNameBufferSize = 257;  // 255 characters, NUL, and room for a host rewrite
constexpr size_t kPathBufferSize = 257;  // cabinet path: 256 characters and NUL
constexpr size_t kFullPathChars = 257;   // path plus name
constexpr int32_t kSeekSet = 0;
constexpr int32_t kSeekCurrent = 1;
constexpr int32_t kMaxSeek = 0x7FFFFFFF;

struct FileEntry {
    uint32_t size;
    uint32_t folder_offset;
    uint16_t folder_index;
    uint16_t date;
    uint16_t time;
    uint16_t attributes;
};

struct Header {
    uint32_t files_offset;
    uint16_t folder_count;
    uint16_t file_count;
    uint16_t flags;
    uint16_t set_id;
    uint16_t cabinet_index;
};

bool continues_from_previous(uint16_t folder_index) {
    return folder_index == CAB_FOLDER_CONTINUED_FROM_PREV ||
           folder_index == CAB_FOLDER_CONTINUED_PREV_AND_NEXT;
}

bool continues_into_next(uint16_t folder_index) {
    return folder_index == CAB_FOLDER_CONTINUED_TO_NEXT ||
           folder_index == CAB_FOLDER_CONTINUED_PREV_AND_NEXT;
}

}  // namespace

struct CabContext {
    CabError *error;
    HostCallbacks host;
    int32_t processor_type;
    CabNotifyFn notify;
    CabHookFn hook;
    void *user;

    int32_t table_handle;  // header, names and file entries
    int32_t data_handle;   // folder entries and data blocks
    int32_t output_handle;

    Header header;
    uint32_t folder_table_position;
    FileEntry file;
    char file_name[kNameBufferSize];
    char previous_cabinet[kNameBufferSize];
    char previous_disk[kNameBufferSize];
    char next_cabinet[kNameBufferSize];
    char next_disk[kNameBufferSize];
    char path[kPathBufferSize];
    char full_path[kFullPathChars + 1];

    // Fixed by the first cabinet the context opens.
    bool header_reserve_known;
    uint16_t header_reserve_size;
    uint32_t folder_entry_size;  // 0 until the first cabinet
    uint32_t data_header_size;
    uint8_t *header_reserve;
    uint8_t *folder_entry;
    uint8_t *data_header;

    uint16_t current_folder;
    uint16_t blocks_remaining;
    uint64_t block_start;  // folder offset of the current block's first byte
    uint32_t block_size;   // bytes the current block yielded
    uint16_t entries_remaining;
    uint16_t pending_continuations;
    bool spanned;

    uint16_t method;
    const DecoderOps *decoder_ops;
    void *decoder;
    const char *decode_fault;  // where the last CAB_ERR_DECODE was found
    uint8_t *compressed;
    uint32_t compressed_capacity;
    uint8_t *uncompressed;

    CabNotification note;
    CabHookRecord hook_record;
};

namespace {

// --- errors and host calls --------------------------------------------------

bool fail(CabContext *cx, int32_t code, int32_t detail = 0) {
    cx->error->code = code;
    cx->error->detail = detail;
    cx->error->failed = 1;
    return false;
}

// Records CAB_ERR_DECODE with the check that found it, "file:line: condition".
bool fail_decode(CabContext *cx, const char *where) {
    cx->decode_fault = where;
    return fail(cx, CAB_ERR_DECODE);
}

// Fails with CAB_ERR_DECODE when `condition` holds; `cx` is the context.
#define DECODE_FAIL_IF(condition)                              \
    do {                                                       \
        if (condition) [[unlikely]]                            \
            return fail_decode(cx, CAB_FAULT_TEXT(condition)); \
    } while (0)

bool read_exact(CabContext *cx, int32_t handle, void *buffer, uint32_t count) {
    return cx->host.read(handle, buffer, count) == static_cast<int32_t>(count);
}

bool seek_to(CabContext *cx, int32_t handle, uint64_t position) {
    if (position > static_cast<uint64_t>(kMaxSeek)) return false;
    const int32_t target = static_cast<int32_t>(position);
    return cx->host.seek(handle, target, kSeekSet) == target;
}

// The handle's position, or -1.
int64_t tell(CabContext *cx, int32_t handle) {
    const int32_t at = cx->host.seek(handle, 0, kSeekCurrent);
    return at < 0 ? -1 : at;
}

void *alloc_zeroed(CabContext *cx, uint32_t size) {
    void *block = cx->host.alloc(size);
    if (block) std::memset(block, 0, size);
    return block;
}

void release(CabContext *cx, uint8_t *&block) {
    if (block) cx->host.free(block);
    block = nullptr;
}

bool notify(CabContext *cx, int32_t kind, int32_t *answer = nullptr) {
    cx->note.user = cx->user;
    const int32_t result = cx->notify(kind, &cx->note);
    if (answer) *answer = result;
    return result == -1 ? fail(cx, CAB_ERR_ABORT) : true;
}

bool call_hook(CabContext *cx, int32_t kind) {
    if (!cx->hook) return true;
    cx->hook_record.kind = kind;
    cx->hook_record.user = cx->user;
    return cx->hook(&cx->hook_record) == -1 ? fail(cx, CAB_ERR_ABORT) : true;
}

// Closes both cabinet handles; false when a close reported failure.
bool close_cabinet_handles(CabContext *cx) {
    bool ok = true;
    for (int32_t *handle : {&cx->table_handle, &cx->data_handle}) {
        if (*handle != -1 && cx->host.close(*handle) != 0) ok = false;
        *handle = -1;
    }
    return ok;
}

void close_output(CabContext *cx) {
    if (cx->output_handle != -1) cx->host.close(cx->output_handle);
    cx->output_handle = -1;
}

// Copies a host-supplied text into a fixed buffer; false when it does not fit.
bool copy_text(char *buffer, size_t buffer_size, const char *text) {
    const size_t length = strnlen(text, buffer_size);
    if (length >= buffer_size) return false;
    std::memcpy(buffer, text, length + 1);
    return true;
}

// --- decoders and data buffers ------------------------------------------------

void unload_decoder(CabContext *cx, bool *destroyed_cleanly = nullptr) {
    bool ok = true;
    if (cx->decoder) ok = cx->decoder_ops->destroy(cx->decoder) == kDecodeOk;
    if (destroyed_cleanly) *destroyed_cleanly = ok;
    cx->decoder = nullptr;
    cx->decoder_ops = nullptr;
    if (cx->uncompressed == cx->compressed) cx->uncompressed = nullptr;
    release(cx, cx->compressed);
    release(cx, cx->uncompressed);
    cx->compressed_capacity = 0;
    cx->method = kNoMethod;
}

bool load_decoder(CabContext *cx, uint16_t method_value) {
    const unsigned kind = method_kind(method_value);
    if (!is_known_method(kind)) return fail(cx, CAB_ERR_METHOD);
    const DecoderOps *ops = decoder_for_method(kind);
    const unsigned exponent = window_exponent(method_value);

    uint32_t capacity = kMaxBlockSize;
    const int queried = ops ? ops->size_query(kMaxBlockSize, exponent, &capacity) : kDecodeOk;
    DECODE_FAIL_IF(queried == kDecodeBadWindow);
    DECODE_FAIL_IF(queried != kDecodeOk);
    DECODE_FAIL_IF(capacity < kMaxBlockSize || capacity > 0x10000);

    // Zero-filled, so no decoder ever reads uninitialised bytes, and with
    // slack behind the capacity for decoders that read a little ahead.
    // Stored blocks are their own output: one buffer serves as both.
    cx->compressed = static_cast<uint8_t *>(alloc_zeroed(cx, capacity + kInputSlack));
    if (cx->compressed)
        cx->uncompressed =
            ops ? static_cast<uint8_t *>(alloc_zeroed(cx, kMaxBlockSize)) : cx->compressed;
    if (!cx->uncompressed) {
        unload_decoder(cx);
        return fail(cx, CAB_ERR_MEMORY);
    }
    cx->compressed_capacity = capacity;
    if (ops) {
        const int created =
            ops->create(kMaxBlockSize, exponent, cx->host, cx->processor_type, &cx->decoder);
        if (created != kDecodeOk) {
            cx->decoder = nullptr;
            unload_decoder(cx);
            if (created == kDecodeNoMemory) return fail(cx, CAB_ERR_MEMORY);
            return fail_decode(cx, CAB_FAULT_TEXT(created != kDecodeOk));
        }
    }
    cx->decoder_ops = ops;
    cx->method = method_value;
    return true;
}

// Keeps the decoder (and its state) when the method value is unchanged, which
// lets a folder's stream continue across cabinets.
bool switch_decoder(CabContext *cx, uint16_t method_value) {
    if (method_value == cx->method) return true;
    bool destroyed_cleanly = true;
    unload_decoder(cx, &destroyed_cleanly);
    DECODE_FAIL_IF(!destroyed_cleanly);
    return load_decoder(cx, method_value);
}

// --- reading the file table ---------------------------------------------------

// Reads a NUL-terminated name of at most 255 characters at the table handle.
bool read_name(CabContext *cx, char *buffer) {
    const int64_t start = tell(cx, cx->table_handle);
    if (start < 0) return fail(cx, CAB_ERR_CORRUPT);
    const int32_t got = cx->host.read(cx->table_handle, buffer, kMaxNameLength + 1);
    if (got <= 0 || got > static_cast<int32_t>(kMaxNameLength + 1))
        return fail(cx, CAB_ERR_CORRUPT);
    const void *nul = std::memchr(buffer, 0, static_cast<size_t>(got));
    if (!nul) return fail(cx, CAB_ERR_CORRUPT);
    const size_t length = static_cast<const char *>(nul) - buffer;
    if (!seek_to(cx, cx->table_handle, static_cast<uint64_t>(start) + length + 1))
        return fail(cx, CAB_ERR_CORRUPT);
    return true;
}

bool read_file_entry(CabContext *cx) {
    uint8_t raw[kFileEntrySize];
    if (!read_exact(cx, cx->table_handle, raw, sizeof raw)) return fail(cx, CAB_ERR_CORRUPT);
    FileEntry &f = cx->file;
    f.size = load_u32(raw + kFileSize);
    f.folder_offset = load_u32(raw + kFileFolderOffset);
    f.folder_index = load_u16(raw + kFileFolderIndex);
    f.date = load_u16(raw + kFileDate);
    f.time = load_u16(raw + kFileTime);
    f.attributes = load_u16(raw + kFileAttributes);
    // A folder index must name a folder of this cabinet, or mark a
    // continuation of the last one; anything else would read a folder entry
    // from outside the folder table.
    const bool continuation = f.folder_index >= CAB_FOLDER_CONTINUED_FROM_PREV;
    if (continuation ? cx->header.folder_count == 0 : f.folder_index >= cx->header.folder_count)
        return fail(cx, CAB_ERR_CORRUPT);
    return read_name(cx, cx->file_name);
}

void fill_file_note(CabContext *cx) {
    CabNotification &n = cx->note;
    n.size = cx->file.size;
    n.name = cx->file_name;
    n.text2 = cx->previous_cabinet;
    n.text3 = cx->previous_disk;
    n.date = cx->file.date;
    n.time = cx->file.time;
    n.attributes = cx->file.attributes;
    n.folder_index = cx->file.folder_index;
}

// Tells the host where the file table stands; it may rewrite the count of
// entries still to walk and the position to read them from.
bool send_file_list(CabContext *cx) {
    const int64_t position = tell(cx, cx->table_handle);
    if (position < 0) return fail(cx, CAB_ERR_CORRUPT);
    cx->note.size = static_cast<uint32_t>(position);
    cx->note.folder_index = cx->entries_remaining;
    cx->note.set_id = cx->header.set_id;
    if (!notify(cx, CAB_NOTE_FILE_LIST)) return false;
    cx->entries_remaining = cx->note.folder_index;
    if (cx->entries_remaining != 0 && cx->note.size != static_cast<uint32_t>(position) &&
        !seek_to(cx, cx->table_handle, cx->note.size))
        return fail(cx, CAB_ERR_ABORT);
    return true;
}

// --- opening cabinets -------------------------------------------------------------

bool read_reserve_fields(CabContext *cx, uint32_t *folder_reserve, uint32_t *block_reserve) {
    uint8_t sizes[kReserveSizesSize];
    if (!read_exact(cx, cx->table_handle, sizes, sizeof sizes)) return fail(cx, CAB_ERR_SIGNATURE);
    const uint16_t header_reserve = load_u16(sizes);
    *folder_reserve = sizes[2];
    *block_reserve = sizes[3];
    if (!cx->header_reserve_known) {
        // The size is fixed only once its buffer exists: after a failed
        // allocation the next cabinet must try again, not read into nothing.
        if (header_reserve != 0) {
            cx->header_reserve = static_cast<uint8_t *>(alloc_zeroed(cx, header_reserve));
            if (!cx->header_reserve) return fail(cx, CAB_ERR_MEMORY);
        }
        cx->header_reserve_known = true;
        cx->header_reserve_size = header_reserve;
    } else if (header_reserve != cx->header_reserve_size) {
        return fail(cx, CAB_ERR_RESERVE_SIZES);
    }
    if (cx->header_reserve_size != 0 &&
        !read_exact(cx, cx->table_handle, cx->header_reserve, cx->header_reserve_size))
        return fail(cx, CAB_ERR_SIGNATURE);
    return true;
}

bool fix_entry_sizes(CabContext *cx, uint32_t folder_reserve, uint32_t block_reserve) {
    const uint32_t folder_size = kFolderEntrySize + folder_reserve;
    const uint32_t block_size = kBlockHeaderSize + block_reserve;
    if (cx->folder_entry_size == 0) {
        cx->folder_entry_size = folder_size;
        cx->data_header_size = block_size;
        cx->folder_entry = static_cast<uint8_t *>(alloc_zeroed(cx, folder_size));
        cx->data_header = static_cast<uint8_t *>(alloc_zeroed(cx, block_size));
        if (!cx->folder_entry || !cx->data_header) {
            release(cx, cx->folder_entry);
            release(cx, cx->data_header);
            cx->folder_entry_size = cx->data_header_size = 0;
            return fail(cx, CAB_ERR_MEMORY);
        }
        return true;
    }
    if (folder_size != cx->folder_entry_size || block_size != cx->data_header_size)
        return fail(cx, CAB_ERR_RESERVE_SIZES);
    return true;
}

bool read_set_names(CabContext *cx) {
    const uint16_t flags = cx->header.flags;
    cx->previous_cabinet[0] = cx->previous_disk[0] = 0;
    cx->next_cabinet[0] = cx->next_disk[0] = 0;
    if ((flags & kFlagPrevious) &&
        !(read_name(cx, cx->previous_cabinet) && read_name(cx, cx->previous_disk)))
        return false;
    if ((flags & kFlagNext) && !(read_name(cx, cx->next_cabinet) && read_name(cx, cx->next_disk)))
        return false;
    return true;
}

bool read_header(CabContext *cx, bool continuation, uint16_t set_id, uint16_t cabinet_index) {
    uint8_t raw[kHeaderSize];
    if (!read_exact(cx, cx->table_handle, raw, sizeof raw) ||
        std::memcmp(raw, kSignature, sizeof kSignature) != 0)
        return fail(cx, CAB_ERR_SIGNATURE);
    const uint16_t version = load_u16(raw + kHeaderVersion);
    if (version != kVersion) return fail(cx, CAB_ERR_VERSION, version);
    Header h;
    h.files_offset = load_u32(raw + kHeaderFilesOffset);
    h.folder_count = load_u16(raw + kHeaderFolderCount);
    h.file_count = load_u16(raw + kHeaderFileCount);
    h.flags = load_u16(raw + kHeaderFlags);
    h.set_id = load_u16(raw + kHeaderSetId);
    h.cabinet_index = load_u16(raw + kHeaderCabinetIndex);
    if (continuation && (h.set_id != set_id || h.cabinet_index != cabinet_index))
        return fail(cx, CAB_ERR_SET);
    cx->header = h;
    return true;
}

// Opens the cabinet at the path buffer followed by `name` and reads its header
// area; a continuation must carry the expected set identifier and index.
bool open_cabinet(CabContext *cx, const char *name, bool continuation, uint16_t set_id = 0,
                  uint16_t cabinet_index = 0) {
    const size_t path_length = strnlen(cx->path, kPathBufferSize);
    const size_t name_length = strnlen(name, kNameBufferSize);
    if (path_length >= kPathBufferSize || name_length >= kNameBufferSize ||
        path_length + name_length > kFullPathChars)
        return fail(cx, CAB_ERR_OPEN);
    std::memcpy(cx->full_path, cx->path, path_length);
    std::memcpy(cx->full_path + path_length, name, name_length);
    cx->full_path[path_length + name_length] = 0;

    cx->table_handle = cx->host.open(cx->full_path, CAB_OPEN_READ, CAB_OPEN_MODE);
    if (cx->table_handle == -1) return fail(cx, CAB_ERR_OPEN);
    cx->data_handle = cx->host.open(cx->full_path, CAB_OPEN_READ, CAB_OPEN_MODE);
    if (cx->data_handle == -1) return fail(cx, CAB_ERR_OPEN);

    if (!read_header(cx, continuation, set_id, cabinet_index)) return false;
    uint32_t folder_reserve = 0, block_reserve = 0;
    if ((cx->header.flags & kFlagReserve) &&
        !read_reserve_fields(cx, &folder_reserve, &block_reserve))
        return false;
    if (!fix_entry_sizes(cx, folder_reserve, block_reserve) || !read_set_names(cx)) return false;

    const int64_t folder_table = tell(cx, cx->table_handle);
    if (folder_table < 0 || !seek_to(cx, cx->table_handle, cx->header.files_offset))
        return fail(cx, CAB_ERR_CORRUPT);
    cx->folder_table_position = static_cast<uint32_t>(folder_table);
    cx->entries_remaining = cx->header.file_count;

    CabNotification &n = cx->note;
    n.name = cx->next_cabinet;
    n.text2 = cx->next_disk;
    n.text3 = cx->path;
    n.set_id = cx->header.set_id;
    n.cabinet_index = cx->header.cabinet_index;
    if (!notify(cx, CAB_NOTE_CABINET)) return false;

    CabHookRecord &r = cx->hook_record;
    r.reserve = cx->header_reserve_size != 0 ? cx->header_reserve : nullptr;
    r.reserve_size = cx->header_reserve_known ? cx->header_reserve_size : kNoReserveYet;
    r.set_id = cx->header.set_id;
    r.cabinet_index = cx->header.cabinet_index;
    return call_hook(cx, CAB_HOOK_CABINET);
}

// --- folders and data blocks ---------------------------------------------------

bool open_folder(CabContext *cx, uint16_t index) {
    cx->current_folder = index;
    const uint64_t entry_at =
        cx->folder_table_position + static_cast<uint64_t>(index) * cx->folder_entry_size;
    if (!seek_to(cx, cx->data_handle, entry_at) ||
        !read_exact(cx, cx->data_handle, cx->folder_entry, cx->folder_entry_size))
        return fail(cx, CAB_ERR_CORRUPT);
    if (!seek_to(cx, cx->data_handle, load_u32(cx->folder_entry + kFolderFirstBlock)))
        return fail(cx, CAB_ERR_CORRUPT);
    cx->blocks_remaining = load_u16(cx->folder_entry + kFolderBlockCount);
    if (!switch_decoder(cx, load_u16(cx->folder_entry + kFolderMethod))) return false;

    CabHookRecord &r = cx->hook_record;
    const uint32_t reserve = cx->folder_entry_size - kFolderEntrySize;
    r.reserve = reserve ? cx->folder_entry + kFolderEntrySize : nullptr;
    r.reserve_size = static_cast<uint16_t>(reserve);
    r.folder_index = index;
    return call_hook(cx, CAB_HOOK_FOLDER);
}

// Reads one data block (or the part of a split block) into the compressed
// buffer at `offset` and verifies its checksum.
bool read_block(CabContext *cx, uint32_t offset) {
    uint8_t *header = cx->data_header;
    if (!read_exact(cx, cx->data_handle, header, cx->data_header_size))
        return fail(cx, CAB_ERR_CORRUPT);
    const uint32_t count = load_u16(header + kBlockCompressedSize);
    if (!fits(offset, count, cx->compressed_capacity)) return fail(cx, CAB_ERR_CORRUPT);
    uint8_t *data = cx->compressed + offset;
    if (!read_exact(cx, cx->data_handle, data, count)) return fail(cx, CAB_ERR_CORRUPT);

    const uint32_t stored_sum = load_u32(header + kBlockChecksum);
    if (stored_sum != 0) {
        const uint32_t sum = cabinet_checksum(header + 4, cx->data_header_size - 4,
                                              cabinet_checksum(data, count, 0));
        if (sum != stored_sum) return fail(cx, CAB_ERR_CORRUPT);
    }
    const uint32_t combined = offset + count;
    store_u16(header + kBlockCompressedSize, static_cast<uint16_t>(combined));

    CabHookRecord &r = cx->hook_record;
    const uint32_t reserve = cx->data_header_size - kBlockHeaderSize;
    r.reserve = reserve ? header + kBlockHeaderSize : nullptr;
    r.reserve_size = static_cast<uint16_t>(reserve);
    r.block_data = cx->compressed;
    r.block_size = static_cast<uint16_t>(combined);
    r.split = offset != 0 || load_u16(header + kBlockUncompressedSize) == 0;
    r.part_offset = static_cast<uint16_t>(offset);
    return call_hook(cx, CAB_HOOK_BLOCK);
}

bool span_into_next_cabinet(CabContext *cx);

// Moves on to the next block in this cabinet's part of the folder, continuing
// into the next cabinet when the part is used up.
bool take_next_block(CabContext *cx) {
    while (cx->blocks_remaining == 0)
        if (!span_into_next_cabinet(cx)) return false;
    --cx->blocks_remaining;
    return true;
}

bool decode_block(CabContext *cx) {
    const uint32_t compressed = load_u16(cx->data_header + kBlockCompressedSize);
    const uint32_t expected = load_u16(cx->data_header + kBlockUncompressedSize);

    // No block may yield more than the uncompressed buffer holds; a decoder
    // asked for more would write past it.
    DECODE_FAIL_IF(expected > kMaxBlockSize);
    uint32_t produced;
    if (!cx->decoder) {
        produced = compressed;  // stored: read straight into the output buffer
    } else {
        produced = cx->decoder_ops->count_is_limit ? kMaxBlockSize : expected;
        const int decoded = cx->decoder_ops->decode(cx->decoder, cx->compressed, compressed,
                                                    cx->uncompressed, &produced);
        // A data error names the decoder's own check; other refusals are
        // the driver's to explain.
        const char *where = cx->decoder_ops->last_fault(cx->decoder);
        if (decoded == kDecodeDataError && where) return fail_decode(cx, where);
        DECODE_FAIL_IF(decoded != kDecodeOk);
    }
    DECODE_FAIL_IF(produced != expected);
    cx->block_size = expected;
    return true;
}

bool read_next_block(CabContext *cx) {
    if (cx->method == kNoMethod) return fail(cx, CAB_ERR_METHOD);
    cx->block_start += cx->block_size;
    cx->block_size = 0;
    if (!take_next_block(cx) || !read_block(cx, 0)) return false;
    if (load_u16(cx->data_header + kBlockUncompressedSize) == 0) {
        // Split block: its second part is the first block of the next
        // cabinet's folder 0, read directly behind the first part.
        const uint32_t first_part = load_u16(cx->data_header + kBlockCompressedSize);
        if (!span_into_next_cabinet(cx) || !take_next_block(cx) || !read_block(cx, first_part))
            return false;
    }
    return decode_block(cx);
}

bool select_folder(CabContext *cx, uint16_t index) {
    if (cx->spanned) return true;
    if (index >= CAB_FOLDER_CONTINUED_TO_NEXT)
        index = static_cast<uint16_t>(cx->header.folder_count - 1);
    if (index == cx->current_folder) return true;
    DECODE_FAIL_IF(cx->decoder && cx->decoder_ops->reset(cx->decoder) != kDecodeOk);
    if (!open_folder(cx, index)) return false;
    cx->block_start = 0;
    cx->block_size = 0;
    if (!read_next_block(cx)) return false;
    cx->block_start = 0;
    return true;
}

// --- spanning -------------------------------------------------------------------

void fill_next_cabinet_note(CabContext *cx, uint16_t set_id, uint16_t next_index, int32_t error) {
    CabNotification &n = cx->note;
    n.name = cx->next_cabinet;
    n.text2 = cx->next_disk;
    n.text3 = cx->path;
    n.set_id = set_id;
    n.cabinet_index = next_index;
    n.error = error;
}

// Reads past the continuation entries at the top of the new cabinet's file
// table: those of files skipped earlier and the one being extracted. The count
// starts again from 0: the skipped files all end before the extracted one, so
// none of them reaches a further cabinet, and a file spanning three or more
// cabinets has only its own entry to pass in each.
bool skip_continuation_entries(CabContext *cx) {
    const uint32_t entries = cx->pending_continuations + 1u;
    cx->pending_continuations = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        if (cx->entries_remaining == 0) return fail(cx, CAB_ERR_CORRUPT);
        --cx->entries_remaining;
        if (!read_file_entry(cx)) return false;
    }
    return true;
}

bool span_into_next_cabinet(CabContext *cx) {
    const uint16_t set_id = cx->header.set_id;
    const uint16_t next_index = static_cast<uint16_t>(cx->header.cabinet_index + 1);
    int32_t error = 0;
    char wanted_cabinet[kNameBufferSize];
    char wanted_disk[kNameBufferSize];
    for (;;) {
        fill_next_cabinet_note(cx, set_id, next_index, error);
        if (!close_cabinet_handles(cx)) return fail(cx, CAB_ERR_CORRUPT);
        if (!notify(cx, CAB_NOTE_NEXT_CABINET)) return false;
        // Opening reads the new cabinet's own set names into these buffers;
        // after a failed attempt the host is asked again about the cabinet
        // that was tried, not the one after it.
        std::memcpy(wanted_cabinet, cx->next_cabinet, sizeof wanted_cabinet);
        std::memcpy(wanted_disk, cx->next_disk, sizeof wanted_disk);
        // The host may have rewritten the name and path buffers; opening
        // checks that both are still terminated.
        if (open_cabinet(cx, wanted_cabinet, true, set_id, next_index) && open_folder(cx, 0)) break;
        if (cx->error->code == CAB_ERR_ABORT) return false;
        error = cx->error->code;
        std::memcpy(cx->next_cabinet, wanted_cabinet, sizeof wanted_cabinet);
        std::memcpy(cx->next_disk, wanted_disk, sizeof wanted_disk);
    }
    if (!skip_continuation_entries(cx)) return false;
    cx->spanned = true;
    return true;
}

// --- extracting files ---------------------------------------------------------------

bool write_file_data(CabContext *cx) {
    uint64_t position = cx->file.folder_offset;
    uint64_t left = cx->file.size;
    if (position < cx->block_start) cx->current_folder = kNoFolder;
    if (!select_folder(cx, cx->file.folder_index)) return false;
    // After spanning the stream cannot be rewound to reach an earlier offset.
    if (position < cx->block_start) return fail(cx, CAB_ERR_CORRUPT);
    while (cx->block_start + cx->block_size <= position)
        if (!read_next_block(cx)) return false;
    for (;;) {
        const uint32_t offset = static_cast<uint32_t>(position - cx->block_start);
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(cx->block_size - offset, left));
        if (cx->host.write(cx->output_handle, cx->uncompressed + offset, n) !=
            static_cast<int32_t>(n))
            return fail(cx, CAB_ERR_OUTPUT);
        position += n;
        left -= n;
        if (left == 0) return true;
        if (!read_next_block(cx)) return false;
    }
}

bool finish_file(CabContext *cx) {
    CabNotification &n = cx->note;
    n.name = cx->file_name;
    n.handle = cx->output_handle;
    n.date = cx->file.date;
    n.time = cx->file.time;
    n.folder_index = cx->file.folder_index;
    n.attributes = static_cast<uint16_t>(cx->file.attributes & ~CAB_ATTRIB_EXEC);
    n.size = (cx->file.attributes & CAB_ATTRIB_EXEC) ? 1 : 0;
    int32_t answer = 0;
    if (!notify(cx, CAB_NOTE_FILE_END, &answer)) {
        close_output(cx);
        return false;
    }
    cx->output_handle = -1;  // the host has closed it
    return answer == 0 ? fail(cx, CAB_ERR_OUTPUT) : true;
}

bool extract_file(CabContext *cx, int32_t handle) {
    cx->output_handle = handle;
    if (cx->file.size != 0 && !write_file_data(cx)) {
        close_output(cx);
        return false;
    }
    return finish_file(cx);
}

bool offer_file(CabContext *cx) {
    int32_t answer = 0;
    if (!notify(cx, CAB_NOTE_FILE_START, &answer)) return false;
    if (answer != 0) return extract_file(cx, answer);
    if (continues_into_next(cx->file.folder_index)) ++cx->pending_continuations;
    return true;
}

bool walk_files(CabContext *cx, const char *path) {
    cx->spanned = false;
    cx->current_folder = kNoFolder;
    if (!copy_text(cx->path, sizeof cx->path, path)) return fail(cx, CAB_ERR_OPEN);
    if (!send_file_list(cx)) return false;
    while (cx->entries_remaining != 0) {
        --cx->entries_remaining;
        if (!read_file_entry(cx)) return false;
        fill_file_note(cx);
        const bool continued = continues_from_previous(cx->file.folder_index);
        if (continued && !cx->spanned) {
            if (!notify(cx, CAB_NOTE_CONTINUED_FILE)) return false;
        } else if (!continued && cx->spanned) {
            // Files that begin in the new cabinet wait for a call on it.
            cx->entries_remaining = 0;
        } else if (!offer_file(cx)) {
            return false;
        }
        if (cx->entries_remaining == 0 && !send_file_list(cx)) return false;
    }
    return true;
}

}  // namespace

extern "C" {

CabContext *cab_create(CabAllocFn alloc, CabFreeFn free, CabOpenFn open, CabReadFn read,
                       CabWriteFn write, CabCloseFn close, CabSeekFn seek, int32_t processor_type,
                       CabError *error) {
    void *block = alloc(sizeof(CabContext));
    if (!block) {
        error->code = CAB_ERR_MEMORY;
        error->detail = 0;
        error->failed = 1;
        return nullptr;
    }
    auto *cx = new (block) CabContext{};
    cx->error = error;
    cx->host = {alloc, free, open, read, write, close, seek};
    cx->processor_type = processor_type;
    cx->table_handle = cx->data_handle = cx->output_handle = -1;
    cx->header_reserve_size = kNoReserveYet;
    cx->current_folder = kNoFolder;
    cx->method = kNoMethod;
    return cx;
}

int32_t cab_is_cabinet(CabContext *cx, int32_t handle, CabSummary *summary) {
    uint8_t raw[kHeaderSize];
    if (!read_exact(cx, handle, raw, sizeof raw) ||
        std::memcmp(raw, kSignature, sizeof kSignature) != 0)
        return 0;
    const uint16_t version = load_u16(raw + kHeaderVersion);
    if (version != kVersion) return fail(cx, CAB_ERR_VERSION, version);
    const uint16_t flags = load_u16(raw + kHeaderFlags);
    summary->cabinet_size = static_cast<int32_t>(load_u32(raw + kHeaderCabinetSize));
    summary->folder_count = load_u16(raw + kHeaderFolderCount);
    summary->file_count = load_u16(raw + kHeaderFileCount);
    summary->set_id = load_u16(raw + kHeaderSetId);
    summary->cabinet_index = load_u16(raw + kHeaderCabinetIndex);
    summary->has_reserve = (flags & kFlagReserve) ? 1 : 0;
    summary->has_previous = (flags & kFlagPrevious) ? 1 : 0;
    summary->has_next = flags & kFlagNext;
    return 1;
}

int32_t cab_copy(CabContext *cx, const char *name, const char *path, int32_t /*flags*/,
                 CabNotifyFn notify_fn, CabHookFn hook, void *user) {
    cx->notify = notify_fn;
    cx->hook = hook;
    cx->user = user;
    cx->pending_continuations = 0;
    bool ok = copy_text(cx->path, sizeof cx->path, path) ? open_cabinet(cx, name, false)
                                                         : fail(cx, CAB_ERR_OPEN);
    ok = ok && walk_files(cx, path);
    close_cabinet_handles(cx);
    return ok ? 1 : 0;
}

const char *cab_last_fault(const CabContext *cx) { return cx->decode_fault; }

int32_t cab_destroy(CabContext *cx) {
    unload_decoder(cx);
    release(cx, cx->header_reserve);
    release(cx, cx->folder_entry);
    release(cx, cx->data_header);
    close_cabinet_handles(cx);
    const CabFreeFn free_fn = cx->host.free;
    cx->~CabContext();
    free_fn(cx);
    return 1;
}

}  // extern "C"
