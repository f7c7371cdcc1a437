// A drawn JIS keyboard: every key with its kana, coloured by the finger that
// types it, with home bumps on F and J and a legend naming the fingers.
// Shows the key to type next and flashes a wrongly pressed key beside it;
// other windows can paint their own colours per key, with a tooltip each
// (a heat map).
// Drawn with vector shapes at any size; repaints only the keys that change.
#pragma once

#include <optional>

#include <QColor>
#include <QFont>
#include <QList>
#include <QWidget>

#include "trainer/model/jis_keyboard.h"

class QPainter;
class QPainterPath;
class QTimer;

namespace tapmora {

class JisKeyboardView final : public QWidget {
    Q_OBJECT
public:
    // How long a wrongly pressed key stays marked, unless the next key
    // comes first.
    static constexpr int kMissMilliseconds = 1500;

    explicit JisKeyboardView(QWidget *parent = nullptr);

    // The key to type next, with the Shift key of the other hand when the
    // kana needs Shift; none clears the highlight. Clears a shown miss.
    void setTarget(std::optional<KeyStroke> target);
    std::optional<KeyStroke> target() const { return target_; }

    // Marks the key pressed by mistake (and its Shift) in the wrong colour
    // for kMissMilliseconds, beside the target.
    void showMiss(KeyStroke pressed);
    std::optional<KeyStroke> miss() const { return miss_; }

    // A colour in place of the finger colour of one key; an invalid colour
    // gives the finger colour back. A valid `shiftedFill` colours the key's
    // upper right corner, where its shifted kana sits, on its own.
    void setKeyFill(std::uint16_t evdevCode, const QColor &fill,
                    const QColor &shiftedFill = QColor());
    void clearKeyFills();

    // The text shown when the pointer rests on a key; empty for none.
    void setKeyToolTip(std::uint16_t evdevCode, const QString &text);

    // The finger legend under the keys, shown unless turned off.
    void setLegendVisible(bool visible);
    bool isLegendVisible() const { return legendVisible_; }

    // Where a key is drawn, in widget coordinates; empty for unknown keys.
    QRectF keyRect(std::uint16_t evdevCode) const;
    // The key drawn at `point`; null between and beside the keys.
    const JisKey *keyAt(QPointF point) const;

    static QColor fingerColour(Finger finger);
    static QColor targetColour();
    static QColor missColour();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum class Mark { None, Target, Miss, TargetAndMiss };

    void layOut();
    QRectF keyBounds(const JisKey &key) const;
    qsizetype indexOf(const JisKey &key) const { return &key - jisKeys().data(); }
    QPainterPath keyOutline(const JisKey &key) const;
    Mark markOf(const JisKey &key) const;
    void paintKey(QPainter &painter, const JisKey &key) const;
    void paintLegend(QPainter &painter) const;
    void updateStroke(std::optional<KeyStroke> stroke);
    void updateKey(const JisKey &key);
    void clearMiss();

    std::optional<KeyStroke> target_;
    std::optional<KeyStroke> miss_;
    QTimer *missTimer_ = nullptr;
    // By position in jisKeys().
    QList<QColor> fills_;
    QList<QColor> shiftedFills_;
    QList<QString> toolTips_;
    bool legendVisible_ = true;

    // Layout for the current size: one key unit in pixels, the keyboard's
    // top left corner, the legend's band and the fonts scaled to the unit.
    qreal unit_ = 0;
    QPointF origin_;
    QRectF legendBand_;
    QFont kanaFont_;
    QFont smallFont_;
    QFont legendFont_;
};

}  // namespace tapmora
