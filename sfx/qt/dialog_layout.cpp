#include "sfx/qt/dialog_layout.h"

#include "sfx/qt/installer_icon.h"
#include "sfx/qt/window_caption.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace sfx {
namespace {

// Rounds a * b / c to the nearest integer, halves away from zero, as the
// dialog manager's arithmetic does.
int mul_div(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

// The average width the dialog manager takes for a font: the width of the
// 52 Latin letters, halved twice over 26 with rounding.
int average_width_of(const QFontMetrics &metrics) {
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return (letters / 26 + 1) / 2;
}

constexpr DestinationLayout kEnglishDestination = {
    {0, 0, 241, 66},    // dialog
    {7, 10, 227, 8},    // label 1002
    {24, 21, 159, 15},  // folder field 1000
    {184, 22, 50, 14},  // Browse 1009
    {51, 45, 57, 14},   // Confirm (IDOK)
    {126, 45, 57, 14},  // Cancel (IDCANCEL)
};

constexpr DestinationLayout kJapaneseDestination = {
    {0, 0, 225, 67},   {7, 10, 211, 8},  {24, 21, 159, 15},
    {184, 22, 34, 14}, {51, 46, 54, 14}, {126, 46, 54, 14},
};

// The progress bar takes 12 units below the file line (which ends at 49):
// the Cancel button moves from 54 to 66 and the dialog from 75 to 87.
constexpr ProgressLayout kProgress = {
    {0, 0, 213, 87},   // dialog
    {81, 66, 50, 14},  // Cancel (IDCANCEL)
    {7, 7, 52, 8},     // "ARC File:"
    {22, 17, 183, 8},  // archive file 1003
    {7, 31, 62, 8},    // "Decompressed File:"
    {23, 41, 183, 8},  // extracted file 1004
    {23, 52, 183, 9},  // progress bar
};

}  // namespace

DialogUnits::DialogUnits(const QFont &font) {
    const QFontMetrics metrics(font);
    average_char_width_ = average_width_of(metrics);
    char_height_ = metrics.height();
}

int DialogUnits::horizontal(int units) const { return mul_div(units, average_char_width_, 4); }
int DialogUnits::vertical(int units) const { return mul_div(units, char_height_, 8); }

QRect DialogUnits::to_pixels(const DialogRect &rect) const {
    const int left = horizontal(rect.x);
    const int top = vertical(rect.y);
    return QRect(left, top, horizontal(rect.x + rect.width) - left,
                 vertical(rect.y + rect.height) - top);
}

QFont dialog_font(Language language) {
    QFont font;
    if (language == Language::Japanese) {
        font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                          QStringLiteral("Sans Serif")});
        font.setPointSize(9);
    } else {
        font.setFamilies({QStringLiteral("Sans Serif")});
        font.setPointSize(8);
    }
    font.setStyleHint(QFont::SansSerif);
    return font;
}

const DestinationLayout &destination_layout(Language language) {
    return language == Language::Japanese ? kJapaneseDestination : kEnglishDestination;
}

const ProgressLayout &progress_layout() { return kProgress; }

void apply_dialog_size(QWidget &dialog, const DialogUnits &units, const DialogRect &size) {
    dialog.setFixedSize(units.to_pixels(size).size());
}

void place(QWidget &control, const DialogUnits &units, const DialogRect &rect) {
    control.setGeometry(units.to_pixels(rect));
}

void centre_dialog(QWidget &dialog) {
    const QScreen *screen =
        dialog.screen() != nullptr ? dialog.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QSize screen_size = screen->geometry().size();
    const QSize frame = dialog.frameGeometry().size();
    dialog.move(screen->geometry().topLeft() + QPoint((screen_size.width() - frame.width()) / 2,
                                                      (screen_size.height() - frame.height()) / 2));
}

DialogUnits set_up_dialog(QWidget &dialog, Language language, const DialogRect &size,
                          const std::string &caption) {
    dialog.setFont(dialog_font(language));
    const DialogUnits units(dialog.font());
    apply_dialog_size(dialog, units, size);
    dialog.setWindowTitle(window_caption(caption));
    dialog.setWindowIcon(installer_icon());
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
    return units;
}

}  // namespace sfx
