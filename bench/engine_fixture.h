// Shared pieces of the engine benchmarks: the mixed content written as a
// cabinet with a given method, and a full extraction to a discarding sink.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/mixed_content.h"
#include "cab/writer/writer.h"

namespace bench {

// The mixed content (`size` bytes, as 1 MiB files in one folder) written as
// one cabinet with `method`; built once per method and size.
std::shared_ptr<std::vector<uint8_t>> mixed_cabinet(const cabwriter::Method &method,
                                                    size_t size = 64u << 20);

struct ExtractResult {
    uint64_t bytes;      // bytes written by the engine
    size_t peak_memory;  // largest total the engine held through alloc
};

// Extracts every file of the cabinet through cab_copy with in-memory
// callbacks, discarding the output.
ExtractResult extract_to_sink(std::shared_ptr<std::vector<uint8_t>> cabinet);

// Benchmark body: extraction of the method's cabinet; reports MB/s of output
// and the engine's peak memory.
void extract_benchmark(benchmark::State &state, const cabwriter::Method &method);

}  // namespace bench
