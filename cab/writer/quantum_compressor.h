// The writer's Quantum compressor: an arithmetic encoder driving the same
// adaptive models as the decoder, fed by a hash-chain match finder whose
// parse picks literals or one of the three match selectors by their cost
// under the current models.
#pragma once

#include "cab/writer/compressor.h"

namespace cabwriter {

struct QuantumOptions {
    unsigned window_exponent = 21;  // 10..21
    // Candidates examined per position in the deep (8-byte) hash chain;
    // more finds longer matches far back, slower.
    unsigned chain_depth = 32;
};

// Throws std::invalid_argument for a window exponent outside 10..21.
std::unique_ptr<FolderCompressor> make_quantum_compressor(const QuantumOptions &options);

}  // namespace cabwriter
