#include "sfx/sfx_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "sfx/settings.h"

namespace sfx {
namespace {

constexpr uint8_t kMarker[] = {'$', '$', '$', '$'};

void check_stub(std::span<const uint8_t> stub) {
    if (std::search(stub.begin(), stub.end(), std::begin(kMarker), std::end(kMarker)) != stub.end()) {
        throw std::invalid_argument("the stub contains four '$' in a row");
    }
    // A '$' at the very end would join the marker and shift the block.
    if (!stub.empty() && stub.back() == '$') throw std::invalid_argument("the stub ends with '$'");
}

void append(std::vector<uint8_t> &out, std::string_view bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void append_entry(std::vector<uint8_t> &out, std::string_view key,
                  const std::optional<std::string> &value, size_t limit) {
    if (!value) return;
    if (value->find('\0') != std::string::npos) {
        throw std::invalid_argument(std::string(key) + " holds a NUL byte");
    }
    if (value->size() > limit) {
        throw std::invalid_argument(std::string(key) + " is longer than " + std::to_string(limit) +
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
    if (cabinet.size() < 4 || std::memcmp(cabinet.data(), "MSCF", 4) != 0) {
        throw std::invalid_argument("the cabinet does not begin with MSCF");
    }
    std::vector<uint8_t> out(stub.begin(), stub.end());
    out.insert(out.end(), std::begin(kMarker), std::end(kMarker));
    append_entry(out, "$CABINET", block.cabinet_name, kMaxText);
    append_entry(out, "$TITLE", block.title, kMaxText);
    append_entry(out, "$MSG", block.message, kMaxMessage);
    append_entry(out, "$CMDLINE", block.options, kMaxText);
    out.push_back('$');
    out.insert(out.end(), cabinet.begin(), cabinet.end());
    return out;
}

}  // namespace sfx
