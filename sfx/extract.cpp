#include "sfx/extract.h"

#include <cstdlib>

#include "sfx/messages.h"
#include "sfx/paths.h"
#include "sfx/platform.h"
#include "sfx/session.h"
#include "sfx/settings.h"
#include "sfx/strings.h"

namespace sfx {

namespace {

ExtractionState &state() { return session().extraction_state; }
PendingOutput &pending() { return session().extraction_state.pending_output; }

// Removes the temporary file of an output that did not complete.
void discard_pending_output() {
    platform::close_file(pending().handle);
    platform::remove_file(pending().temporary_path);
    platform::finish_temporary_file();
    pending().handle = -1;
}

// True for a stored name that would land outside the destination: absolute,
// with a drive, or with a ".." component.
bool escapes_destination(const std::string &name) {
    if (is_separator(name[0]) || (name.size() >= 2 && name[1] == ':')) return true;
    const char *start = name.c_str();
    for (const char *p = start;;) {
        const char *end = p;
        while (*end != '\0' && !is_separator(*end)) end = platform::char_next(end);
        if (end - p == 2 && p[0] == '.' && p[1] == '.') return true;
        if (*end == '\0') return false;
        p = end + 1;
    }
}

// True for a name holding a control character (0x01-0x1F, DEL): no system
// that makes cabinets allows one in a file name, so the name is hostile.
bool has_control_character(const char *name) {
    for (const char *p = name; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 || byte == 0x7F) return true;
    }
    return false;
}

// True when the last component, as the file system splits it, names a file:
// "", "." and ".." name the folder around it instead.
bool names_a_file(const std::string &output_name) {
    const std::string native = platform::native_path(output_name);
    const std::string last = native.substr(native.rfind('/') + 1);
    return !last.empty() && last != "." && last != "..";
}

// split_path_root, refused (false) when a part is longer than a split
// keeps: the cut-short folder would be another one, possibly outside the
// destination.
bool split_whole_path(const std::string &path, std::string &root, std::string &directory,
                      std::string &name, std::string &extension) {
    split_path_root(path, &root, &directory, &name, &extension);
    return root.size() + directory.size() + name.size() + extension.size() == path.size();
}

// True when every folder of `output_name` below `destination` is a real
// folder or still missing: never a symbolic link planted to lead the file
// (or the folders made for it) elsewhere.
bool folders_below_are_safe(const std::string &destination, const std::string &output_name) {
    const char *start = output_name.c_str();
    for (const char *p = start; *p != '\0'; p = platform::char_next(p)) {
        if (!is_separator(*p)) continue;
        const std::string folder =
            destination + output_name.substr(0, static_cast<size_t>(p - start));
        const platform::PathKind kind = platform::path_kind(folder, false);
        if (kind == platform::PathKind::Missing) return true;
        if (kind != platform::PathKind::Directory) return false;
    }
    return true;
}

// The name a stored file is written under, relative to the destination;
// `native` receives the whole stored name in the file system's encoding.
// False for a hostile name or one that names no file.
bool output_name_of(const CabNotification &note, std::string &native, std::string &output_name) {
    if (has_control_character(note.name) ||
        !platform::native_file_name(note.name, note.attributes, native))
        return false;
    if (session().sfx_settings.keep_folders) {
        output_name = native;
    } else {
        const PathParts parts = split_path(native);
        output_name = parts.name + parts.extension;
    }
    return names_a_file(output_name) && !escapes_destination(output_name);
}

// Asks whether an existing file may be replaced: 1 go on, 0 skip, -1 abort.
int32_t confirm_overwrite(const std::string &stored_name) {
    const SfxSettings &sfx_settings = session().sfx_settings;
    if (sfx_settings.overwrite_all) return 1;
    const int answer = show_message(SFX_MB_YESNOCANCEL | SFX_MB_ICONQUESTION,
                                    StringId::OverwriteCaption, StringId::AskOverwrite,
                                    platform::native_path(sfx_settings.destination), stored_name);
    return answer == SFX_IDYES ? 1 : answer == SFX_IDNO ? 0 : -1;
}

int32_t open_output(const std::string &folder, const std::string &output_path) {
    if (pending().handle != -1) return -1;
    const int32_t handle = platform::create_temporary_file(folder, pending().temporary_path);
    if (handle == -1) return -1;
    pending().handle = handle;
    pending().output_path = output_path;
    return handle;
}

// A path as the progress dialog shows it: native separators, in UTF-8.
std::string shown_path(const std::string &path) {
    return platform::locale_shown_in_utf8(platform::native_path(path));
}

int32_t on_cabinet(CabNotification *note) {
    ui().show_archive(shown_path(state().cabinet_folder + state().current_cabinet_name));
    state().current_cabinet_name = note->name;
    if (state().first_cabinet_note) {
        state().next_cabinet_name = note->name;
        if (note->name[0] == '\0') state().continue_with_next = false;
        state().first_cabinet_note = false;
    }
    return 0;
}

int32_t on_file_start(CabNotification *note) {
    const SfxSettings &sfx_settings = session().sfx_settings;
    if (state().cancel_requested) return -1;
    std::string stored_name, output_name;
    if (!output_name_of(*note, stored_name, output_name)) return -1;
    const std::string output_path = sfx_settings.destination + output_name;
    if (output_path.size() > kMaxText) return -1;
    ui().show_file(shown_path(output_path));
    if (make_folders(sfx_settings.destination) == -1) return -1;
    std::time_t stored_time;
    if (sfx_settings.newer_only &&
        platform::dos_time_to_unix(note->date, note->time, stored_time) &&
        !is_newer_than_existing(output_path, stored_time)) {
        return 0;
    }
    if (platform::path_kind(output_path, false) != platform::PathKind::Missing) {
        // The old file is replaced by a rename, which needs no write
        // permission on it, so a read-only file is left as it is until then.
        const int32_t go_on = confirm_overwrite(stored_name);
        if (go_on != 1) return go_on;
    }
    std::string root, directory, name, extension;
    if (!split_whole_path(output_path, root, directory, name, extension)) return -1;
    if (!folders_below_are_safe(sfx_settings.destination, output_name)) return -1;
    if (make_folders(root + directory) == -1) return -1;
    return open_output(root + directory, output_path);
}

// Closes the complete output, stamps it and renames it over the output
// path. False when it could not be put in place.
bool place_output(const CabNotification &note) {
    if (platform::close_file(note.handle) != 0) return false;
    const std::string &file = pending().temporary_path;
    std::time_t stored_time;
    if (platform::dos_time_to_unix(note.date, note.time, stored_time)) {
        platform::set_modification_time(file, stored_time);
    }
    constexpr uint16_t kReadOnly = 0x01;
    const bool read_only =
        session().sfx_settings.keep_attributes && (note.attributes & kReadOnly) != 0;
    platform::set_attributes(file, read_only, note.size == 1);
    return platform::replace_file(file, pending().output_path);
}

int32_t on_file_end(CabNotification *note) {
    if (note->handle != pending().handle) return 0;
    pending().handle = -1;
    const bool placed = place_output(*note);
    if (!placed) platform::remove_file(pending().temporary_path);
    platform::finish_temporary_file();
    if (!placed) return 0;
    ++state().extracted_count;
    return 1;
}

// Shows the diskette prompt; true when the user answered OK.
bool ask_for_diskette(const std::string &mount_point) {
    return show_message(SFX_MB_OKCANCEL | SFX_MB_ICONQUESTION, StringId::InstallerCaption,
                        StringId::InsertDiskette, mount_point, state().disk_number + 1) == SFX_IDOK;
}

int32_t on_next_cabinet(CabNotification *note) {
    state().continue_with_next = false;
    const std::string candidate = state().cabinet_folder + note->name;
    std::string mount_point;
    const bool removable = platform::is_removable(state().cabinet_folder, mount_point);
    if (note->error != 0) {
        // The engine refused the cabinet accepted last time, so the same
        // diskette is still wanted; asking again without a chance to change
        // it would never end.
        --state().disk_number;
        if (!removable || !ask_for_diskette(mount_point)) return -1;
    }
    while (platform::path_kind(candidate, true) == platform::PathKind::Missing) {
        if (!removable) {
            show_message(SFX_MB_ICONERROR, StringId::InstallerCaption, StringId::NextCabinetMissing,
                         state().cabinet_folder, note->name);
            return -1;
        }
        if (!ask_for_diskette(mount_point)) return -1;
        state().next_cabinet_name = note->name;
    }
    const int32_t handle = sfx_open(candidate.c_str(), CAB_OPEN_READ_SEQUENTIAL, 0);
    if (handle == -1) return -1;
    CabSummary summary;
    const bool is_cabinet = cab_is_cabinet(state().context, handle, &summary) == 1;
    sfx_close(handle);
    if (!is_cabinet) return -1;
    state().continue_with_next = true;
    state().current_cabinet_name = note->name;
    ++state().disk_number;
    return 0;
}

// Sums the sizes of the files a cabinet would start, for the progress line.
int32_t count_file_bytes(int32_t kind, CabNotification *note) {
    if (kind == CAB_NOTE_FILE_START) state().bytes_total += note->size;
    return kind == CAB_NOTE_NEXT_CABINET ? -1 : 0;
}

void measure_cabinet() {
    state().bytes_written = 0;
    state().bytes_total = 0;
    if (cab_copy(state().context, state().current_cabinet_name.c_str(),
                 state().engine_folder.c_str(), 0, count_file_bytes, nullptr, nullptr) != 1) {
        state().bytes_total = 0;
    }
}

// `path` through its last separator. Unlike a split it is never cut short:
// a long folder is reached through a descriptor instead.
std::string folder_of(const std::string &path) {
    const char *start = path.c_str();
    const char *end = start;
    for (const char *p = start; *p != '\0'; p = platform::char_next(p)) {
        if (is_separator(*p)) end = p + 1;
    }
    return path.substr(0, static_cast<size_t>(end - start));
}

// The engine opens the installer's own file as the folder it was handed
// followed by the file's name; tests and callers may use the plain path.
bool is_own_file(const char *path) {
    return session().process_values.module_path == path || state().own_file_for_engine == path;
}

class ContextGuard {
public:
    explicit ContextGuard(CabContext *context) { state().context = context; }
    ~ContextGuard() {
        if (state().context != nullptr) cab_destroy(state().context);
        state().context = nullptr;
    }
    ContextGuard(const ContextGuard &) = delete;
    ContextGuard &operator=(const ContextGuard &) = delete;
};

}  // namespace

void *sfx_alloc(uint32_t size) { return std::malloc(size); }
void sfx_free(void *block) { std::free(block); }

int32_t sfx_open(const char *path, int32_t flags, int32_t mode) {
    if (path[0] == '*' && path[1] == '\0') return platform::open_scratch_file();
    // Paths are compared exactly: names differing only in case are
    // different files here.
    if (!is_own_file(path)) return platform::open_file(path, flags, mode);
    return state().embedded_cabinet.open(path, flags, mode,
                                         session().payload_config.cabinet_offset);
}

int32_t sfx_read(int32_t handle, void *buffer, uint32_t count) {
    return platform::read_file(handle, buffer, count);
}

int32_t sfx_write(int32_t handle, const void *buffer, uint32_t count) {
    const int32_t written = platform::write_file(handle, buffer, count);
    if (written > 0 && handle == pending().handle) {
        state().bytes_written += static_cast<uint32_t>(written);
        ui().show_progress(state().bytes_written, state().bytes_total);
    }
    return written;
}

int32_t sfx_close(int32_t handle) {
    if (handle != -1 && handle == pending().handle) {
        discard_pending_output();
        return 0;
    }
    return state().embedded_cabinet.close(handle);
}

int32_t sfx_seek(int32_t handle, int32_t offset, int32_t origin) {
    return state().embedded_cabinet.seek(handle, offset, origin);
}

int32_t cab_notify(int32_t kind, CabNotification *note) {
    switch (kind) {
        case CAB_NOTE_CABINET: return on_cabinet(note);
        case CAB_NOTE_FILE_START: return on_file_start(note);
        case CAB_NOTE_FILE_END: return on_file_end(note);
        case CAB_NOTE_NEXT_CABINET: return on_next_cabinet(note);
        default: return 0;
    }
}

int make_folders(const std::string &path) {
    std::string copy = path;
    if (ends_with_separator(copy)) copy.pop_back();
    std::string root, directory, name, extension;
    if (!split_whole_path(copy, root, directory, name, extension)) return -1;
    if (directory.empty() && name.empty() && extension.empty()) return 0;  // a bare root
    if (!directory.empty() && make_folders(root + directory) == -1) return -1;
    switch (platform::path_kind(copy, true)) {
        case platform::PathKind::Missing: return platform::make_directory(copy) ? 0 : -1;
        case platform::PathKind::Directory: return 0;
        default: return -1;
    }
}

bool is_newer_than_existing(const std::string &path, std::time_t stored_time) {
    std::time_t existing;
    switch (platform::modification_time(path, existing)) {
        case platform::TimeQuery::Missing: return true;
        case platform::TimeQuery::Failed: return false;
        case platform::TimeQuery::Found: break;
    }
    return stored_time > existing;
}

std::string with_trailing_separator(const std::string &destination) {
    return ends_with_separator(destination) ? destination : destination + '/';
}

bool run_extraction_loop() {
    session().process_values.message_owner = MessageOwner::Progress;
    int32_t result = 1;
    state().continue_with_next = true;
    state().current_cabinet_name =
        session().process_values.module_path.substr(state().cabinet_folder.size());
    while (state().continue_with_next) {
        measure_cabinet();
        state().first_cabinet_note = true;
        result = cab_copy(state().context, state().current_cabinet_name.c_str(),
                          state().engine_folder.c_str(), 0, cab_notify, nullptr, nullptr);
        state().current_cabinet_name = state().next_cabinet_name;
        if (result == 0) break;
    }
    return result == 1;
}

uint32_t extract_payload() {
    SfxSettings &sfx_settings = session().sfx_settings;
    const std::string &module_path = session().process_values.module_path;
    state().cabinet_folder = folder_of(module_path);
    const std::string own_name = module_path.substr(state().cabinet_folder.size());
    state().engine_folder = platform::engine_folder(state().cabinet_folder, own_name);
    state().own_file_for_engine = state().engine_folder + own_name;
    sfx_settings.destination = with_trailing_separator(sfx_settings.destination);
    if (sfx_settings.destination.size() > kMaxText) return SFX_ERR_EXTRACTION;

    CabError error{};
    ContextGuard guard(cab_create(sfx_alloc, sfx_free, sfx_open, sfx_read, sfx_write, sfx_close,
                                  sfx_seek, 1, &error));
    if (state().context == nullptr) return SFX_ERR_EXTRACTION;

    const DialogTexts &texts = dialog_texts();
    const ProgressDialog dialog{texts.progress_caption, texts.archive_caption, texts.file_caption,
                                texts.cancel};
    const Extraction extraction{run_extraction_loop, [] { state().cancel_requested = true; }};
    const platform::TerminationCleanup cleanup;
    return ui().run_progress_dialog(dialog, extraction) ? 0u : uint32_t{SFX_ERR_EXTRACTION};
}

}  // namespace sfx
