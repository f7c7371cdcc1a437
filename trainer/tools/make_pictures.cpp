// Draws the trainer's pictures - icon, title banner and the correct and wrong
// marks - at 1x and 2x into the folder given on the command line. The
// drawing is in device-independent pixels, so both sizes come from the same
// strokes and stay sharp.
#include <cstdio>
#include <functional>

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QString kGothic = QStringLiteral("IPAPGothic");
const QString kLatin = QStringLiteral("DejaVu Sans");

QFont font(const QString &family, qreal pixelSize, bool bold) {
    QFont f(family);
    f.setPixelSize(qRound(pixelSize));  // pixel sizes of the 1x picture, scaled by the painter
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// A white word centred on a flat colour: the correct and wrong marks.
void drawMark(QPainter &p, QSize size, QColor background, const QString &word, qreal pixelSize) {
    p.fillRect(QRect(QPoint(), size), background);
    p.setPen(Qt::white);
    p.setFont(font(kGothic, pixelSize, true));
    p.drawText(QRect(QPoint(), size), Qt::AlignCenter, word);
}

void drawIcon(QPainter &p, QSize size) {
    const QRectF body = QRectF(QPointF(), size).adjusted(1, 1, -1, -1);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, QColor(0x3B, 0x8E, 0xD0));
    shade.setColorAt(1, QColor(0x1C, 0x4F, 0x8C));
    p.setPen(QPen(QColor(0x12, 0x36, 0x60), 1));
    p.setBrush(shade);
    p.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    // A key cap with the kana of the home row's first key.
    const QRectF cap(7, 6, 18, 18);
    p.setPen(QPen(QColor(0xB0, 0xC4, 0xDE), 1));
    p.setBrush(QColor(0xF7, 0xF9, 0xFC));
    p.drawRoundedRect(cap, 3, 3);
    p.setPen(QColor(0x1C, 0x4F, 0x8C));
    p.setFont(font(kGothic, 14, true));
    p.drawText(cap, Qt::AlignCenter, QStringLiteral("か"));
    p.setPen(QPen(QColor(0xF7, 0xF9, 0xFC), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9, 27.5), QPointF(23, 27.5));
}

void drawBanner(QPainter &p, QSize size) {
    const QRectF area(QPointF(), size);
    QLinearGradient sky(area.topLeft(), area.bottomLeft());
    sky.setColorAt(0, QColor(0xE8, 0xF2, 0xFC));
    sky.setColorAt(1, QColor(0xB9, 0xD6, 0xF2));
    p.fillRect(area, sky);
    p.setPen(QPen(QColor(0x1C, 0x4F, 0x8C), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(area.adjusted(0.5, 0.5, -0.5, -0.5));

    p.setPen(QColor(0x1C, 0x4F, 0x8C));
    p.setFont(font(kLatin, 30, true));
    p.drawText(QRectF(12, 4, 259, 38), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tapmora"));
    p.setPen(QColor(0xC0, 0x39, 0x2B));
    p.setFont(font(kGothic, 17, true));
    p.drawText(QRectF(12, 40, 259, 24), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("for かな打ち"));
    p.setPen(QPen(QColor(0x3B, 0x8E, 0xD0), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 52), QPointF(150, 52));
}

bool save(const QDir &folder, const QString &name, QSize size,
          const std::function<void(QPainter &, QSize)> &draw) {
    for (int scale : {1, 2}) {
        QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        painter.scale(scale, scale);
        draw(painter, size);
        painter.end();
        const QString file = folder.filePath(name + (scale == 2 ? "@2x.png" : ".png"));
        if (!image.save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const bool saved =
        save(folder, "icon", {32, 32}, drawIcon) && save(folder, "banner", {283, 68}, drawBanner) &&
        save(folder, "correct", {63, 19},
             [](QPainter &p, QSize s) { drawMark(p, s, QColor(0xD0, 0x10, 0x10), "正解", 15); }) &&
        save(folder, "wrong", {60, 23},
             [](QPainter &p, QSize s) { drawMark(p, s, QColor(0x10, 0x30, 0xC0), "間違い", 15); });
    return saved ? 0 : 1;
}
