#include "sfx/qt/path_line.h"

#include <QPainter>

namespace sfx {

void PathLine::setText(const QString &text) {
    if (text == text_) return;
    text_ = text;
    setToolTip(text);
    update();
}

void PathLine::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QString shown = fontMetrics().elidedText(text_, Qt::ElideMiddle, width());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
}

}  // namespace sfx
