// Quantum decoder: method 2, window exponent 10..21 in bits 8-12 of the method.
#pragma once

#include "cab/decoder.h"

namespace cab {
extern const DecoderOps kQuantumDecoder;
}
