#include "trainer/model/score.h"

#include <algorithm>
#include <limits>

namespace tapmora {
namespace {

bool isCourse(int number) { return number >= 1 && number <= kCourseCount; }

bool addWithinLimit(std::int16_t a, std::int16_t b, std::int16_t &sum) {
    const int wide = int{a} + int{b};
    if (wide > std::numeric_limits<std::int16_t>::max() ||
        wide < std::numeric_limits<std::int16_t>::min())
        return false;
    sum = static_cast<std::int16_t>(wide);
    return true;
}

// Sums one field over the six courses into `target`, stored only when every
// partial sum stayed within the limit.
bool sumCourses(ScoreModule &scores, const ScoreField (&fields)[kCourseCount], ScoreField target) {
    std::int16_t sum = 0;
    for (ScoreField field : fields)
        if (!addWithinLimit(sum, scores.*field, sum)) return false;
    scores.*target = sum;
    return true;
}

}  // namespace

CountResult countVerdict(ScoreModule &scores, Verdict verdict, int selectedCourse) {
    if (!isCourse(selectedCourse)) return CountResult::Counted;
    const auto &counts = verdict == Verdict::Correct ? kCorrectCounts : kWrongCounts;
    std::int16_t &count = scores.*counts[selectedCourse - 1];
    return addWithinLimit(count, 1, count) ? CountResult::Counted : CountResult::AtLimit;
}

CountResult ScoreTally::count(Verdict verdict, int selectedCourse) {
    const CountResult result = countVerdict(record_, verdict, selectedCourse);
    if (result == CountResult::Counted && isCourse(selectedCourse))
        for (const auto &[key, listener] : listeners_) listener();
    return result;
}

int ScoreTally::subscribe(Listener listener) {
    listeners_.emplace_back(nextKey_, std::move(listener));
    return nextKey_++;
}

void ScoreTally::unsubscribe(int key) {
    std::erase_if(listeners_, [key](const auto &entry) { return entry.first == key; });
}

CountResult recomputeTotals(ScoreModule &scores) {
    for (int c = 0; c < kCourseCount; ++c)
        if (!addWithinLimit(scores.*kCorrectCounts[c], scores.*kWrongCounts[c],
                            scores.*kCourseTotals[c]))
            return CountResult::AtLimit;
    const bool summed = sumCourses(scores, kCorrectCounts, &ScoreModule::ATrue) &&
                        sumCourses(scores, kWrongCounts, &ScoreModule::AFalse) &&
                        sumCourses(scores, kCourseTotals, &ScoreModule::ATFAll);
    return summed ? CountResult::Counted : CountResult::AtLimit;
}

}  // namespace tapmora
