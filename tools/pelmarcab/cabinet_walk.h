// One engine context walking one cabinet of a run: the files of every
// folder, or of one folder when a parallel run gives each folder a job of
// its own. With --salvage the cabinet is walked again past each damaged
// block until every selected file is written or reported damaged.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "cab/cab.h"
#include "tools/pelmarcab/commands.h"
#include "tools/pelmarcab/file_host.h"
#include "tools/pelmarcab/progress.h"
#include "tools/pelmarcab/salvage.h"
#include "tools/pelmarcab/selection.h"

namespace pelmarcab {

// The cabinets a call has read, by file identity, so that the later members
// of a set named after its first ("*.cab" names them all) are not read
// again: with --stdout their files would come out twice. Walks on several
// threads add to it.
class CabinetsRead {
public:
    void add(const std::string &path);
    bool contains(const std::string &path) const;

private:
    mutable std::mutex lock_;
    std::set<std::pair<dev_t, ino_t>> ids_;
};

// What every walk of one cabinet argument shares. Walks on other threads
// report and count through it, so those parts take its lock.
struct RunShared {
    RunShared(const ReadOptions &options, const FileNames &names, const std::string &cabinet,
              CabinetsRead &read);

    // Prints "pelmarcab: WHAT: REASON" and marks the run failed.
    void report(const std::string &what, const std::string &reason);
    // Adds written bytes to the progress bar, if one is drawn.
    void count_written(uint32_t count);

    const ReadOptions &options;
    const FileNames &names;
    const std::string &cabinet;  // as the user named it
    CabinetsRead &read;
    CabinetLocation where;
    std::string embedded_path;  // the file the engine opens, when the cabinet lies inside it
    uint32_t embedded_start = 0;
    FILE *notes;    // verbose lines: never on a standard output that carries data
    int root = -1;  // the destination directory
    mode_t file_mode = 0644;
    Progress *bar = nullptr;  // while a set is extracted or tested
    std::atomic<bool> failed{false};

private:
    std::mutex lock_;
};

class CabinetWalk {
public:
    static constexpr int kEveryFolder = -1;
    CabinetWalk(RunShared &run, int folder = kEveryFolder);
    ~CabinetWalk();
    CabinetWalk(const CabinetWalk &) = delete;
    CabinetWalk &operator=(const CabinetWalk &) = delete;

    // Walks the cabinet `name` of the set. True when every selected file was
    // written whole; failures and damaged files are reported.
    bool copy(const std::string &name);
    // Adds up the sizes of the selected files of the set from `name` on.
    uint64_t count_set(const std::string &name);
    // True when files of different folders of cabinet `name` would be
    // written under the same name: their folders must not be decoded at once.
    bool names_repeat_across_folders(const std::string &name);
    // The number of folders of cabinet `name`; 0 when it cannot be read.
    uint16_t folder_count(const std::string &name);
    // The next cabinet the last walked one names; empty when none.
    const std::string &next_in_set() const { return next_in_set_; }
    // The write callback's view of the walk writing on this thread.
    int32_t write(int32_t handle, const void *buffer, uint32_t count);

private:
    static int32_t on_note(int32_t kind, CabNotification *note);
    int32_t answer(int32_t kind, CabNotification &note);
    int32_t offer(CabNotification &note);
    int32_t salvage_offer(CabNotification &note, uint32_t folder);
    int32_t start_file(CabNotification &note);
    int32_t end_file(CabNotification &note);
    int32_t next_cabinet(CabNotification &note);
    bool attempt(const std::string &name);
    bool salvage(const std::string &name);
    void settle_failed_file();
    void zero_fill(int fd, uint32_t from, uint32_t size) const;
    std::string shown_name(const CabNotification &note) const;
    void survey(const CabNotification &note, uint32_t folder);
    EntryKey key_of(const CabNotification &note) const;
    uint32_t folder_of(const CabNotification &note) const;
    bool follows_set() const;
    void list_entry(const CabNotification &note) const;
    void note_single_skip(const CabNotification &note) const;
    void report(const std::string &what, const std::string &reason);
    // Why the walk of cabinet `name` failed, with what can be done about it.
    std::string failure_reason(const std::string &name) const;
    std::string damage_reason() const;

    RunShared &run_;
    const ReadOptions &options_;
    const int folder_;  // the job's folder, or kEveryFolder
    CabError error_{};
    CabContext *context_ = nullptr;
    std::string current_;  // cabinet being read, as the user would name it
    std::string next_in_set_;
    uint16_t folders_ = 0;  // of the walk's first cabinet
    unsigned cabinets_met_ = 0;
    bool counting_ = false;  // walking only to add up file sizes
    uint64_t counted_ = 0;
    bool surveying_ = false;  // counting also notes which folders write each name
    bool names_repeat_ = false;
    std::map<std::string, uint32_t> survey_folders_;
    bool reported_ = false;  // this walk's failure has been reported
    std::string output_name_;
    uint16_t folder_index_ = 0;  // of the file being extracted

    // Salvage: the record of the running copy, the file being written and
    // how far it got, and why the walk stopped when the host ended it.
    SalvageRecord *record_ = nullptr;
    bool in_file_ = false;
    EntryKey file_key_{};
    std::string file_name_;
    uint32_t file_size_ = 0, file_folder_ = 0;
    int32_t output_handle_ = -1;
    int partial_fd_ = -1;  // a second descriptor on the output, to zero-fill it
    uint32_t written_ = 0;
    bool short_read_ = false;  // the failed walk read past the cabinet's end
    std::string stop_reason_;
};

}  // namespace pelmarcab
