#include "trainer/ui/controls.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtMath>

namespace tapmora {
namespace {

const QString kMsPGothic = QStringLiteral("ＭＳ Ｐゴシック");

}  // namespace

QRect twipsRect(int left, int top, int width, int height) {
    return {twips(left), twips(top), twips(width), twips(height)};
}

QFont msPGothic(int pointSize) {
    QFont font(kMsPGothic, pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void installFonts() {
    const QStringList proportionalGothic = {QStringLiteral("IPAPGothic"),
                                            QStringLiteral("IPAGothic")};
    QFont::insertSubstitutions(kMsPGothic, proportionalGothic);
    // The long captions fill their lines with runs of blanks sized for a
    // proportional Japanese face; giving Japanese text such a face after the
    // desktop's own keeps each sentence on a line of its own.
    QFont font = QApplication::font();
    font.setFamilies(QStringList{font.family()} + proportionalGothic);
    QApplication::setFont(font);
}

QLabel *addLabel(QWidget *parent, const char *name, const QString &text, QRect place) {
    auto *label = named(new QLabel(text, parent), name);
    label->setGeometry(place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

void makeRoomForText(QLabel *label) {
    const QFontMetricsF metrics(label->font());
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    const QRect box = label->contentsRect();
    qreal needed = metrics.boundingRect(QRectF(box), flags, label->text()).height();
    if (label->font().underline())
        needed += qMax(0.0, metrics.underlinePos() + metrics.lineWidth() - metrics.descent());
    const int missing = qCeil(needed) - box.height();
    if (missing > 0) label->resize(label->width(), label->height() + missing);
}

QLabel *addBox(QWidget *parent, const char *name, QRect place) {
    auto *box = addLabel(parent, name, QString(), place);
    box->setFrameStyle(QFrame::Box | QFrame::Plain);
    return box;
}

QLabel *addKanaBox(QWidget *parent, const char *name, QRect place) {
    QLabel *box = addBox(parent, name, place);
    box->setFont(msPGothic(36));
    box->setAlignment(Qt::AlignCenter);
    box->setWordWrap(false);
    // The kana sits on the colour of title-bar text, which Qt offers as the
    // text colour of highlighted items.
    QPalette kanaPalette = box->palette();
    kanaPalette.setColor(QPalette::Window, kanaPalette.color(QPalette::HighlightedText));
    box->setPalette(kanaPalette);
    box->setAutoFillBackground(true);
    return box;
}

QPushButton *addButton(QWidget *parent, const char *name, QStringView text, QRect place) {
    auto *button = named(new QPushButton(text.toString(), parent), name);
    button->setGeometry(place);
    // Enter on a focused button presses it, as in a dialog, in every window.
    button->setAutoDefault(true);
    return button;
}

QLabel *addPicture(QWidget *parent, const char *name, const QString &pictureName, QRect place) {
    auto *box = addLabel(parent, name, QString(), place);
    box->setPixmap(picture(pictureName));
    box->setAutoFillBackground(true);
    return box;
}

QFrame *addLine(QWidget *parent, const char *name, QLine twipsLine, QColor colour, int width) {
    auto *line = named(new QFrame(parent), name);
    const QPoint from(twips(twipsLine.x1()), twips(twipsLine.y1()));
    const QPoint to(twips(twipsLine.x2()), twips(twipsLine.y2()));
    const bool horizontal = from.y() == to.y();
    line->setGeometry(horizontal ? QRect(from.x(), from.y(), to.x() - from.x() + 1, width)
                                 : QRect(from.x(), from.y(), width, to.y() - from.y() + 1));
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    line->setAutoFillBackground(true);
    return line;
}

QPixmap picture(const QString &name) {
    const bool highResolution = qApp->devicePixelRatio() > 1.0;
    QPixmap pixmap(QStringLiteral(":/pictures/%1%2.png")
                       .arg(name, highResolution ? QStringLiteral("@2x") : QString()));
    pixmap.setDevicePixelRatio(highResolution ? 2.0 : 1.0);
    return pixmap;
}

QIcon programIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/pictures/icon.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/pictures/icon@2x.png"), QSize(64, 64));
    return icon;
}

void centreOnScreen(QWidget *window) {
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    QRect frame(QPoint(), window->size());
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

}  // namespace tapmora
