// Random source of the drill: uniform single-precision values in [0, 1),
// reseeded from the time of day before every draw.
#pragma once

#include <cstdint>

namespace tapmora {

class RandomSource {
public:
    virtual void reseedFromTimeOfDay() = 0;
    virtual float nextUnit() = 0;  // 0 <= r < 1

protected:
    ~RandomSource() = default;
};

// Seconds since midnight (UTC), with sub-second resolution.
double secondsSinceMidnight();

// A reseed folds the seed into the running state rather than restarting the
// sequence, so two steps within the same clock tick still draw independently.
class TimeOfDayRandom final : public RandomSource {
public:
    using Clock = double (*)();
    explicit TimeOfDayRandom(Clock clock = secondsSinceMidnight) : clock_(clock) {}

    void reseed(double seed);
    void reseedFromTimeOfDay() override { reseed(clock_()); }
    float nextUnit() override;

private:
    Clock clock_;
    std::uint64_t state_ = 0x853C49E6748FEA9BULL;
};

}  // namespace tapmora
