#include "sfx/embedded_cabinet.h"

#include <algorithm>
#include <climits>

#include "sfx/platform.h"

namespace sfx::platform {

EmbeddedCabinet::EmbeddedCabinet(size_t max_handles) : max_handles_(max_handles) {
    handles_.reserve(max_handles);
}

int32_t EmbeddedCabinet::open(const std::string &path, int32_t flags, int32_t mode, int32_t start) {
    if (handles_.size() >= max_handles_ || start < 0) return -1;
    const int32_t handle = open_file(path, flags, mode);
    if (handle == -1) return -1;
    handles_.push_back({handle, start});
    if (seek(handle, 0, 0) != 0) {
        close(handle);
        return -1;
    }
    return handle;
}

int32_t EmbeddedCabinet::start_of(int32_t handle) const {
    const auto found = std::find_if(handles_.begin(), handles_.end(),
                                    [handle](const Handle &h) { return h.handle == handle; });
    return found == handles_.end() ? 0 : found->start;
}

int32_t EmbeddedCabinet::seek(int32_t handle, int32_t offset, int32_t origin) const {
    const int32_t shift = start_of(handle);
    if (origin == 0) {
        if (offset > INT32_MAX - shift) return -1;
        offset += shift;
    }
    const int32_t position = seek_file(handle, offset, origin);
    // A position before the cabinet's start would read the container's bytes.
    if (position == -1 || position < shift) return -1;
    return position - shift;
}

int32_t EmbeddedCabinet::close(int32_t handle) {
    const auto found = std::find_if(handles_.begin(), handles_.end(),
                                    [handle](const Handle &h) { return h.handle == handle; });
    if (found != handles_.end()) handles_.erase(found);
    return close_file(handle);
}

}  // namespace sfx::platform
