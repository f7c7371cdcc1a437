#include "trainer/model/course_tables.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace tapmora {
namespace {

// Kana-direct keys of a JIS keyboard, typed in half-width alphanumeric mode:
// each kana is tested through the ASCII character its key produces.
constexpr CourseEntry kHomeRow[] = {
    {1, u'ち', 'a'}, {2, u'と', 's'},  {3, u'し', 'd'},  {4, u'は', 'f'},
    {5, u'き', 'g'}, {6, u'く', 'h'},  {7, u'ま', 'j'},  {8, u'の', 'k'},
    {9, u'り', 'l'}, {10, u'れ', ';'}, {11, u'け', ':'}, {12, u'む', ']'},
};

constexpr CourseEntry kRowAboveHome[] = {
    {1, u'た', 'q'},      {2, u'て', 'w'},  {3, u'い', 'e'},      {4, u'す', 'r'},
    {5, u'か', 't'},      {6, u'ん', 'y'},  {7, u'な', 'u'},      {8, u'に', 'i'},
    {9, u'ら', 'o'},      {10, u'せ', 'p'}, {11, u'\u309B', '@'},  // spacing voiced sound mark
    {12, u'\u309C', '['},                                          // spacing semi-voiced sound mark
};

constexpr CourseEntry kTopRow[] = {
    {1, u'ぬ', '1'},  {2, u'ふ', '2'},  {3, u'あ', '3'},   {4, u'う', '4'}, {5, u'え', '5'},
    {6, u'お', '6'},  {7, u'や', '7'},  {8, u'ゆ', '8'},   {9, u'よ', '9'}, {10, u'わ', '0'},
    {11, u'ほ', '-'}, {12, u'へ', '^'}, {13, u'ー', '\\'},  // the yen-sign key, which produces 92
};

constexpr CourseEntry kRowBelowHome[] = {
    {1, u'つ', 'z'}, {2, u'さ', 'x'},  {3, u'そ', 'c'},   {4, u'ひ', 'v'},
    {5, u'こ', 'b'}, {6, u'み', 'n'},  {7, u'も', 'm'},   {8, u'ね', ','},
    {9, u'る', '.'}, {10, u'め', '/'}, {11, u'ろ', '\\'},  // the ろ key also produces 92
};

// Index 8 has no entry, so drawing it keeps the kana on display.
constexpr CourseEntry kShifted[] = {
    {1, u'ぁ', '#'},  {2, u'ぅ', '$'},  {3, u'ぇ', '%'},  {4, u'ぉ', '&'},
    {5, u'ゃ', '\''}, {6, u'ゅ', '('},  {7, u'ょ', ')'},  {9, u'「', '{'},
    {10, u'」', '}'}, {11, u'・', '?'}, {12, u'。', '>'}, {13, u'、', '<'},
};

constexpr std::int16_t kHomeRowDraws = 12;
constexpr std::int16_t kRowAboveHomeDraws = 12;
constexpr std::int16_t kTopRowDraws = 13;
constexpr std::int16_t kRowBelowHomeDraws = 11;
constexpr std::int16_t kShiftedDraws = 13;

// The all-keys course lays the draw ranges of the home, upper, top and
// shifted courses end to end, so the shifted course's gap at 8 recurs at 45.
// The row below the home row is drilled on its own and is not part of it.
constexpr std::int16_t kAllKeysDraws =
    kHomeRowDraws + kRowAboveHomeDraws + kTopRowDraws + kShiftedDraws;

constexpr auto kAllKeys = [] {
    std::array<CourseEntry, std::size(kHomeRow) + std::size(kRowAboveHome) + std::size(kTopRow) +
                                std::size(kShifted)>
        all{};
    std::size_t filled = 0;
    int offset = 0;
    auto append = [&](std::span<const CourseEntry> part, int drawCount) {
        for (const CourseEntry &entry : part)
            all[filled++] = {static_cast<std::int16_t>(offset + entry.index), entry.kana,
                             entry.keyCode};
        offset += drawCount;
    };
    append(kHomeRow, kHomeRowDraws);
    append(kRowAboveHome, kRowAboveHomeDraws);
    append(kTopRow, kTopRowDraws);
    append(kShifted, kShiftedDraws);
    return all;
}();

constexpr Course kCourses[kCourseCount] = {
    {kHomeRow, kHomeRowDraws}, {kRowAboveHome, kRowAboveHomeDraws},
    {kTopRow, kTopRowDraws},   {kRowBelowHome, kRowBelowHomeDraws},
    {kShifted, kShiftedDraws}, {kAllKeys, kAllKeysDraws},
};

}  // namespace

const CourseEntry *Course::findKana(std::u16string_view shown) const {
    if (shown.size() != 1) return nullptr;
    auto found = std::ranges::find(entries, shown.front(), &CourseEntry::kana);
    return found == entries.end() ? nullptr : &*found;
}

const CourseEntry *Course::findIndex(int index) const {
    auto found = std::ranges::find(entries, index, &CourseEntry::index);
    return found == entries.end() ? nullptr : &*found;
}

const Course &course(int number) {
    assert(number >= 1 && number <= kCourseCount);
    return kCourses[number - 1];
}

}  // namespace tapmora
