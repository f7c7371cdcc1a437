// Test harness: drives cab_copy over a MemoryHost like a real host would,
// records every notification and collects the extracted files.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "cab/cab.h"
#include "cab/testing/memory_host.h"
#include "cab/writer/writer.h"

namespace cabtest {

class Extraction {
public:
    explicit Extraction(MemoryHost &host);
    ~Extraction();

    // One cab_copy; true when it returned 1.
    bool copy(const std::string &name, const std::string &path = "");
    // Follows the set as an installer does: cab_copy on the first cabinet,
    // then on each next cabinet named by the first CAB_NOTE_CABINET of a call.
    bool copy_set(const std::string &first, const std::string &path = "");

    // Replaces the default answer to a notification; returning kDefault
    // falls back to the default behaviour.
    static constexpr int32_t kDefault = INT32_MIN;
    std::function<int32_t(int32_t kind, CabNotification &note)> answer;
    CabHookFn hook = nullptr;

    CabContext *context() { return context_; }
    // cab_last_fault's text, or "" when the context has recorded none.
    std::string fault() const;
    CabError error{};
    std::vector<std::string> events;                    // one line per notification
    std::map<std::string, std::vector<uint8_t>> files;  // extracted, by stored name
    std::vector<std::string> order;                     // names in FILE_END order
    std::vector<CabNotification> file_ends;             // copies of each FILE_END note

private:
    static int32_t notify(int32_t kind, CabNotification *note);
    int32_t default_answer(int32_t kind, CabNotification &note);

    MemoryHost &host_;
    CabContext *context_;
    std::string next_in_set_;
    bool first_cabinet_note_ = false;
    std::map<int32_t, std::string> outputs_;
};

// Hands the writer data blocks prepared in advance, to put handcrafted
// streams into a cabinet.
class PresetBlocks final : public cabwriter::FolderCompressor {
public:
    explicit PresetBlocks(std::vector<cabwriter::CompressedBlock> blocks)
        : blocks_(std::move(blocks)) {}
    std::vector<cabwriter::CompressedBlock> compress(std::span<const uint8_t>) override {
        return blocks_;
    }

private:
    std::vector<cabwriter::CompressedBlock> blocks_;
};

// A file for the writer, with the writer's default date, time and attributes.
cabwriter::FileEntry file_of(const std::string &name, std::vector<uint8_t> data);
// A file of test_bytes(size, seed).
cabwriter::FileEntry test_file(const std::string &name, size_t size, uint32_t seed = 1);

// Expects exactly the folders' files among the extracted ones, each intact.
void expect_files(const Extraction &x, const std::vector<cabwriter::Folder> &folders);

// Writes the folders as one cabinet (`max_cabinet_size` 0) or as a set,
// extracts them through the engine and expects every file back intact.
void expect_round_trip(const std::vector<cabwriter::Folder> &folders, uint32_t max_cabinet_size);

// Writes the cabinets into the host under their own names.
void add_cabinets(MemoryHost &host, const std::vector<cabwriter::Cabinet> &cabinets,
                  const std::string &path = "");

// Deterministic test content of `size` bytes; `seed` varies it.
std::vector<uint8_t> test_bytes(size_t size, uint32_t seed);

// Stream positions of the file entries of a cabinet written by the writer.
std::vector<size_t> file_entry_positions(const std::vector<uint8_t> &cabinet);

// Overwrite a little-endian field of a written cabinet, to make it malformed.
void put_u16(std::vector<uint8_t> &bytes, size_t at, uint16_t v);
void put_u32(std::vector<uint8_t> &bytes, size_t at, uint32_t v);

}  // namespace cabtest
