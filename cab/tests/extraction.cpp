#include "cab/tests/extraction.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "cab/format.h"

namespace cabtest {

Extraction::Extraction(MemoryHost &host) : host_(host), context_(host.create_context(&error)) {
    if (!context_) throw std::runtime_error("cab_create failed");
}

Extraction::~Extraction() { cab_destroy(context_); }

std::string Extraction::fault() const {
    const char *where = cab_last_fault(context_);
    return where ? where : "";
}

bool Extraction::copy(const std::string &name, const std::string &path) {
    first_cabinet_note_ = true;
    return cab_copy(context_, name.c_str(), path.c_str(), 0, notify, hook, this) == 1;
}

bool Extraction::copy_set(const std::string &first, const std::string &path) {
    std::string name = first;
    for (;;) {
        next_in_set_.clear();
        if (!copy(name, path)) return false;
        if (next_in_set_.empty()) return true;
        name = next_in_set_;
    }
}

int32_t Extraction::notify(int32_t kind, CabNotification *note) {
    auto *self = static_cast<Extraction *>(note->user);
    if (self->answer) {
        const int32_t a = self->answer(kind, *note);
        if (a != kDefault) {
            self->events.push_back("answer " + std::to_string(kind) + " " + std::to_string(a));
            return a;
        }
    }
    return self->default_answer(kind, *note);
}

int32_t Extraction::default_answer(int32_t kind, CabNotification &note) {
    switch (kind) {
        case CAB_NOTE_CABINET:
            events.push_back("cabinet " + std::string(note.text3) + " next=" + note.name);
            if (first_cabinet_note_) next_in_set_ = note.name;
            first_cabinet_note_ = false;
            return 0;
        case CAB_NOTE_CONTINUED_FILE:
            events.push_back("continued " + std::string(note.name));
            return 0;
        case CAB_NOTE_FILE_START: {
            events.push_back("start " + std::string(note.name));
            const int32_t handle = host_.create_output(note.name);
            outputs_[handle] = note.name;
            return handle;
        }
        case CAB_NOTE_FILE_END: {
            events.push_back("end " + std::string(note.name));
            const std::string name = outputs_.at(note.handle);
            outputs_.erase(note.handle);
            MemoryHost::close(note.handle);
            files[name] = host_.file(name);
            order.push_back(name);
            file_ends.push_back(note);
            return 1;
        }
        case CAB_NOTE_NEXT_CABINET:
            events.push_back("next " + std::string(note.name) +
                             " error=" + std::to_string(note.error));
            if (note.error != 0) return -1;
            return 0;
        case CAB_NOTE_FILE_LIST:
            events.push_back("list " + std::to_string(note.folder_index));
            return 0;
        default: return 0;
    }
}

cabwriter::FileEntry file_of(const std::string &name, std::vector<uint8_t> data) {
    cabwriter::FileEntry f;
    f.name = name;
    f.data = std::move(data);
    return f;
}

cabwriter::FileEntry test_file(const std::string &name, size_t size, uint32_t seed) {
    return file_of(name, test_bytes(size, seed));
}

void expect_files(const Extraction &x, const std::vector<cabwriter::Folder> &folders) {
    size_t count = 0;
    for (const auto &folder : folders) {
        for (const auto &f : folder.files) {
            ++count;
            ASSERT_TRUE(x.files.count(f.name)) << f.name << " was not extracted";
            EXPECT_TRUE(x.files.at(f.name) == f.data) << f.name;
        }
    }
    EXPECT_EQ(x.files.size(), count);
}

void expect_round_trip(const std::vector<cabwriter::Folder> &folders, uint32_t max_cabinet_size) {
    MemoryHost host;
    cabwriter::SetOptions options;
    options.max_cabinet_size = max_cabinet_size;
    const auto cabinets = cabwriter::write_cabinet_set(folders, options);
    EXPECT_EQ(cabinets.size() > 1, max_cabinet_size != 0);
    add_cabinets(host, cabinets);
    Extraction x(host);
    ASSERT_TRUE(x.copy_set(cabinets[0].name))
        << "error " << x.error.code << " " << x.fault() << ", cabinet size " << max_cabinet_size;
    for (const auto &folder : folders)
        for (const auto &f : folder.files)
            EXPECT_EQ(x.files[f.name], f.data) << f.name << " " << max_cabinet_size;
}

void add_cabinets(MemoryHost &host, const std::vector<cabwriter::Cabinet> &cabinets,
                  const std::string &path) {
    for (const auto &c : cabinets) host.add_file(path + c.name, c.bytes);
}

std::vector<uint8_t> test_bytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        // Mostly text-like with repeats, so compressors have something to find.
        out[i] = (x % 4 == 0) ? static_cast<uint8_t>(x >> 8)
                              : static_cast<uint8_t>('a' + (i / 7 + seed) % 13);
    }
    return out;
}

std::vector<size_t> file_entry_positions(const std::vector<uint8_t> &cabinet) {
    const uint16_t count = cab::load_u16(cabinet.data() + cab::kHeaderFileCount);
    size_t at = cab::load_u32(cabinet.data() + cab::kHeaderFilesOffset);
    std::vector<size_t> positions;
    for (uint16_t i = 0; i < count; ++i) {
        positions.push_back(at);
        at += cab::kFileEntrySize;
        at += std::strlen(reinterpret_cast<const char *>(cabinet.data() + at)) + 1;
    }
    return positions;
}

void put_u16(std::vector<uint8_t> &bytes, size_t at, uint16_t v) {
    cab::store_u16(bytes.data() + at, v);
}

void put_u32(std::vector<uint8_t> &bytes, size_t at, uint32_t v) {
    cab::store_u32(bytes.data() + at, v);
}

}  // namespace cabtest
