// The score record: correct and wrong counts per course and the totals the
// score window derives from them, all signed 16-bit like the figures shown.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "trainer/model/course_tables.h"

namespace tapmora {

// Field names are those the score window's cells are named after
// (LblScoreHome shows ScoreHome, and so on).
struct ScoreModule {
    // Correct keys per course 1..6.
    std::int16_t ScoreHome = 0;
    std::int16_t ScoreHome1Up = 0;
    std::int16_t ScoreHome2Up = 0;
    std::int16_t ScoreHomeDown = 0;
    std::int16_t ScoreUseShift = 0;
    std::int16_t ScoreAll = 0;
    // Wrong keys per course 1..6.
    std::int16_t EScoreHome = 0;
    std::int16_t EScoreHome1Up = 0;
    std::int16_t EScoreHome2Up = 0;
    std::int16_t EScoreHomeDown = 0;
    std::int16_t EScoreUseShift = 0;
    std::int16_t EScoreAll = 0;
    // Keys judged per course 1..6 (correct + wrong), as last recomputed.
    std::int16_t AScoreHome = 0;
    std::int16_t AScoreHome1Up = 0;
    std::int16_t AScoreHome2Up = 0;
    std::int16_t AScoreHomeDown = 0;
    std::int16_t AScoreUseShift = 0;
    std::int16_t AScoreAll = 0;
    // Sums over all courses, as last recomputed.
    std::int16_t ATrue = 0;
    std::int16_t AFalse = 0;
    std::int16_t ATFAll = 0;

    bool operator==(const ScoreModule &) const = default;
};

using ScoreField = std::int16_t ScoreModule::*;

// Per course, in course order 1..6.
inline constexpr ScoreField kCorrectCounts[kCourseCount] = {
    &ScoreModule::ScoreHome,     &ScoreModule::ScoreHome1Up,  &ScoreModule::ScoreHome2Up,
    &ScoreModule::ScoreHomeDown, &ScoreModule::ScoreUseShift, &ScoreModule::ScoreAll,
};
inline constexpr ScoreField kWrongCounts[kCourseCount] = {
    &ScoreModule::EScoreHome,     &ScoreModule::EScoreHome1Up,  &ScoreModule::EScoreHome2Up,
    &ScoreModule::EScoreHomeDown, &ScoreModule::EScoreUseShift, &ScoreModule::EScoreAll,
};
inline constexpr ScoreField kCourseTotals[kCourseCount] = {
    &ScoreModule::AScoreHome,     &ScoreModule::AScoreHome1Up,  &ScoreModule::AScoreHome2Up,
    &ScoreModule::AScoreHomeDown, &ScoreModule::AScoreUseShift, &ScoreModule::AScoreAll,
};

// An addition that would pass 32767 is refused: the field keeps its value
// and the caller learns that the limit was reached.
enum class CountResult { Counted, AtLimit };

enum class Verdict { Correct, Wrong };

// Adds one to the correct or wrong count of `selectedCourse` (1..6); with no
// course selected (0) nothing is counted.
CountResult countVerdict(ScoreModule &scores, Verdict verdict, int selectedCourse);

// The run's score record and the verdicts that change it. Whoever shows the
// figures subscribes and is told after every verdict that changed a count,
// so it need not look for changes itself.
class ScoreTally {
public:
    using Listener = std::function<void()>;

    // countVerdict on the record, then every listener when a count changed.
    CountResult count(Verdict verdict, int selectedCourse);

    // Listeners must not subscribe or unsubscribe while being told.
    int subscribe(Listener listener);  // returns the key unsubscribe() takes
    void unsubscribe(int key);

    ScoreModule &record() { return record_; }

private:
    ScoreModule record_;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextKey_ = 0;
};

// Stores the per-course totals, then the correct, wrong and overall sums, in
// that order. The first addition that would pass the limit stops it there:
// what was stored before keeps its new value, the rest their old one.
CountResult recomputeTotals(ScoreModule &scores);

}  // namespace tapmora
