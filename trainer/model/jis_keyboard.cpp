#include "trainer/model/jis_keyboard.h"

#include <algorithm>

namespace tapmora {
namespace {

using enum Finger;

// A one-row key at `left` quarters, 4 wide unless given.
constexpr JisKey key(std::uint16_t evdevCode, int row, int left, char16_t kana,
                     char16_t shiftedKana, char16_t code, char16_t shiftedCode, Finger finger,
                     std::u16string_view caption, int width = kKeyQuarters) {
    return {evdevCode,
            static_cast<std::uint8_t>(row),
            static_cast<std::uint8_t>(left),
            static_cast<std::uint8_t>(width),
            static_cast<std::uint8_t>(left),
            1,
            kana,
            shiftedKana,
            static_cast<std::int16_t>(code),
            static_cast<std::int16_t>(shiftedCode),
            finger,
            caption};
}

// A key drawn for orientation: no kana, no character unless given.
constexpr JisKey plain(std::uint16_t evdevCode, int row, int left, int width,
                       std::u16string_view caption, Finger finger = None, char16_t code = 0) {
    return key(evdevCode, row, left, 0, 0, code, code, finger, caption, width);
}

// The OADG 109A layout in half-width alphanumeric mode, which is what the
// courses' key codes come from: ¥ and ろ both deliver 92, and Shift+0
// delivers nothing.
constexpr JisKey kKeys[] = {
    // Number row.
    plain(evdev::kGrave, 0, 0, 4, u"半/全"),
    key(2, 0, 4, u'ぬ', 0, '1', '!', LeftPinky, u"1"),
    key(3, 0, 8, u'ふ', 0, '2', '"', LeftRing, u"2"),
    key(4, 0, 12, u'あ', u'ぁ', '3', '#', LeftMiddle, u"3"),
    key(5, 0, 16, u'う', u'ぅ', '4', '$', LeftIndex, u"4"),
    key(6, 0, 20, u'え', u'ぇ', '5', '%', LeftIndex, u"5"),
    key(7, 0, 24, u'お', u'ぉ', '6', '&', RightIndex, u"6"),
    key(8, 0, 28, u'や', u'ゃ', '7', '\'', RightIndex, u"7"),
    key(9, 0, 32, u'ゆ', u'ゅ', '8', '(', RightMiddle, u"8"),
    key(10, 0, 36, u'よ', u'ょ', '9', ')', RightRing, u"9"),
    key(11, 0, 40, u'わ', u'を', '0', 0, RightPinky, u"0"),
    key(12, 0, 44, u'ほ', 0, '-', '=', RightPinky, u"-"),
    key(13, 0, 48, u'へ', 0, '^', '~', RightPinky, u"^"),
    key(evdev::kYen, 0, 52, u'ー', 0, '\\', '|', RightPinky, u"¥"),
    plain(14, 0, 56, 4, u"BS", None, 8),
    // Upper letter row; Tab moves the focus and is never a drill key.
    plain(15, 1, 0, 6, u"Tab"),
    key(16, 1, 6, u'た', 0, 'q', 'Q', LeftPinky, u"Q"),
    key(17, 1, 10, u'て', 0, 'w', 'W', LeftRing, u"W"),
    key(18, 1, 14, u'い', u'ぃ', 'e', 'E', LeftMiddle, u"E"),
    key(19, 1, 18, u'す', 0, 'r', 'R', LeftIndex, u"R"),
    key(20, 1, 22, u'か', 0, 't', 'T', LeftIndex, u"T"),
    key(21, 1, 26, u'ん', 0, 'y', 'Y', RightIndex, u"Y"),
    key(22, 1, 30, u'な', 0, 'u', 'U', RightIndex, u"U"),
    key(23, 1, 34, u'に', 0, 'i', 'I', RightMiddle, u"I"),
    key(24, 1, 38, u'ら', 0, 'o', 'O', RightRing, u"O"),
    key(25, 1, 42, u'せ', 0, 'p', 'P', RightPinky, u"P"),
    key(26, 1, 46, u'\u309B', 0, '@', '`', RightPinky, u"@"),
    key(27, 1, 50, u'\u309C', u'「', '[', '{', RightPinky, u"["),
    // Enter reaches down into the home row, narrower there.
    {28, 1, 54, 6, 55, 2, 0, 0, 13, 13, None, u"Enter"},
    // Home row.
    plain(58, 2, 0, 7, u"英数"),
    key(30, 2, 7, u'ち', 0, 'a', 'A', LeftPinky, u"A"),
    key(31, 2, 11, u'と', 0, 's', 'S', LeftRing, u"S"),
    key(32, 2, 15, u'し', 0, 'd', 'D', LeftMiddle, u"D"),
    key(33, 2, 19, u'は', 0, 'f', 'F', LeftIndex, u"F"),
    key(34, 2, 23, u'き', 0, 'g', 'G', LeftIndex, u"G"),
    key(35, 2, 27, u'く', 0, 'h', 'H', RightIndex, u"H"),
    key(36, 2, 31, u'ま', 0, 'j', 'J', RightIndex, u"J"),
    key(37, 2, 35, u'の', 0, 'k', 'K', RightMiddle, u"K"),
    key(38, 2, 39, u'り', 0, 'l', 'L', RightRing, u"L"),
    key(39, 2, 43, u'れ', 0, ';', '+', RightPinky, u";"),
    key(40, 2, 47, u'け', 0, ':', '*', RightPinky, u":"),
    key(evdev::kBackslash, 2, 51, u'む', u'」', ']', '}', RightPinky, u"]"),
    // Lower letter row.
    plain(evdev::kLeftShift, 3, 0, 9, u"Shift", LeftPinky),
    key(44, 3, 9, u'つ', u'っ', 'z', 'Z', LeftPinky, u"Z"),
    key(45, 3, 13, u'さ', 0, 'x', 'X', LeftRing, u"X"),
    key(46, 3, 17, u'そ', 0, 'c', 'C', LeftMiddle, u"C"),
    key(47, 3, 21, u'ひ', 0, 'v', 'V', LeftIndex, u"V"),
    key(48, 3, 25, u'こ', 0, 'b', 'B', LeftIndex, u"B"),
    key(49, 3, 29, u'み', 0, 'n', 'N', RightIndex, u"N"),
    key(50, 3, 33, u'も', 0, 'm', 'M', RightIndex, u"M"),
    key(51, 3, 37, u'ね', u'、', ',', '<', RightMiddle, u","),
    key(52, 3, 41, u'る', u'。', '.', '>', RightRing, u"."),
    key(53, 3, 45, u'め', u'・', '/', '?', RightPinky, u"/"),
    // A full-width reverse solidus: Japanese fonts draw "\\" as a yen sign.
    key(evdev::kRo, 3, 49, u'ろ', 0, '\\', '_', RightPinky, u"＼"),
    plain(evdev::kRightShift, 3, 53, 7, u"Shift", RightPinky),
    // The space bar, under the keys from C to M.
    plain(evdev::kSpace, 4, 17, 20, u"", Thumb, ' '),
};

constexpr std::uint16_t kStandInCandidates[] = {evdev::kGrave, evdev::kIsoExtra, evdev::kRightCtrl,
                                                evdev::kMenu};

bool isLeftHand(Finger finger) { return finger < Thumb; }

bool inRange(char16_t c, char16_t first, char16_t last) { return c >= first && c <= last; }

}  // namespace

std::span<const JisKey> jisKeys() { return kKeys; }

const JisKey *jisKey(std::uint16_t evdevCode) {
    const auto found = std::ranges::find(kKeys, evdevCode, &JisKey::evdevCode);
    return found == std::end(kKeys) ? nullptr : &*found;
}

std::span<const std::uint16_t> standInCandidates() { return kStandInCandidates; }

const JisKey *pressedJisKey(std::uint16_t evdevCode, const StandIns &standIns) {
    if (evdevCode == 0) return nullptr;
    if (evdevCode == standIns.yen) return jisKey(evdev::kYen);
    if (evdevCode == standIns.ro) return jisKey(evdev::kRo);
    return jisKey(evdevCode);
}

std::optional<std::int16_t> deliveredCode(const JisKey &key, bool shift, bool capsLock) {
    const bool shifted = key.isLetter() ? shift != capsLock : shift;
    const std::int16_t code = shifted ? key.shiftedCode : key.code;
    if (code == 0) return std::nullopt;
    return code;
}

std::optional<KeyStroke> strokeForKana(char16_t kana) {
    if (kana == 0) return std::nullopt;
    for (const JisKey &key : kKeys) {
        if (key.kana == kana) return KeyStroke{&key, false};
        if (key.shiftedKana == kana) return KeyStroke{&key, true};
    }
    return std::nullopt;
}

std::optional<KeyStroke> strokeForCode(std::int16_t code) {
    if (code == 0) return std::nullopt;
    for (const JisKey &key : kKeys) {
        if (key.code == code) return KeyStroke{&key, false};
        if (key.shiftedCode == code) return KeyStroke{&key, true};
    }
    return std::nullopt;
}

const JisKey &shiftKeyFor(const JisKey &key) {
    return *jisKey(isLeftHand(key.finger) ? evdev::kRightShift : evdev::kLeftShift);
}

CharacterKind classifyCharacter(char16_t c) {
    // ¥ is what the 109A layout's yen key types.
    if (c < 0x80 || c == u'¥') return CharacterKind::Jis;
    // Hiragana and katakana with their marks, and the half-width katakana a
    // kana lock produces.
    if (inRange(c, 0x3041, 0x30FF) || inRange(c, 0xFF61, 0xFF9F)) return CharacterKind::Kana;
    // Japanese punctuation, ideographs and full-width forms come from an
    // input method.
    if (inRange(c, 0x3000, 0x303F) || inRange(c, 0x3400, 0x9FFF) || inRange(c, 0xFF01, 0xFF60) ||
        inRange(c, 0xFFE0, 0xFFEE))
        return CharacterKind::FullWidth;
    return CharacterKind::Other;
}

}  // namespace tapmora
