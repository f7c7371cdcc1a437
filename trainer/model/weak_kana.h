// Weak-kana practice: draws the kana of a course by weight, so kana the
// learner often gets wrong or types slowly come more often.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "trainer/model/drill.h"

namespace tapmora {

// What the history knows of one kana, over every course it was typed in.
struct KanaHistory {
    char16_t kana = 0;
    std::int64_t attempts = 0;
    std::int64_t correct = 0;
    double medianMs = -1;  // of correct keys; negative when none was timed
};

class WeakKanaDraw final : public IndexDraw {
public:
    // Share of the draws made as in the plain course, so that every kana
    // still comes at least this fraction as often as it would there.
    static constexpr double kUniformShare = 0.25;

    // Kana of `course` missing from `history` count as untried.
    WeakKanaDraw(const Course &course, std::span<const KanaHistory> history);

    // How strongly `entry` (an entry of the course) is favoured: 1 for a kana
    // typed fast and without errors, up to 1 + kErrorWeight + kSlowWeight
    // for one always wrong and at least twice the course's typical time.
    double weight(const CourseEntry &entry) const;

    // The index of an entry other than `shown`, with a chance proportional to
    // kUniformShare / n + (1 - kUniformShare) * weight / sum of weights.
    int draw(float r, const CourseEntry *shown) const override;

private:
    static constexpr double kErrorWeight = 10;
    static constexpr double kSlowWeight = 4;

    std::span<const CourseEntry> entries_;
    std::vector<double> weights_;  // per entry
    std::vector<double> chances_;  // per entry, summing to 1
};

}  // namespace tapmora
