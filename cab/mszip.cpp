#include "cab/mszip.h"

namespace cab {
namespace {

// Not implemented yet: every folder of this method fails with CAB_ERR_DECODE.
int size_query(uint32_t, unsigned, uint32_t *) { return kDecodeBadParameter; }
int create(uint32_t, unsigned, const HostCallbacks &, int32_t, void **) { return kDecodeBadParameter; }
int decode(void *, const uint8_t *, uint32_t, uint8_t *, uint32_t *) { return kDecodeBadInstance; }
int reset(void *) { return kDecodeBadInstance; }
int destroy(void *) { return kDecodeBadInstance; }

}  // namespace

const DecoderOps kMszipDecoder = {size_query, create, decode, reset, destroy};

}  // namespace cab
