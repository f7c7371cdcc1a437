// Extraction of the payload cabinet: the engine's host callbacks, the
// notification callback that places every file, and the loop the progress
// dialog runs.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "cab/cab.h"
#include "sfx/settings.h"

namespace sfx {

// Extracts every file of the set into the session's destination through
// the progress dialog. Returns 0 or SFX_ERR_EXTRACTION.
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
