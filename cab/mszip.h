// MSZIP decoder: method 1. Each data block is "CK" followed by a raw Deflate
// stream; matches may reach into the previous block's output.
#pragma once

#include "cab/decoder.h"

namespace cab {
extern const DecoderOps kMszipDecoder;
}
