/* Cabinet engine: extracts files from MSCF cabinets (format version 1.3)
 * entirely through host callbacks. Usable from C and C++.
 *
 * The engine allocates, opens, reads, writes, seeks and closes only through
 * the seven callbacks given to cab_create, and asks the host what to do with
 * every cabinet, file and next cabinet through the notification callback given
 * to cab_copy. Entry points return 1 for success and 0 for failure; the reason
 * of a failure is in the host's CabError. A notification answer of -1 always
 * means abort. */
#ifndef PELMAR_CAB_H
#define PELMAR_CAB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes recorded in CabError.code. */
enum {
    CAB_ERR_OPEN = 1,          /* a cabinet could not be opened */
    CAB_ERR_SIGNATURE = 2,     /* short header, wrong signature, short reserve read */
    CAB_ERR_VERSION = 3,       /* version not 0x0103; detail = version found */
    CAB_ERR_CORRUPT = 4,       /* bad read/seek, unterminated name, checksum, ... */
    CAB_ERR_MEMORY = 5,        /* an allocation failed */
    CAB_ERR_METHOD = 6,        /* compression method outside 0..3 */
    CAB_ERR_DECODE = 7,        /* a decoder failed or a block decoded to the wrong size */
    CAB_ERR_OUTPUT = 8,        /* short write, or CAB_NOTE_FILE_END answered 0 */
    CAB_ERR_RESERVE_SIZES = 9, /* a later cabinet's reserve sizes differ */
    CAB_ERR_SET = 10,          /* continuation cabinet of another set or index */
    CAB_ERR_ABORT = 11         /* the host answered -1 */
};

/* Notification kinds. */
enum {
    CAB_NOTE_CABINET = 0,
    CAB_NOTE_CONTINUED_FILE = 1,
    CAB_NOTE_FILE_START = 2,
    CAB_NOTE_FILE_END = 3,
    CAB_NOTE_NEXT_CABINET = 4,
    CAB_NOTE_FILE_LIST = 5
};

/* Hook record kinds. */
enum { CAB_HOOK_CABINET = 0, CAB_HOOK_FOLDER = 1, CAB_HOOK_BLOCK = 2 };

/* Open flags the engine passes to the open callback (Windows runtime values;
 * translating them is the host's job). */
enum {
    CAB_OPEN_READ = 0x8000,            /* binary, read-only: cabinets */
    CAB_OPEN_READ_SEQUENTIAL = 0x8020, /* binary, sequential, read-only */
    CAB_OPEN_SCRATCH = 0x8102,         /* binary, create, read-write: scratch file */
    CAB_OPEN_WRITE_NEW = 0x8321,       /* write-only, create, truncate, binary, sequential */
    CAB_OPEN_MODE = 0x180              /* read and write permission */
};

/* Special folder index values of a file entry. */
enum {
    CAB_FOLDER_CONTINUED_FROM_PREV = 0xFFFD,
    CAB_FOLDER_CONTINUED_TO_NEXT = 0xFFFE,
    CAB_FOLDER_CONTINUED_PREV_AND_NEXT = 0xFFFF
};

/* Stored attribute bit asking for the file to be run after extraction. */
enum { CAB_ATTRIB_EXEC = 0x40 };

/* Filled by the engine when something fails; never cleared by it. */
typedef struct CabError {
    int32_t code;
    int32_t detail;
    int32_t failed;
} CabError;

/* Filled by cab_is_cabinet. */
typedef struct CabSummary {
    int32_t cabinet_size;
    uint16_t folder_count;
    uint16_t file_count;
    uint16_t set_id;
    uint16_t cabinet_index;
    int32_t has_reserve;
    int32_t has_previous;
    int32_t has_next; /* 2 when the header announces a next cabinet */
} CabSummary;

/* One per context, reused for every notification. See cab_copy for which
 * fields each kind sets and which the host may rewrite. */
typedef struct CabNotification {
    uint32_t size; /* file size; run flag in FILE_END; table position in FILE_LIST */
    char *name;    /* file name; next cabinet name (257-byte buffer) for cabinet notes */
    char *text2;   /* previous cabinet name (files) or next disk name (cabinets) */
    char *text3;   /* previous disk name (files) or cabinet path (257-byte buffer) */
    void *user;
    int32_t handle; /* output handle in FILE_END */
    uint16_t date;
    uint16_t time;
    uint16_t attributes;
    uint16_t set_id;
    uint16_t cabinet_index;
    uint16_t folder_index; /* entries still to walk in FILE_LIST (rewritable) */
    int32_t error;         /* NEXT_CABINET: 0 first, then the failed attempt's code */
} CabNotification;

/* Passed to the optional hook after each cabinet open, folder selection and
 * data block (part) read. */
typedef struct CabHookRecord {
    int32_t kind;
    void *user;
    uint8_t *reserve;      /* header, folder or block reserve bytes; null when none */
    uint16_t reserve_size; /* CABINET: 0xFFFF with null when no cabinet had reserves */
    /* CAB_HOOK_CABINET */
    uint16_t set_id;
    int32_t cabinet_index;
    /* CAB_HOOK_FOLDER */
    uint16_t folder_index;
    /* CAB_HOOK_BLOCK: the bytes may be transformed in place */
    uint8_t *block_data;
    uint16_t block_size;  /* combined size for the second part of a split block */
    int32_t split;        /* 1 for either part of a split block */
    uint16_t part_offset; /* where this part lies in the compressed buffer */
} CabHookRecord;

typedef void *(*CabAllocFn)(uint32_t size);
typedef void (*CabFreeFn)(void *block);
typedef int32_t (*CabOpenFn)(const char *path, int32_t flags, int32_t mode);
typedef int32_t (*CabReadFn)(int32_t handle, void *buffer, uint32_t count);
typedef int32_t (*CabWriteFn)(int32_t handle, const void *buffer, uint32_t count);
typedef int32_t (*CabCloseFn)(int32_t handle);
typedef int32_t (*CabSeekFn)(int32_t handle, int32_t offset, int32_t origin);
typedef int32_t (*CabNotifyFn)(int32_t kind, CabNotification *note);
typedef int32_t (*CabHookFn)(CabHookRecord *record);

typedef struct CabContext CabContext;

/* Creates a context whose every memory and file operation goes through the
 * callbacks. Returns null (CAB_ERR_MEMORY in *error) when the context cannot
 * be allocated. */
CabContext *cab_create(CabAllocFn alloc, CabFreeFn free, CabOpenFn open, CabReadFn read,
                       CabWriteFn write, CabCloseFn close, CabSeekFn seek, int32_t processor_type,
                       CabError *error);

/* Reads 36 bytes at the handle's position; returns 1 and fills *summary when
 * they are a version 1.3 cabinet header. Neither seeks nor closes. */
int32_t cab_is_cabinet(CabContext *context, int32_t handle, CabSummary *summary);

/* Extracts from the cabinet at path + name (no separator inserted). Returns 1
 * when the walk ended normally, 0 after an error. */
int32_t cab_copy(CabContext *context, const char *name, const char *path, int32_t flags,
                 CabNotifyFn notify, CabHookFn hook, void *user);

/* Where the most recent CAB_ERR_DECODE of this context was found: the check
 * that failed in a decoder or in the driver, as "file:line: condition", for
 * instance "lzx.cpp:412: length > limit - pos". Null when the context has
 * recorded no decode error. The text is static and stays valid after
 * cab_destroy; it names a place in the engine's source for diagnostics and
 * bug reports, not a message for users. */
const char *cab_last_fault(const CabContext *context);

/* Unloads the decoder, frees every buffer, closes open cabinet handles and
 * frees the context. Returns 1. */
int32_t cab_destroy(CabContext *context);

#ifdef __cplusplus
}
#endif

#endif
