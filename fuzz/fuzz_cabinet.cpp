// The whole engine over in-memory cabinets: one to three cabinets of a set,
// every method, output discarded. Input: a mode byte (bits 0-1 the cabinet
// count, bits 2-7 which of every six files to skip), then for each cabinet a
// 32-bit little-endian length and its bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cab/testing/memory_host.h"
#include "fuzz/fuzz_input.h"

namespace {

struct Walk {
    cabtest::MemoryHost *host;
    std::string next;
    bool first_note;
    unsigned skip_mask;
    unsigned files_offered;
};

int32_t start_file(Walk &walk) {
    const bool skip = (walk.skip_mask >> (walk.files_offered++ % 6)) & 1;
    return skip ? 0 : walk.host->create_sink();
}

int32_t notify(int32_t kind, CabNotification *note) {
    auto *walk = static_cast<Walk *>(note->user);
    switch (kind) {
        case CAB_NOTE_CABINET:
            if (walk->first_note) walk->next = note->name;
            walk->first_note = false;
            return 0;
        case CAB_NOTE_FILE_START: return start_file(*walk);
        case CAB_NOTE_FILE_END: return cabtest::MemoryHost::close(note->handle) == 0 ? 1 : 0;
        case CAB_NOTE_NEXT_CABINET: return note->error == 0 ? 0 : -1;
        default: return 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    cabtest::MemoryHost host;
    host.largest_allocation = 8u << 20;
    const auto cabinets = fuzz::split_cabinets(data, size);
    for (size_t i = 0; i < cabinets.size(); ++i)
        host.add_file("cabinet" + std::to_string(i + 1) + ".cab", cabinets[i]);

    CabError error{};
    CabContext *cx = host.create_context(&error);
    if (!cx) return 0;
    Walk walk{&host, "cabinet1.cab", true, size ? data[0] >> 2 : 0u, 0};
    // Follow the set as an installer does, at most a few cabinets deep.
    for (int calls = 0; calls < 4 && !walk.next.empty(); ++calls) {
        const std::string name = walk.next;
        walk.next.clear();
        walk.first_note = true;
        if (!cab_copy(cx, name.c_str(), "", 0, notify, nullptr, &walk)) break;
    }
    // Every decode error says which check found it.
    if (error.code == CAB_ERR_DECODE && cab_last_fault(cx) == nullptr) __builtin_trap();
    cab_destroy(cx);
    // Every handle closed, every block freed, and memory bounded by the
    // largest window plus the engine's buffers, whatever the cabinet says.
    if (host.open_handles() != 0 || host.live_blocks() != 0 || host.peak_bytes() > (3u << 20))
        __builtin_trap();
    return 0;
}
