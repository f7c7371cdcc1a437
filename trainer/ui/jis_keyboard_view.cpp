#include "trainer/ui/jis_keyboard_view.h"

#include <algorithm>
#include <cmath>

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolTip>

#include "trainer/ui/controls.h"
#include "trainer/ui/texts.h"

namespace tapmora {
namespace {

// Proportions, in key units: the blank around the keyboard, the gap between
// keys, the corner radius and the legend's band under the keys.
constexpr qreal kMargin = 0.2;
constexpr qreal kGap = 0.05;
constexpr qreal kRadius = 0.1;
constexpr qreal kLegendBand = 0.9;
constexpr qreal kRowsWidth = static_cast<qreal>(kRowQuarters) / kKeyQuarters;
constexpr int kPreferredUnit = 40;
constexpr int kSmallestUnit = 16;

const QColor kInk(0x22, 0x22, 0x22);
const QColor kMutedInk(0x66, 0x66, 0x66);

// The legend's finger colours, left and right hand alike.
constexpr Finger kLegendFingers[] = {Finger::LeftPinky, Finger::LeftRing, Finger::LeftMiddle,
                                     Finger::LeftIndex, Finger::Thumb};

qreal quarters(int value) { return static_cast<qreal>(value) / kKeyQuarters; }

QFont scaledFont(const QFont &base, qreal pixels) {
    QFont font = base;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    return font;
}

QString captionOf(const JisKey &key) {
    return QString::fromUtf16(key.caption.data(), static_cast<qsizetype>(key.caption.size()));
}

bool isHomeKey(const JisKey &key) { return key.code == 'f' || key.code == 'j'; }

// A stroke marks its key and, when Shift is part of it, that Shift key.
bool strokeTouches(const std::optional<KeyStroke> &stroke, const JisKey &key) {
    return stroke && (stroke->key == &key || (stroke->shift && &shiftKeyFor(*stroke->key) == &key));
}

}  // namespace

JisKeyboardView::JisKeyboardView(QWidget *parent) : QWidget(parent) {
    const auto keyCount = static_cast<qsizetype>(jisKeys().size());
    fills_.resize(keyCount);
    shiftedFills_.resize(keyCount);
    toolTips_.resize(keyCount);
    missTimer_ = named(new QTimer(this), "missTimer");
    missTimer_->setSingleShot(true);
    missTimer_->setInterval(kMissMilliseconds);
    connect(missTimer_, &QTimer::timeout, this, &JisKeyboardView::clearMiss);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layOut();
}

QColor JisKeyboardView::fingerColour(Finger finger) {
    switch (finger) {
        case Finger::LeftPinky:
        case Finger::RightPinky: return {0xF6, 0xC3, 0xCD};
        case Finger::LeftRing:
        case Finger::RightRing: return {0xFC, 0xD7, 0xA4};
        case Finger::LeftMiddle:
        case Finger::RightMiddle: return {0xF8, 0xEE, 0xA6};
        case Finger::LeftIndex:
        case Finger::RightIndex: return {0xC4, 0xE8, 0xBE};
        case Finger::Thumb: return {0xCB, 0xD8, 0xF6};
        case Finger::None: break;
    }
    return {0xE4, 0xE4, 0xE4};
}

QColor JisKeyboardView::targetColour() { return {0x15, 0x65, 0xC0}; }
QColor JisKeyboardView::missColour() { return {0xD3, 0x2F, 0x2F}; }

void JisKeyboardView::setTarget(std::optional<KeyStroke> target) {
    clearMiss();
    if (target == target_) return;
    updateStroke(target_);
    target_ = target;
    updateStroke(target_);
}

void JisKeyboardView::showMiss(KeyStroke pressed) {
    clearMiss();
    miss_ = pressed;
    updateStroke(miss_);
    missTimer_->start();
}

void JisKeyboardView::clearMiss() {
    missTimer_->stop();
    if (!miss_) return;
    updateStroke(miss_);
    miss_.reset();
}

void JisKeyboardView::setKeyFill(std::uint16_t evdevCode, const QColor &fill,
                                 const QColor &shiftedFill) {
    const JisKey *key = jisKey(evdevCode);
    if (!key || (fills_[indexOf(*key)] == fill && shiftedFills_[indexOf(*key)] == shiftedFill))
        return;
    fills_[indexOf(*key)] = fill;
    shiftedFills_[indexOf(*key)] = shiftedFill;
    updateKey(*key);
}

void JisKeyboardView::clearKeyFills() {
    std::ranges::fill(fills_, QColor());
    std::ranges::fill(shiftedFills_, QColor());
    update();
}

void JisKeyboardView::setKeyToolTip(std::uint16_t evdevCode, const QString &text) {
    if (const JisKey *key = jisKey(evdevCode)) toolTips_[indexOf(*key)] = text;
}

bool JisKeyboardView::event(QEvent *event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const JisKey *key = keyAt(help->pos());
    const QString text = key ? toolTips_[indexOf(*key)] : QString();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this, keyBounds(*key).toAlignedRect());
    return true;
}

void JisKeyboardView::setLegendVisible(bool visible) {
    legendVisible_ = visible;
    layOut();
    updateGeometry();
    update();
}

QSize JisKeyboardView::sizeHint() const {
    const qreal rows = kRowCount + 2 * kMargin + (legendVisible_ ? kLegendBand : 0);
    return QSize(static_cast<int>((kRowsWidth + 2 * kMargin) * kPreferredUnit),
                 static_cast<int>(rows * kPreferredUnit));
}

QSize JisKeyboardView::minimumSizeHint() const {
    return sizeHint() * kSmallestUnit / kPreferredUnit;
}

void JisKeyboardView::resizeEvent(QResizeEvent *) { layOut(); }

void JisKeyboardView::layOut() {
    const qreal rows = kRowCount + (legendVisible_ ? kLegendBand : 0);
    unit_ = std::min(width() / (kRowsWidth + 2 * kMargin), height() / (rows + 2 * kMargin));
    origin_ = QPointF((width() - kRowsWidth * unit_) / 2, (height() - rows * unit_) / 2);
    legendBand_ = QRectF(origin_.x(), origin_.y() + (kRowCount + 0.15) * unit_, kRowsWidth * unit_,
                         (kLegendBand - 0.15) * unit_);
    kanaFont_ = scaledFont(font(), 0.46 * unit_);
    smallFont_ = scaledFont(font(), 0.22 * unit_);
    legendFont_ = scaledFont(font(), 0.3 * unit_);
}

QRectF JisKeyboardView::keyBounds(const JisKey &key) const {
    return QRectF(origin_.x() + quarters(key.left) * unit_, origin_.y() + key.row * unit_,
                  quarters(key.width) * unit_, key.rows * unit_);
}

QRectF JisKeyboardView::keyRect(std::uint16_t evdevCode) const {
    const JisKey *key = jisKey(evdevCode);
    return key ? keyBounds(*key) : QRectF();
}

const JisKey *JisKeyboardView::keyAt(QPointF point) const {
    for (const JisKey &key : jisKeys())
        if (keyOutline(key).contains(point)) return &key;
    return nullptr;
}

QPainterPath JisKeyboardView::keyOutline(const JisKey &key) const {
    const qreal gap = kGap * unit_;
    const qreal radius = kRadius * unit_;
    const QRectF bounds = keyBounds(key);
    QPainterPath outline;
    // The top row's part, then for Enter the narrower part below it.
    outline.addRoundedRect(
        QRectF(bounds.topLeft(), QSizeF(bounds.width(), unit_)).adjusted(gap, gap, -gap, -gap),
        radius, radius);
    if (key.rows > 1) {
        QPainterPath lower;
        QRectF lowerBounds = bounds;
        lowerBounds.setLeft(origin_.x() + quarters(key.lowerLeft) * unit_);
        lower.addRoundedRect(lowerBounds.adjusted(gap, gap, -gap, -gap), radius, radius);
        outline = outline.united(lower);
    }
    return outline;
}

JisKeyboardView::Mark JisKeyboardView::markOf(const JisKey &key) const {
    const bool target = strokeTouches(target_, key);
    const bool miss = strokeTouches(miss_, key);
    if (target && miss) return Mark::TargetAndMiss;
    return target ? Mark::Target : miss ? Mark::Miss : Mark::None;
}

void JisKeyboardView::updateKey(const JisKey &key) {
    // A pixel more on every side for antialiased edges.
    update(keyBounds(key).toAlignedRect().adjusted(-1, -1, 1, 1));
}

void JisKeyboardView::updateStroke(std::optional<KeyStroke> stroke) {
    if (!stroke) return;
    updateKey(*stroke->key);
    if (stroke->shift) updateKey(shiftKeyFor(*stroke->key));
}

void JisKeyboardView::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF dirty = event->rect();
    for (const JisKey &key : jisKeys())
        if (keyBounds(key).intersects(dirty)) paintKey(painter, key);
    if (legendVisible_ && legendBand_.intersects(dirty)) paintLegend(painter);
}

void JisKeyboardView::paintKey(QPainter &painter, const JisKey &key) const {
    const Mark mark = markOf(key);
    const QColor fill = fills_[indexOf(key)];
    const QColor shiftedFill = shiftedFills_[indexOf(key)];
    QColor face = fill.isValid() ? fill : fingerColour(key.finger);
    if (mark == Mark::Target)
        face = targetColour();
    else if (mark != Mark::None)
        face = missColour();
    const bool marked = mark != Mark::None;

    const QPainterPath outline = keyOutline(key);
    painter.setPen(QPen(face.darker(125), std::max(1.0, 0.03 * unit_)));
    painter.setBrush(face);
    painter.drawPath(outline);
    if (shiftedFill.isValid() && !marked) {
        // A tab in the upper right corner, behind the shifted kana, clipped
        // to the key's rounded outline.
        const QRectF bounds = keyBounds(key);
        painter.save();
        painter.setClipPath(outline);
        painter.setPen(QPen(shiftedFill.darker(125), std::max(1.0, 0.03 * unit_)));
        painter.setBrush(shiftedFill);
        const qreal radius = kRadius * unit_;
        painter.drawRoundedRect(QRectF(bounds.center().x(), bounds.top() - radius,
                                       bounds.width() / 2 + radius, 0.42 * unit_ + radius),
                                radius, radius);
        painter.restore();
    }
    if (mark == Mark::TargetAndMiss) {
        // The right key with the wrong Shift state: the target's colour
        // rings the wrong colour.
        painter.setPen(QPen(targetColour(), 0.1 * unit_));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(outline);
    }

    // Labels sit on the key's top row part: small legends in the upper
    // corners, the kana below them, the home bump at the bottom.
    const QRectF top(keyBounds(key).topLeft(), QSizeF(quarters(key.width) * unit_, unit_));
    const QRectF corners = top.adjusted(0.12 * unit_, 0.06 * unit_, -0.12 * unit_, 0);
    const QColor ink = marked ? QColor(Qt::white) : kInk;
    painter.setFont(smallFont_);
    if (key.kana == 0) {
        painter.setPen(ink);
        painter.drawText(top, Qt::AlignCenter, captionOf(key));
        return;
    }
    painter.setPen(marked ? ink : kMutedInk);
    painter.drawText(corners, Qt::AlignLeft | Qt::AlignTop, captionOf(key));
    painter.setPen(ink);
    if (key.shiftedKana != 0)
        painter.drawText(corners, Qt::AlignRight | Qt::AlignTop, QString(QChar(key.shiftedKana)));
    painter.setFont(kanaFont_);
    painter.drawText(top.adjusted(0, 0.18 * unit_, 0, -0.16 * unit_), Qt::AlignCenter,
                     QString(QChar(key.kana)));

    if (isHomeKey(key)) {
        const QSizeF bump(0.3 * unit_, 0.06 * unit_);
        const QPointF centre(top.center().x(), top.bottom() - 0.1 * unit_);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawRoundedRect(QRectF(centre - QPointF(bump.width() / 2, bump.height() / 2), bump),
                                bump.height() / 2, bump.height() / 2);
    }
}

void JisKeyboardView::paintLegend(QPainter &painter) const {
    struct Item {
        QColor colour;
        QString text;
    };
    QList<Item> items;
    for (std::size_t i = 0; i < std::size(kLegendFingers); ++i)
        items.append({fingerColour(kLegendFingers[i]), texts::keyboard::kFingers[i].toString()});
    items.append({targetColour(), texts::keyboard::kTargetLegend.toString()});
    items.append({missColour(), texts::keyboard::kMissLegend.toString()});

    // Swatch, gap, text, then a wider gap before the next item; the whole
    // line shrinks to fit a narrow window.
    QFont font = legendFont_;
    const qreal swatch = legendBand_.height() * 0.55;
    auto lineWidth = [&] {
        const QFontMetricsF metrics(font);
        qreal width = 0;
        for (const Item &item : items)
            width += swatch * 1.4 + metrics.horizontalAdvance(item.text) + swatch * 1.2;
        return width;
    };
    qreal width = lineWidth();
    if (width > legendBand_.width()) {
        font.setPixelSize(
            std::max(1, static_cast<int>(font.pixelSize() * legendBand_.width() / width)));
        width = lineWidth();
    }

    painter.setFont(font);
    const QFontMetricsF metrics(font);
    qreal x = legendBand_.center().x() - width / 2;
    const qreal middle = legendBand_.center().y();
    for (const Item &item : items) {
        painter.setPen(QPen(item.colour.darker(125), std::max(1.0, 0.03 * unit_)));
        painter.setBrush(item.colour);
        painter.drawRoundedRect(QRectF(x, middle - swatch / 2, swatch, swatch), swatch * 0.2,
                                swatch * 0.2);
        x += swatch * 1.4;
        painter.setPen(palette().color(QPalette::WindowText));
        const qreal textWidth = metrics.horizontalAdvance(item.text);
        painter.drawText(QRectF(x, legendBand_.top(), textWidth + 1, legendBand_.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, item.text);
        x += textWidth + swatch * 1.2;
    }
}

}  // namespace tapmora
