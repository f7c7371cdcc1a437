#include "trainer/model/weak_kana.h"

#include <algorithm>
#include <cassert>
#include <numeric>

namespace tapmora {
namespace {

const KanaHistory *find(std::span<const KanaHistory> history, char16_t kana) {
    auto found = std::ranges::find(history, kana, &KanaHistory::kana);
    return found == history.end() ? nullptr : &*found;
}

// Share of wrong keys with a prior of one wrong in five, so an untried kana
// counts as somewhat weak and a few lucky keys do not make a kana look safe.
double errorRate(const KanaHistory *known) {
    const std::int64_t attempts = known ? known->attempts : 0;
    const std::int64_t wrong = known ? known->attempts - known->correct : 0;
    return static_cast<double>(wrong + 1) / static_cast<double>(attempts + 5);
}

// The middle of the course's kana medians: what counts as an ordinary speed.
double typicalMedianMs(std::span<const CourseEntry> entries, std::span<const KanaHistory> history) {
    std::vector<double> medians;
    for (const CourseEntry &entry : entries)
        if (const KanaHistory *known = find(history, entry.kana); known && known->medianMs > 0)
            medians.push_back(known->medianMs);
    if (medians.empty()) return 0;
    auto middle = medians.begin() + static_cast<std::ptrdiff_t>(medians.size() / 2);
    std::ranges::nth_element(medians, middle);
    return *middle;
}

}  // namespace

WeakKanaDraw::WeakKanaDraw(const Course &course, std::span<const KanaHistory> history)
    : entries_(course.entries) {
    assert(entries_.size() >= 2);
    const double typical = typicalMedianMs(entries_, history);
    for (const CourseEntry &entry : entries_) {
        const KanaHistory *known = find(history, entry.kana);
        double slowness = 0;  // how far above the typical time, capped at 2x
        if (known && known->medianMs > 0 && typical > 0)
            slowness = std::clamp(known->medianMs / typical - 1.0, 0.0, 1.0);
        weights_.push_back(1 + kErrorWeight * errorRate(known) + kSlowWeight * slowness);
    }
    const double total = std::accumulate(weights_.begin(), weights_.end(), 0.0);
    const double uniform = kUniformShare / static_cast<double>(entries_.size());
    for (double weight : weights_)
        chances_.push_back(uniform + (1 - kUniformShare) * weight / total);
}

double WeakKanaDraw::weight(const CourseEntry &entry) const {
    const auto position = static_cast<std::size_t>(&entry - entries_.data());
    assert(position < entries_.size());
    return weights_[position];
}

int WeakKanaDraw::draw(float r, const CourseEntry *shown) const {
    double excluded = 0;
    if (shown && shown >= entries_.data() && shown < entries_.data() + entries_.size())
        excluded = chances_[static_cast<std::size_t>(shown - entries_.data())];
    // Spread r over the entries except the one on display.
    double left = static_cast<double>(r) * (1 - excluded);
    const CourseEntry *last = nullptr;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (&entries_[i] == shown) continue;
        last = &entries_[i];
        if (left < chances_[i]) return last->index;
        left -= chances_[i];
    }
    return last->index;  // rounding left a sliver past the end
}

}  // namespace tapmora
