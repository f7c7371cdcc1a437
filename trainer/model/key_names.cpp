#include "trainer/model/key_names.h"

#include "trainer/model/jis_keyboard.h"

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
    if (keyCode > 32 && keyCode != 127) return std::u16string(1, static_cast<char16_t>(keyCode));
    std::u16string number = u"#";
    for (char digit : std::to_string(keyCode)) number += static_cast<char16_t>(digit);
    return number;
}

std::u16string kanaOfKey(std::int16_t keyCode) {
    std::u16string kana;
    auto add = [&kana](char16_t more) {
        if (!kana.empty()) kana += u'／';
        kana += more;
    };
    for (const JisKey &key : jisKeys()) {
        if (key.kana != 0 && key.code == keyCode) add(key.kana);
        // A capital letter comes from Caps Lock as well as from Shift, so it
        // names no shifted kana.
        if (key.shiftedKana != 0 && key.shiftedCode == keyCode && !key.isLetter())
            add(key.shiftedKana);
    }
    return kana;
}

}  // namespace tapmora
