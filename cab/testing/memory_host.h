// In-memory host callbacks for the engine: files are byte vectors keyed by
// path, handles index open files, and every allocation is counted. Used by
// the tests, the benchmarks and the fuzzers.
//
// The engine's callbacks carry no context pointer, so the host a callback
// uses is the one most recently constructed on the calling thread; each
// thread may run its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cab/cab.h"

namespace cabtest {

enum class HostOp { Alloc, Open, Read, Write, Seek, Close };

class MemoryHost {
public:
    MemoryHost();
    ~MemoryHost();
    MemoryHost(const MemoryHost &) = delete;
    MemoryHost &operator=(const MemoryHost &) = delete;

    void add_file(const std::string &path, std::vector<uint8_t> bytes);
    // Adds a file without copying it; the host may not change it.
    void share_file(const std::string &path, std::shared_ptr<std::vector<uint8_t>> bytes);
    const std::vector<uint8_t> &file(const std::string &path) const;
    // Creates (or truncates) a file and opens it for writing.
    int32_t create_output(const std::string &path);
    // A handle that accepts and discards any write.
    int32_t create_sink();

    // cab_create with this host's callbacks.
    CabContext *create_context(CabError *error, int32_t processor_type = 1);

    // Open handles, the Quantum decoder's scratch files among them unless
    // `include_scratch` is false.
    size_t open_handles(bool include_scratch = true) const;
    size_t live_blocks() const { return live_blocks_; }
    size_t peak_bytes() const { return peak_bytes_; }
    size_t bytes_written() const { return bytes_written_; }

    // Consulted before every callback does its work; returning true makes the
    // call fail (null, -1 or a short count).
    std::function<bool(HostOp)> fault;
    // Allocations larger than this fail (to force fallbacks such as a paged window).
    size_t largest_allocation = SIZE_MAX;
    // Allocations of the sizes it refuses fail.
    std::function<bool(uint32_t size)> refuse_allocation;

    // Every callback is counted by kind, failed calls included.
    size_t calls(HostOp op) const { return calls_[static_cast<size_t>(op)]; }
    void reset_calls() { calls_ = {}; }
    // Makes the n-th call of `op` counted from now on (n >= 1) fail once; with
    // `short_transfer` a read or write moves fewer bytes than asked instead.
    void fail_call(HostOp op, size_t n, bool short_transfer = false);
    void clear_failure() { planned_.n = 0; }

    static void *alloc(uint32_t size);
    static void free(void *block);
    static int32_t open(const char *path, int32_t flags, int32_t mode);
    static int32_t read(int32_t handle, void *buffer, uint32_t count);
    static int32_t write(int32_t handle, const void *buffer, uint32_t count);
    static int32_t close(int32_t handle);
    static int32_t seek(int32_t handle, int32_t offset, int32_t origin);

private:
    struct OpenFile {
        std::shared_ptr<std::vector<uint8_t>> data;  // null for a sink
        size_t position = 0;
        bool writable = false;
        bool scratch = false;
    };
    enum class Fault { None, Fail, Short };
    struct PlannedFailure {
        HostOp op = HostOp::Alloc;
        size_t n = 0;  // 0: none planned
        bool short_transfer = false;
    };
    // Counts the call and decides whether it fails.
    Fault faulted(HostOp op);
    OpenFile *lookup(int32_t handle);
    int32_t add_handle(OpenFile file);

    std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> files_;
    std::map<int32_t, OpenFile> handles_;
    int32_t next_handle_ = 3;
    size_t live_blocks_ = 0;
    size_t live_bytes_ = 0;
    size_t peak_bytes_ = 0;
    size_t bytes_written_ = 0;
    std::array<size_t, 6> calls_{};
    PlannedFailure planned_;
    MemoryHost *previous_;
};

}  // namespace cabtest
