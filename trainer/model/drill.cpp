#include "trainer/model/drill.h"

#include <cmath>

namespace tapmora {

int drawIndex(float r, int drawCount) {
    return static_cast<int>(std::floor(double{r} * drawCount + 1.0));
}

CountResult drillStep(const Course& course, std::int16_t keyCode, DrillView& view,
                      RandomSource& random) {
    random.reseedFromTimeOfDay();
    int next = drawIndex(random.nextUnit(), course.drawCount);
    view.hideMarks();

    if (const CourseEntry* shown = course.findKana(view.displayedKana())) {
        if (keyCode == shown->keyCode) {
            if (view.Seikai() == CountResult::AtLimit)
                return CountResult::AtLimit;
        } else {
            view.beep();
            if (view.Matigai() == CountResult::AtLimit)
                return CountResult::AtLimit;
            next = shown->index;  // the same kana again until typed right
        }
    }

    if (const CourseEntry* entry = course.findIndex(next))
        view.showKana(entry->kana);
    view.beep();
    return CountResult::Counted;
}

}  // namespace tapmora
