// A random source that returns the draws a test scripts, then 0.
#pragma once

#include <deque>

#include "trainer/model/random.h"

class ScriptedRandom final : public tapmora::RandomSource {
public:
    void reseedFromTimeOfDay() override { ++reseeds; }
    float nextUnit() override {
        if (draws.empty()) return 0.0f;
        const float r = draws.front();
        draws.pop_front();
        return r;
    }
    // The draw that picks `index` out of 1..drawCount.
    static float pick(int index, int drawCount) {
        return (static_cast<float>(index) - 0.5f) / static_cast<float>(drawCount);
    }

    std::deque<float> draws;
    int reseeds = 0;
};
