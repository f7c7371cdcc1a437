// Host failures during whole extractions: every allocation, open, read,
// write, seek and close of a clean run is failed in turn (reads and writes
// also cut short), for cabinets and sets of every method. Each run must end
// with the files intact or with the error its failed call stands for, leave
// no handle open and no block allocated, and leave a context with which the
// next cab_copy succeeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

#include "cab/tests/extraction.h"

using cabtest::Extraction;
using cabtest::HostOp;
using cabtest::MemoryHost;
using cabtest::test_file;
using cabwriter::Folder;
using cabwriter::Method;
using cabwriter::MethodKind;
using cabwriter::SetOptions;

namespace {

struct FaultCase {
    std::string name;
    std::vector<Folder> folders;
    SetOptions options;
    // Sets allocation limits on the host before each run that leave Quantum
    // only its paged window, which keeps pages in a scratch file.
    std::function<void(MemoryHost &)> force_paged_window;
};

// Two folders: a file that spans blocks, two that share one, and an empty one.
std::vector<Folder> folders_of(Method method) {
    Folder first{
        method,
        {test_file("a.bin", 40000, 1), test_file("dir\\b.txt", 700, 2), test_file("empty", 0, 3)},
        nullptr};
    Folder second{method, {test_file("c.bin", 9000, 4)}, nullptr};
    return {first, second};
}

// A set of small cabinets with reserve fields, so files, folders and blocks
// are split across cabinets.
SetOptions set_of(uint32_t cabinet_size) {
    SetOptions options;
    options.max_cabinet_size = cabinet_size;
    options.header_reserve = 4;
    options.folder_reserve = 2;
    options.block_reserve = 3;
    return options;
}

// Refuses the flat Quantum window and grants only three page buffers (a page
// plus a small header), so pages go to the scratch file and come back.
void paged_window_with_three_buffers(MemoryHost &host) {
    host.refuse_allocation = [page_buffers = 3](uint32_t size) mutable {
        const bool page = size > 4096 && size < 4096 + 256;
        return size >= (1u << 16) || (page && page_buffers-- <= 0);
    };
}

std::vector<FaultCase> fault_cases() {
    const Method stored{MethodKind::Stored, 0, true}, mszip{MethodKind::Mszip, 0, true},
        lzx{MethodKind::Lzx, 15, true}, quantum{MethodKind::Quantum, 16, true};
    return {
        {"Stored", folders_of(stored), {}, nullptr},
        {"StoredSet", folders_of(stored), set_of(24000), nullptr},
        {"MszipSet", folders_of(mszip), set_of(12000), nullptr},
        {"LzxSet", folders_of(lzx), set_of(12000), nullptr},
        {"QuantumSet", folders_of(quantum), set_of(12000), nullptr},
        // Five pages of data go through three page buffers.
        {"QuantumPagedWindow",
         {Folder{quantum, {test_file("a.bin", 20000, 1)}, nullptr}},
         {},
         paged_window_with_three_buffers},
    };
}

// The error codes a failed (or cut short) call of each kind may end with.
std::vector<int32_t> codes_for(HostOp op, bool scratch_file) {
    std::vector<int32_t> codes;
    switch (op) {
        case HostOp::Alloc: codes = {CAB_ERR_MEMORY}; break;
        case HostOp::Open: codes = {CAB_ERR_OPEN}; break;
        case HostOp::Read: codes = {CAB_ERR_SIGNATURE, CAB_ERR_CORRUPT}; break;
        case HostOp::Write: codes = {CAB_ERR_OUTPUT}; break;
        case HostOp::Seek: codes = {CAB_ERR_CORRUPT}; break;
        case HostOp::Close: codes = {CAB_ERR_CORRUPT}; break;
    }
    // Without its scratch file Quantum has no window; pages that cannot be
    // written out or read back are decode errors.
    if (scratch_file) codes.push_back(op == HostOp::Open ? CAB_ERR_MEMORY : CAB_ERR_DECODE);
    return codes;
}

// The notifications of a run, one per line, for failure messages.
std::string notes_of(const Extraction &x) {
    std::string lines;
    for (const auto &event : x.events) lines += "\n" + event;
    return lines;
}

void PrintTo(const FaultCase &c, std::ostream *out) { *out << c.name; }

const char *op_name(HostOp op) {
    static const char *const names[] = {"alloc", "open", "read", "write", "seek", "close"};
    return names[static_cast<int>(op)];
}

class FaultInjection : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        const FaultCase &c = GetParam();
        set_ = cabwriter::write_cabinet_set(c.folders, c.options);
        cabtest::add_cabinets(host_, set_);
        for (const auto &folder : c.folders)
            for (const auto &f : folder.files) expected_[f.name] = f.data;
    }

    void limit_memory() {
        host_.refuse_allocation = nullptr;
        if (GetParam().force_paged_window) GetParam().force_paged_window(host_);
    }

    // A host that tries a refused next cabinet again, as a user would after
    // a read error on a diskette.
    static void retry_next_cabinet(Extraction &x) {
        x.answer = [retries = 0](int32_t kind, CabNotification &note) mutable {
            if (kind == CAB_NOTE_NEXT_CABINET && note.error != 0 && retries++ < 3) return 0;
            return Extraction::kDefault;
        };
    }

    // Calls of each kind that a clean extraction makes once the context exists.
    size_t clean_calls(HostOp op) {
        limit_memory();
        Extraction x(host_);
        host_.reset_calls();
        EXPECT_TRUE(x.copy_set(set_[0].name)) << "clean run failed: " << x.error.code;
        EXPECT_EQ(x.files, expected_);
        return host_.calls(op);
    }

    // One extraction with the n-th call of `op` failed or cut short.
    void run_with_failure(HostOp op, size_t n, bool short_transfer) {
        const std::string what = std::string(short_transfer ? "short " : "failed ") + op_name(op) +
                                 " #" + std::to_string(n);
        limit_memory();
        {
            Extraction x(host_);
            retry_next_cabinet(x);
            host_.fail_call(op, n, short_transfer);
            const bool ok = x.copy_set(set_[0].name);
            host_.clear_failure();
            EXPECT_EQ(host_.open_handles(false), 0u) << what;
            if (ok) {
                EXPECT_EQ(x.files, expected_) << what << " reported success with other files";
            } else {
                const auto codes = codes_for(op, GetParam().force_paged_window != nullptr);
                EXPECT_NE(std::find(codes.begin(), codes.end(), x.error.code), codes.end())
                    << what << " ended with error " << x.error.code << notes_of(x);
            }
            x.files.clear();
            limit_memory();  // the failed run may have used up the page buffers
            EXPECT_TRUE(x.copy_set(set_[0].name))
                << what << ": context unusable, error " << x.error.code;
            EXPECT_EQ(x.files, expected_) << what << ": later copy";
        }
        EXPECT_EQ(host_.open_handles(), 0u) << what;
        EXPECT_EQ(host_.live_blocks(), 0u) << what;
        ++runs_;
    }

    MemoryHost host_;
    std::vector<cabwriter::Cabinet> set_;
    std::map<std::string, std::vector<uint8_t>> expected_;
    size_t runs_ = 0;
};

TEST_P(FaultInjection, EveryFailedCallEndsCleanly) {
    for (HostOp op :
         {HostOp::Alloc, HostOp::Open, HostOp::Read, HostOp::Write, HostOp::Seek, HostOp::Close}) {
        const size_t calls = clean_calls(op);
        for (size_t n = 1; n <= calls && !HasFailure(); ++n) {
            run_with_failure(op, n, false);
            if (op == HostOp::Read || op == HostOp::Write) run_with_failure(op, n, true);
        }
    }
    RecordProperty("failed_calls", static_cast<int>(runs_));
    std::printf("%s: %zu runs with a failed or short call\n", GetParam().name.c_str(), runs_);
}

INSTANTIATE_TEST_SUITE_P(Cabinets, FaultInjection, ::testing::ValuesIn(fault_cases()),
                         [](const auto &info) { return info.param.name; });

}  // namespace
