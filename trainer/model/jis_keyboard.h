// The JIS 106/109 keyboard the courses are written for: where each key sits,
// which kana it bears, which finger types it and which key code it delivers
// in half-width alphanumeric mode. Lets the trainer judge a key by its
// position, whatever layout the desktop has loaded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tapmora {

// Linux input event codes (evdev) of the keys the trainer names itself; an
// X11 or Wayland keycode is the evdev code plus 8.
namespace evdev {
inline constexpr std::uint16_t kGrave = 41;      // 半角/全角 on JIS, ` on ANSI and ISO
inline constexpr std::uint16_t kBackslash = 43;  // む on JIS
inline constexpr std::uint16_t kLeftShift = 42;
inline constexpr std::uint16_t kRightShift = 54;
inline constexpr std::uint16_t kSpace = 57;
inline constexpr std::uint16_t kIsoExtra = 86;  // the key between left Shift and Z on ISO
inline constexpr std::uint16_t kRo = 89;        // ろ, JIS only
inline constexpr std::uint16_t kRightCtrl = 97;
inline constexpr std::uint16_t kYen = 124;  // ¥ (ー), JIS only
inline constexpr std::uint16_t kMenu = 127;
inline constexpr std::uint16_t kXkbOffset = 8;  // XKB keycode = evdev code + 8
}  // namespace evdev

enum class Finger : std::uint8_t {
    LeftPinky,
    LeftRing,
    LeftMiddle,
    LeftIndex,
    Thumb,
    RightIndex,
    RightMiddle,
    RightRing,
    RightPinky,
    None,  // keys drawn for orientation only
};

// Positions are in quarters of a key: a letter key is 4 wide, and every
// row, from the number row (0) to the space bar's row (4), is 60 wide.
inline constexpr int kKeyQuarters = 4;
inline constexpr int kRowQuarters = 60;
inline constexpr int kRowCount = 5;

struct JisKey {
    std::uint16_t evdevCode;
    std::uint8_t row;
    std::uint8_t left;   // quarters from the row's left edge
    std::uint8_t width;  // quarters
    // Keys two rows high (Enter) continue into the next row from lowerLeft
    // to the same right edge; other keys have lowerLeft == left.
    std::uint8_t lowerLeft;
    std::uint8_t rows;
    char16_t kana;         // 0 where the key bears none
    char16_t shiftedKana;  // 0 where Shift gives no kana of its own
    std::int16_t code;     // key code delivered unshifted; 0 for none
    std::int16_t shiftedCode;
    Finger finger;
    std::u16string_view caption;  // ASCII legend, or the name of a key without kana

    int right() const { return left + width; }
    bool isLetter() const { return code >= 'a' && code <= 'z'; }
};

// Every key drawn, row by row from the left.
std::span<const JisKey> jisKeys();
const JisKey *jisKey(std::uint16_t evdevCode);

// Keys the learner chose to press instead of the two keys ANSI and ISO
// keyboards lack (0 for none). Pressing a stand-in counts as pressing the
// JIS key it stands for.
struct StandIns {
    std::uint16_t yen = evdev::kGrave;
    std::uint16_t ro = evdev::kRightCtrl;
};

// The keys offered as stand-ins: none of them bears a kana on JIS.
std::span<const std::uint16_t> standInCandidates();

// The JIS key a physical key press means, stand-ins applied; null for keys
// off the JIS keyboard's main block (the keypad, function keys, ISO's
// extra key unless chosen as a stand-in).
const JisKey *pressedJisKey(std::uint16_t evdevCode, const StandIns &standIns);

// The key code a key delivers in half-width alphanumeric mode: Caps Lock
// turns letters to capitals, Shift turns them back. None for keys without
// a character (Shift, Tab) and where a JIS layout gives nothing (Shift+0).
std::optional<std::int16_t> deliveredCode(const JisKey &key, bool shift, bool capsLock);

// A key and Shift state: where a kana is typed, or what was pressed.
struct KeyStroke {
    const JisKey *key = nullptr;
    bool shift = false;

    bool operator==(const KeyStroke &) const = default;
};

// Where `kana` is typed; none when no key bears it.
std::optional<KeyStroke> strokeForKana(char16_t kana);
// The first key, in drawing order, that delivers `code` without Caps Lock.
// Used where only a character is known; 92 comes from both ¥ and ろ, and
// yields ¥.
std::optional<KeyStroke> strokeForCode(std::int16_t code);

// The Shift key a touch typist holds for a key: the one on the other hand.
const JisKey &shiftKeyFor(const JisKey &key);

// What a typed character says about the learner's input settings.
enum class CharacterKind {
    Jis,        // a JIS key makes it in half-width alphanumeric mode
    Kana,       // kana input (a kana lock or a kana layout)
    FullWidth,  // an input method's full-width or composed text
    Other,      // any other character: another layout without key positions
};
CharacterKind classifyCharacter(char16_t character);

}  // namespace tapmora
