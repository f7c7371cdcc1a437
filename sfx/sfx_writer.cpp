#include "sfx/sfx_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sfx {
namespace {

constexpr uint8_t kMarker[] = {'$', '$', '$', '$'};

void check_stub(std::span<const uint8_t> stub) {
    if (std::search(stub.begin(), stub.end(), std::begin(kMarker), std::end(kMarker)) !=
        stub.end()) {
        throw std::invalid_argument("the stub contains four '$' in a row");
    }
    // A '$' at the very end would join the marker and shift the block.
    if (!stub.empty() && stub.back() == '$') throw std::invalid_argument("the stub ends with '$'");
}

void append(std::vector<uint8_t> &out, std::string_view bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void append_entry(std::vector<uint8_t> &out, const BlockEntry &entry,
                  const std::optional<std::string> &value) {
    if (!value) return;
    const std::string key(entry.key);
    if (value->find('\0') != std::string::npos)
        throw std::invalid_argument(key + " holds a NUL byte");
    if (value->size() > entry.limit) {
        throw std::invalid_argument(key + " is longer than " + std::to_string(entry.limit) +
                                    " bytes");
    }
    append(out, key);
    out.push_back('=');
    append(out, *value);
    out.push_back('\0');
}

}  // namespace

std::vector<uint8_t> write_self_extractor(std::span<const uint8_t> stub, const SfxBlock &block,
                                          std::span<const uint8_t> cabinet) {
    check_stub(stub);
    // The terminator's '$' is written here; the rest is the cabinet's own.
    const std::string_view signature = kBlockTerminator.substr(1);
    if (cabinet.size() < signature.size() ||
        std::memcmp(cabinet.data(), signature.data(), signature.size()) != 0) {
        throw std::invalid_argument("the cabinet does not begin with MSCF");
    }
    std::vector<uint8_t> out(stub.begin(), stub.end());
    out.insert(out.end(), std::begin(kMarker), std::end(kMarker));
    for (const BlockEntry &entry : kBlockEntries)
        append_entry(out, entry, block.*entry.written_from);
    out.push_back(static_cast<uint8_t>(kBlockTerminator[0]));
    out.insert(out.end(), cabinet.begin(), cabinet.end());
    return out;
}

}  // namespace sfx
