// Building blocks shared by the trainer's windows: twip geometry, named
// controls, pictures and fonts.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLine>
#include <QPixmap>
#include <QRect>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace tapmora {

// Layouts are designed in twips; 15 twips are one device-independent pixel.
constexpr int twips(int value) { return (value + 7) / 15; }
QRect twipsRect(int left, int top, int width, int height);

// The Japanese proportional Gothic face the large kana and some headings ask
// for, under the name the layouts use; installFonts() maps it to an installed
// face and gives the desktop's font the same face for Japanese text.
QFont msPGothic(int pointSize);
void installFonts();

// Gives a control its object name, under which tests and readers find it.
template <class Widget>
Widget *named(Widget *widget, const char *name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel *addLabel(QWidget *parent, const char *name, const QString &text, QRect place);
// Lets a label grow downward by what its text needs beyond the height the
// layout gives it, underline included: the layouts were drawn for a face
// whose lines are as tall as its size, and the faces installed here have
// lines a pixel or so taller.
void makeRoomForText(QLabel *label);

// An empty label with a single-line border: the frame a mark appears in.
QLabel *addBox(QWidget *parent, const char *name, QRect place);
// The bordered box the drill shows its kana in, in large type.
QLabel *addKanaBox(QWidget *parent, const char *name, QRect place);

// A command button that Enter presses while it has the focus.
QPushButton *addButton(QWidget *parent, const char *name, QStringView text, QRect place);

// A box showing one of the trainer's pictures at its natural size in the
// top left corner; opaque, so it covers what lies beneath it.
QLabel *addPicture(QWidget *parent, const char *name, const QString &picture, QRect place);

// A straight line `width` pixels thick from `from` to `to` (in twips).
QFrame *addLine(QWidget *parent, const char *name, QLine twipsLine, QColor colour, int width = 1);

// The picture named `name` from the built-in set, at the resolution that
// suits the screen (the @2x file above a device pixel ratio of 1).
QPixmap picture(const QString &name);

// The program's icon for title bars and task switchers, in both resolutions.
QIcon programIcon();

// Places a top-level window, before it is shown, centred on its screen.
void centreOnScreen(QWidget *window);

}  // namespace tapmora
