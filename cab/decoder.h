// The contract between the extraction driver and the three decoders.
//
// The driver hands a decoder one cabinet data block at a time and knows
// nothing of its insides; a decoder knows nothing of cabinets. Every operation
// returns a DecoderResult; the driver maps 1 from create to CAB_ERR_MEMORY and
// every other nonzero result to CAB_ERR_DECODE.
//
// Rules all three decoders keep:
// - The largest block passed to size query and create is clamped: 0 or more
//   than kMaxBlockSize means kMaxBlockSize (clamp_largest_block).
// - A window exponent outside the method's range is kDecodeBadWindow, from
//   size query and create alike; MSZIP has no window and ignores it.
// - decode() leaves 0 in *count on every failure; only a success reports
//   bytes produced. The driver never writes bytes of a failed block.
// - Byte ranges read from the input are checked with fits() (cab/bytes.h).
// - Every check of the stream is a CAB_FAIL_IF (cab/fault.h), whose text the
//   instance keeps for last_fault(); preconditions that hold by construction
//   (bits buffered before a symbol is decoded, a copy inside the window) are
//   asserts, which the Debug and fuzz builds check.
#pragma once

#include <cstdint>

#include "cab/cab.h"
#include "cab/fault.h"
#include "cab/format.h"

namespace cab {

enum DecoderResult : int {
    kDecodeOk = 0,
    kDecodeNoMemory = 1,
    kDecodeBadInstance = 2,
    kDecodeBadParameter = 3,
    kDecodeDataError = 4,
    kDecodeBadWindow = 5,
};

// Zero bytes the driver keeps after the compressed buffer's capacity, so a
// decoder may read a few bytes past a block's end (LZX reads 4) without ever
// leaving the allocation.
inline constexpr uint32_t kInputSlack = 16;

constexpr uint32_t clamp_largest_block(uint32_t largest_block) {
    return largest_block == 0 || largest_block > kMaxBlockSize ? kMaxBlockSize : largest_block;
}

// The host's callbacks, as given to cab_create; decoders use alloc/free and,
// for Quantum's paged window, the file callbacks.
struct HostCallbacks {
    CabAllocFn alloc;
    CabFreeFn free;
    CabOpenFn open;
    CabReadFn read;
    CabWriteFn write;
    CabCloseFn close;
    CabSeekFn seek;
};

struct DecoderOps {
    // How decode() takes the count it is given: false, as the exact number of
    // bytes wanted (the block's uncompressed count); true, as a limit only:
    // the stream marks its own end, the decoder reports what it produced and
    // the driver compares that with the block's count (MSZIP).
    bool count_is_limit;
    // Reports the compressed buffer size the driver must provide for blocks of
    // up to `largest_block` uncompressed bytes. `window_exponent` is bits 8-12
    // of the method value (ignored by MSZIP).
    int (*size_query)(uint32_t largest_block, unsigned window_exponent,
                      uint32_t *compressed_capacity);
    // Creates an instance; on failure *instance is left null.
    int (*create)(uint32_t largest_block, unsigned window_exponent, const HostCallbacks &host,
                  int32_t processor_type, void **instance);
    // Decodes one block. `output` is the driver's 32768-byte buffer, the same
    // buffer for every block of a folder (MSZIP uses it as its history).
    // `count` is in: the bytes wanted (see count_is_limit), out: the bytes
    // produced, or 0 when the result is not kDecodeOk.
    int (*decode)(void *instance, const uint8_t *input, uint32_t input_size, uint8_t *output,
                  uint32_t *count);
    // Where the instance's last decode found its input bad: the failed
    // check as "file:line: condition" (cab/fault.h), or null when the last
    // decode did not end in kDecodeDataError.
    const char *(*last_fault)(void *instance);
    // Starts a new folder.
    int (*reset)(void *instance);
    int (*destroy)(void *instance);
};

// An instance's recorded fault, for last_fault(); null for no instance.
template <class Instance>
const char *fault_of(const Instance *instance) {
    return instance != nullptr ? instance->fault : nullptr;
}

// The decoder of a method (bits 0-3 of the method value); null for stored
// data (handled by the driver) and unknown methods.
const DecoderOps *decoder_for_method(unsigned method);

}  // namespace cab
