// A cabinet that lies inside a larger file (the installer's payload, a
// cabinet found in a setup program), presented to the engine as a file of
// its own. The engine seeks to the offsets its header names, so every handle
// opened on the containing file must see position 0 at the cabinet's first
// byte; this record keeps those handles and shifts their seeks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sfx::platform {

class EmbeddedCabinet {
public:
    // At most `max_handles` handles are open on the containing file at once:
    // a handle that could not be recorded would read the wrong bytes.
    explicit EmbeddedCabinet(size_t max_handles);

    // Opens `path`, which holds a cabinet at file offset `start`, positioned
    // at the cabinet's first byte. -1 on failure or when the limit is reached.
    int32_t open(const std::string &path, int32_t flags, int32_t mode, int32_t start);
    // Seeks any handle: one opened here relative to its cabinet's start (and
    // reports positions so), any other unchanged.
    int32_t seek(int32_t handle, int32_t offset, int32_t origin) const;
    // Closes any handle, forgetting it when it was opened here.
    int32_t close(int32_t handle);
    bool empty() const { return handles_.empty(); }

private:
    struct Handle {
        int32_t handle;
        int32_t start;
    };
    int32_t start_of(int32_t handle) const;

    size_t max_handles_;
    std::vector<Handle> handles_;  // reserved up front: no allocation per open
};

}  // namespace sfx::platform
