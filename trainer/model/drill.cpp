#include "trainer/model/drill.h"

#include <cmath>

namespace tapmora {

int drawIndex(float r, int drawCount) {
    return static_cast<int>(std::floor(double{r} * drawCount + 1.0));
}

namespace {

class UniformDraw final : public IndexDraw {
public:
    explicit UniformDraw(int drawCount) : drawCount_(drawCount) {}
    int draw(float r, const CourseEntry *) const override { return drawIndex(r, drawCount_); }

private:
    int drawCount_;
};

}  // namespace

CountResult drillStep(const Course &course, std::int16_t keyCode, DrillView &view,
                      RandomSource &random) {
    return drillStep(course, keyCode, view, random, UniformDraw(course.drawCount));
}

CountResult drillStep(const Course &course, std::int16_t keyCode, DrillView &view,
                      RandomSource &random, const IndexDraw &draw) {
    const CourseEntry *shown = course.findKana(view.displayedKana());
    random.reseedFromTimeOfDay();
    int next = draw.draw(random.nextUnit(), shown);
    view.hideMarks();

    if (shown) {
        view.keyJudged(*shown, keyCode,
                       keyCode == shown->keyCode ? Verdict::Correct : Verdict::Wrong);
        if (keyCode == shown->keyCode) {
            if (view.Seikai() == CountResult::AtLimit) return CountResult::AtLimit;
        } else {
            view.beep();
            if (view.Matigai() == CountResult::AtLimit) return CountResult::AtLimit;
            next = shown->index;  // the same kana again until typed right
        }
    }

    if (const CourseEntry *entry = course.findIndex(next)) view.showKana(entry->kana);
    view.beep();
    return CountResult::Counted;
}

}  // namespace tapmora
