// One drill step: the learner typed a key on a course's option button.
#pragma once

#include <cstdint>
#include <string>

#include "trainer/model/course_tables.h"
#include "trainer/model/random.h"
#include "trainer/model/score.h"

namespace tapmora {

// What the drill step needs of the main window.
class DrillView {
public:
    virtual std::u16string displayedKana() const = 0;
    virtual void showKana(char16_t kana) = 0;
    virtual void hideMarks() = 0;
    virtual void beep() = 0;
    // Show the correct or wrong mark and count the verdict for the selected
    // course.
    virtual CountResult Seikai() = 0;
    virtual CountResult Matigai() = 0;
    // Told of every judged key before its verdict is counted, so a key is
    // known even when its counter is at its limit. The history listens here.
    virtual void keyJudged(const CourseEntry &shown, std::int16_t keyCode, Verdict verdict) {
        (void)shown, (void)keyCode, (void)verdict;
    }

protected:
    ~DrillView() = default;
};

// Turns the step's random draw r in [0, 1) into the index of the next kana.
// `shown` is the entry on display when the key arrived, or null.
class IndexDraw {
public:
    virtual int draw(float r, const CourseEntry *shown) const = 0;

protected:
    ~IndexDraw() = default;
};

// The next index for a draw r in [0, 1): floor(r * drawCount + 1), in 1..drawCount.
int drawIndex(float r, int drawCount);

// Judges `keyCode` against the displayed kana, counts the verdict, shows the
// next kana and beeps (twice in all for a wrong key). A kana this course
// lacks, or an empty display, is not judged: the step only shows a new kana.
// When the verdict's counter is at its limit the step stops right after the
// verdict, leaving the display as it was, and returns AtLimit.
CountResult drillStep(const Course &course, std::int16_t keyCode, DrillView &view,
                      RandomSource &random);

// The same step with the next index chosen by `draw` instead of uniformly
// from 1..drawCount.
CountResult drillStep(const Course &course, std::int16_t keyCode, DrillView &view,
                      RandomSource &random, const IndexDraw &draw);

}  // namespace tapmora
