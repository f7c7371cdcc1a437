#include "cab/decoder.h"

#include "cab/lzx.h"
#include "cab/mszip.h"
#include "cab/quantum.h"

namespace cab {

const DecoderOps *decoder_for_method(unsigned method) {
    switch (method) {
        case kMethodMszip: return &kMszipDecoder;
        case kMethodQuantum: return &kQuantumDecoder;
        case kMethodLzx: return &kLzxDecoder;
        default: return nullptr;
    }
}

}  // namespace cab
