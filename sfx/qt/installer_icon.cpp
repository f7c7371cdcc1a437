#include "sfx/qt/installer_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace sfx {
namespace {

// Colours of the 16-colour palette the icon keeps to.
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kDarkYellow = 0xFF808000;
constexpr QRgb kYellow = 0xFFFFFF00;
constexpr QRgb kGreen = 0xFF008000;
constexpr QRgb kLime = 0xFF00FF00;
constexpr QRgb kGrey = 0xFF808080;

// Draws on a square of `size` pixels laid out on a 32-unit grid, so both
// sizes share one design; the 16-pixel one drops the drawer handles.
QPixmap draw_icon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.scale(size / 32.0, size / 32.0);
    painter.setPen(QPen(QColor(kBlack), size >= 32 ? 1.0 : 2.0));

    // The cabinet: a box with its top and front face.
    painter.setBrush(QColor(kYellow));
    painter.drawPolygon(QPolygon({{3, 13}, {9, 8}, {27, 8}, {21, 13}}));
    painter.setBrush(QColor(kDarkYellow));
    painter.drawPolygon(QPolygon({{21, 13}, {27, 8}, {27, 25}, {21, 30}}));
    painter.setBrush(QColor(kYellow));
    painter.drawRect(3, 13, 18, 17);
    if (size >= 32) {
        painter.setBrush(QColor(kGrey));
        painter.drawRect(9, 17, 6, 2);
        painter.drawRect(9, 24, 6, 2);
    }

    // The arrow rising out of the box: the files leaving it.
    painter.setBrush(QColor(kLime));
    painter.setPen(QPen(QColor(kGreen), size >= 32 ? 1.0 : 2.0));
    painter.drawPolygon(
        QPolygon({{14, 12}, {14, 7}, {10, 7}, {19, 0}, {28, 7}, {24, 7}, {24, 12}}));
    return pixmap;
}

}  // namespace

QIcon installer_icon() {
    QIcon icon;
    icon.addPixmap(draw_icon(32));
    icon.addPixmap(draw_icon(16));
    return icon;
}

}  // namespace sfx
