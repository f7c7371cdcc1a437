// Extraction of the payload cabinet: the engine's host callbacks, the
// notification callback that places every file, and the loop the progress
// dialog runs.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "cab/cab.h"

namespace sfx {

// Most handles kept open on the installer's own file at once.
inline constexpr size_t kMaxEmbeddedHandles = 255;

struct ExtractionState {
    std::string cabinet_folder;        // where every cabinet of the set is looked for
    std::string engine_folder;         // the same as the engine reaches it (a long one by descriptor)
    std::string own_file_for_engine;   // the installer's own file as the engine opens it
    std::string current_cabinet_name;  // cabinet of the next cab_copy
    std::string next_cabinet_name;     // cabinet after the running call
    bool continue_with_next = false;
    bool first_cabinet_note = false;
    int32_t disk_number = 1;
    uint32_t extracted_count = 0;      // files completed
    bool cancel_requested = false;
    std::vector<int32_t> embedded_handles;  // open on the installer's own file
    CabContext *context = nullptr;
    uint64_t bytes_written = 0;        // of the running cabinet's files
    uint64_t bytes_total = 0;          // 0 when not known
};

extern ExtractionState extraction_state;

// Extracts every file of the set into sfx_settings.destination through the
// progress dialog. Returns 0 or SFX_ERR_EXTRACTION.
uint32_t extract_payload();

// The progress dialog's extraction loop: one cab_copy per cabinet. True
// when every call succeeded.
bool run_extraction_loop();

// Engine callbacks.
void *sfx_alloc(uint32_t size);
void sfx_free(void *block);
int32_t sfx_open(const char *path, int32_t flags, int32_t mode);
int32_t sfx_read(int32_t handle, void *buffer, uint32_t count);
int32_t sfx_write(int32_t handle, const void *buffer, uint32_t count);
int32_t sfx_close(int32_t handle);
int32_t sfx_seek(int32_t handle, int32_t offset, int32_t origin);
int32_t cab_notify(int32_t kind, CabNotification *note);

// Creates `path` and its missing parents. 0 when the folder exists
// afterwards, -1 otherwise.
int make_folders(const std::string &path);

// True when the file at `path` should be written: it does not exist or the
// stored time is later than its modification time.
bool is_newer_than_existing(const std::string &path, std::time_t stored_time);

// `destination` with a separator at its end. Its last character decides:
// a double-byte character whose second byte is 0x5C is no separator.
std::string with_trailing_separator(const std::string &destination);

}  // namespace sfx
