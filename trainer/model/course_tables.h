// The six drill courses: which kana each one shows and which key code each
// kana expects. Pure data; the drill step reads it in both directions.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tapmora {

struct CourseEntry {
    std::int16_t index;    // position in the draw range 1..drawCount
    char16_t kana;         // what the kana label shows
    std::int16_t keyCode;  // the only key code accepted for this kana
};

struct Course {
    std::span<const CourseEntry> entries;
    // Size of the range 1..drawCount the next index is drawn from. Numbers in
    // the range without an entry leave the display unchanged when drawn.
    std::int16_t drawCount;

    // The entry whose kana equals `shown` exactly, or null when `shown` is
    // empty, longer than one unit or not in this course.
    const CourseEntry *findKana(std::u16string_view shown) const;
    const CourseEntry *findIndex(int index) const;
};

inline constexpr int kCourseCount = 6;

// Courses are numbered 1 to 6 after the option buttons Option1 to Option6.
const Course &course(int number);

}  // namespace tapmora
