// Geometry of the installer's two dialogs: their controls' places in dialog
// units, the dialog font of each language, and the one conversion from
// dialog units to pixels.
#pragma once

#include <QFont>
#include <QRect>
#include <string>

#include "sfx/strings.h"

class QWidget;

namespace sfx {

// A control's place in dialog units.
struct DialogRect {
    int x, y, width, height;
};

// Converts dialog units to pixels as the Windows dialog manager does: a
// horizontal unit is a quarter of the dialog font's average character width,
// a vertical unit an eighth of its character height. Left and right (top and
// bottom) edges are converted separately and rounded, so neighbouring
// controls meet exactly.
class DialogUnits {
public:
    explicit DialogUnits(const QFont &font);

    QRect to_pixels(const DialogRect &rect) const;

private:
    int horizontal(int units) const;
    int vertical(int units) const;

    int average_char_width_;
    int char_height_;
};

// "MS Sans Serif" 8 for English becomes the desktop's sans-serif font at
// 8 points; "ＭＳ Ｐゴシック" 9 for Japanese becomes IPAPGothic (its metric-
// compatible substitute) at 9 points.
QFont dialog_font(Language language);

// Dialog 104, the destination dialog. `size` holds the client area.
struct DestinationLayout {
    DialogRect size, label, field, browse, confirm, cancel;
};

// Dialog 103, the progress dialog, with a progress bar below the file line
// (the Cancel button and the dialog's height move down to make room).
struct ProgressLayout {
    DialogRect size, cancel, archive_caption, archive, file_caption, file, progress_bar;
};

const DestinationLayout &destination_layout(Language language);
const ProgressLayout &progress_layout();  // the same in both languages

// Gives `dialog` its font and client size and places `control` on it.
void apply_dialog_size(QWidget &dialog, const DialogUnits &units, const DialogRect &size);

// Gives an installer dialog its font, size, caption, icon and frame, and
// returns the dialog units its controls are placed in.
DialogUnits set_up_dialog(QWidget &dialog, Language language, const DialogRect &size,
                          const std::string &caption);
void place(QWidget &control, const DialogUnits &units, const DialogRect &rect);

// Moves a shown dialog to the centre of its screen: its frame's top-left
// corner goes to half the difference of screen and frame sizes, truncated
// toward zero.
void centre_dialog(QWidget &dialog);

}  // namespace sfx
