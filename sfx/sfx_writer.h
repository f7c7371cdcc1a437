// Builds a self-extracting file: the stub program, the configuration block
// and the cabinet.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sfx/payload_block.h"

namespace sfx {

// Returns stub, marker, entries, terminator and cabinet. Throws
// std::invalid_argument when the stub contains or ends in '$' so that the
// installer would find the marker in the wrong place, when a value holds a
// NUL or is longer than the installer accepts, or when the cabinet does not
// begin with "MSCF".
std::vector<uint8_t> write_self_extractor(std::span<const uint8_t> stub, const SfxBlock &block,
                                          std::span<const uint8_t> cabinet);

}  // namespace sfx
