// LZX decoder: method 3, window exponent 15..21 in bits 8-12 of the method.
#pragma once

#include "cab/decoder.h"

namespace cab {
extern const DecoderOps kLzxDecoder;
}
