#include "trainer/model/key_names.h"

#include "trainer/model/course_tables.h"

namespace tapmora {

std::u16string keyCharacter(std::int16_t keyCode) {
    switch (keyCode) {
    case 8: return u"Backspace";
    case 9: return u"Tab";
    case 13: return u"Enter";
    case 27: return u"Esc";
    case 32: return u"Space";
    default: break;
    }
    if (keyCode > 32 && keyCode != 127)
        return std::u16string(1, static_cast<char16_t>(keyCode));
    std::u16string number = u"#";
    for (char digit : std::to_string(keyCode))
        number += static_cast<char16_t>(digit);
    return number;
}

std::u16string kanaOfKey(std::int16_t keyCode) {
    std::u16string kana;
    // The sixth course only repeats kana of the others.
    for (int number = 1; number < kCourseCount; ++number)
        for (const CourseEntry& entry : course(number).entries)
            if (entry.keyCode == keyCode) {
                if (!kana.empty())
                    kana += u'／';
                kana += entry.kana;
            }
    return kana;
}

}  // namespace tapmora
