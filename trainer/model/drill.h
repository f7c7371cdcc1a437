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

protected:
    ~DrillView() = default;
};

// The next index for a draw r in [0, 1): floor(r * drawCount + 1), in 1..drawCount.
int drawIndex(float r, int drawCount);

// Judges `keyCode` against the displayed kana, counts the verdict, shows the
// next kana and beeps (twice in all for a wrong key). A kana this course
// lacks, or an empty display, is not judged: the step only shows a new kana.
// When the verdict's counter is at its limit the step stops right after the
// verdict, leaving the display as it was, and returns AtLimit.
CountResult drillStep(const Course& course, std::int16_t keyCode, DrillView& view,
                      RandomSource& random);

}  // namespace tapmora
