#include "trainer/model/random.h"

#include <bit>
#include <chrono>

namespace tapmora {
namespace {

constexpr std::uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ULL;

// Finaliser of the split-mix generator: spreads every input bit over the word.
std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

double secondsSinceMidnight() {
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    return duration<double>(now - floor<days>(now)).count();
}

void TimeOfDayRandom::reseed(double seed) {
    state_ = mix(state_ ^ (std::bit_cast<std::uint64_t>(seed) * kGoldenGamma));
}

float TimeOfDayRandom::nextUnit() {
    state_ += kGoldenGamma;
    // The top 24 bits fill a float's mantissa exactly, so the result is a
    // multiple of 2^-24 below 1 and never rounds up to 1.
    return static_cast<float>(mix(state_) >> 40) * 0x1p-24f;
}

}  // namespace tapmora
