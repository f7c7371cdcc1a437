#include "cab/decoder.h"

#include "cab/lzx.h"
#include "cab/mszip.h"
#include "cab/quantum.h"

namespace cab {

const DecoderOps *decoder_for_method(unsigned method) {
    switch (method) {
    case 1: return &kMszipDecoder;
    case 2: return &kQuantumDecoder;
    case 3: return &kLzxDecoder;
    default: return nullptr;
    }
}

}  // namespace cab
