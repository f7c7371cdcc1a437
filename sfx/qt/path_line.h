// A one-line static text for a path: when the path is wider than the line,
// its middle gives way to an ellipsis, so the drive and the file name stay
// readable. `text()` is always the whole path.
#pragma once

#include <QString>
#include <QWidget>

namespace sfx {

class PathLine : public QWidget {
public:
    explicit PathLine(QWidget *parent = nullptr) : QWidget(parent) {}

    void setText(const QString &text);
    const QString &text() const { return text_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString text_;
};

}  // namespace sfx
