#include "cab/testing/memory_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace cabtest {
namespace {

thread_local MemoryHost *current = nullptr;

MemoryHost &host() { return *current; }

// Allocations carry their size in front so free can account for them.
constexpr size_t kAllocHeader = 16;

}  // namespace

MemoryHost::MemoryHost() : previous_(current) { current = this; }

MemoryHost::~MemoryHost() { current = previous_; }

void MemoryHost::add_file(const std::string &path, std::vector<uint8_t> bytes) {
    files_[path] = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
}

void MemoryHost::share_file(const std::string &path, std::shared_ptr<std::vector<uint8_t>> bytes) {
    files_[path] = std::move(bytes);
}

const std::vector<uint8_t> &MemoryHost::file(const std::string &path) const {
    auto it = files_.find(path);
    if (it == files_.end()) throw std::out_of_range("no file " + path);
    return *it->second;
}

int32_t MemoryHost::add_handle(OpenFile file) {
    const int32_t handle = next_handle_++;
    handles_[handle] = std::move(file);
    return handle;
}

int32_t MemoryHost::create_output(const std::string &path) {
    auto data = std::make_shared<std::vector<uint8_t>>();
    files_[path] = data;
    return add_handle({data, 0, true});
}

int32_t MemoryHost::create_sink() { return add_handle({nullptr, 0, true}); }

CabContext *MemoryHost::create_context(CabError *error, int32_t processor_type) {
    return cab_create(alloc, free, open, read, write, close, seek, processor_type, error);
}

size_t MemoryHost::open_handles(bool include_scratch) const {
    size_t count = 0;
    for (const auto &[handle, file] : handles_) count += include_scratch || !file.scratch;
    return count;
}

void MemoryHost::fail_call(HostOp op, size_t n, bool short_transfer) {
    planned_ = {op, calls(op) + n, short_transfer};
}

MemoryHost::Fault MemoryHost::faulted(HostOp op) {
    const size_t call = ++calls_[static_cast<size_t>(op)];
    if (fault && fault(op)) return Fault::Fail;
    if (planned_.n == 0 || planned_.op != op || planned_.n != call) return Fault::None;
    planned_.n = 0;
    return planned_.short_transfer ? Fault::Short : Fault::Fail;
}

MemoryHost::OpenFile *MemoryHost::lookup(int32_t handle) {
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : &it->second;
}

void *MemoryHost::alloc(uint32_t size) {
    MemoryHost &h = host();
    if (h.faulted(HostOp::Alloc) != Fault::None || size > h.largest_allocation ||
        (h.refuse_allocation && h.refuse_allocation(size)))
        return nullptr;
    auto *block = static_cast<uint8_t *>(std::malloc(size + kAllocHeader));
    if (!block) return nullptr;
    std::memcpy(block, &size, sizeof size);
    // Fill with a pattern, so code that relies on zeroed memory it did not
    // clear itself shows up in tests.
    std::memset(block + kAllocHeader, 0xA5, size);
    ++h.live_blocks_;
    h.live_bytes_ += size;
    h.peak_bytes_ = std::max(h.peak_bytes_, h.live_bytes_);
    return block + kAllocHeader;
}

void MemoryHost::free(void *block) {
    if (!block) return;
    MemoryHost &h = host();
    auto *start = static_cast<uint8_t *>(block) - kAllocHeader;
    uint32_t size;
    std::memcpy(&size, start, sizeof size);
    --h.live_blocks_;
    h.live_bytes_ -= size;
    std::free(start);
}

int32_t MemoryHost::open(const char *path, int32_t flags, int32_t /*mode*/) {
    MemoryHost &h = host();
    if (h.faulted(HostOp::Open) != Fault::None) return -1;
    const std::string name(path);
    const bool writable = (flags & 0x3) != 0;
    if (name == "*") {  // a new anonymous scratch file
        return h.add_handle({std::make_shared<std::vector<uint8_t>>(), 0, true, true});
    }
    auto it = h.files_.find(name);
    if (it == h.files_.end()) {
        if (!(flags & 0x0100)) return -1;  // no create flag
        it = h.files_.emplace(name, std::make_shared<std::vector<uint8_t>>()).first;
    }
    if (flags & 0x0200) it->second->clear();  // truncate
    return h.add_handle({it->second, 0, writable});
}

int32_t MemoryHost::read(int32_t handle, void *buffer, uint32_t count) {
    MemoryHost &h = host();
    OpenFile *f = h.lookup(handle);
    if (!f || !f->data) return -1;
    const Fault fault = h.faulted(HostOp::Read);
    if (fault == Fault::Fail) return -1;
    const size_t size = f->data->size();
    size_t n = f->position >= size ? 0 : std::min<size_t>(count, size - f->position);
    if (fault == Fault::Short) n /= 2;
    if (n) std::memcpy(buffer, f->data->data() + f->position, n);
    f->position += n;
    return static_cast<int32_t>(n);
}

int32_t MemoryHost::write(int32_t handle, const void *buffer, uint32_t count) {
    MemoryHost &h = host();
    OpenFile *f = h.lookup(handle);
    if (!f || !f->writable) return -1;
    const Fault fault = h.faulted(HostOp::Write);
    if (fault == Fault::Fail) return -1;
    if (fault == Fault::Short) count = count / 2;  // as a full disk takes what fits
    h.bytes_written_ += count;
    if (!f->data) return static_cast<int32_t>(count);
    auto &data = *f->data;
    if (data.size() < f->position + count) data.resize(f->position + count);
    if (count) std::memcpy(data.data() + f->position, buffer, count);
    f->position += count;
    return static_cast<int32_t>(count);
}

int32_t MemoryHost::close(int32_t handle) {
    MemoryHost &h = host();
    if (!h.lookup(handle)) return -1;
    h.handles_.erase(handle);
    return h.faulted(HostOp::Close) != Fault::None ? -1 : 0;
}

int32_t MemoryHost::seek(int32_t handle, int32_t offset, int32_t origin) {
    MemoryHost &h = host();
    OpenFile *f = h.lookup(handle);
    if (!f || h.faulted(HostOp::Seek) != Fault::None) return -1;
    const int64_t base = origin == 0   ? 0
                         : origin == 1 ? static_cast<int64_t>(f->position)
                         : origin == 2 ? static_cast<int64_t>(f->data ? f->data->size() : 0)
                                       : -1;
    const int64_t target = base + offset;
    if (base < 0 || target < 0 || target > INT32_MAX) return -1;
    f->position = static_cast<size_t>(target);
    return static_cast<int32_t>(target);
}

}  // namespace cabtest
