#include "sfx/qt/progress_window.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "sfx/qt/dialog_layout.h"
#include "sfx/qt/path_line.h"

namespace sfx {
namespace {

// The bar counts in thousandths, so totals beyond an int's range fit.
constexpr int kBarSteps = 1000;

// If the window system never reports the window painted (minimised at
// start, for instance), the extraction starts after this delay anyway.
constexpr int kStartWithoutPaint = 500;  // milliseconds

QLabel *caption_label(const char *text, const char *name, QWidget *parent) {
    auto *label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

ProgressWindow::ProgressWindow(const ProgressDialog &dialog, const Extraction &extraction)
    : extraction_(extraction) {
    const ProgressLayout &layout = progress_layout();
    const DialogUnits units = set_up_dialog(*this, current_language(), layout.size, dialog.caption);

    auto *cancel = new QPushButton(QString::fromStdString(dialog.cancel_text), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    place(*cancel, units, layout.cancel);
    connect(cancel, &QPushButton::clicked, this, &ProgressWindow::reject);

    place(*caption_label(dialog.archive_caption.c_str(), "archive_caption", this), units,
          layout.archive_caption);
    archive_ = new PathLine(this);
    archive_->setObjectName(QStringLiteral("archive_file"));
    place(*archive_, units, layout.archive);

    place(*caption_label(dialog.file_caption.c_str(), "file_caption", this), units,
          layout.file_caption);
    file_ = new PathLine(this);
    file_->setObjectName(QStringLiteral("extracted_file"));
    place(*file_, units, layout.file);

    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progress_bar"));
    bar_->setRange(0, kBarSteps);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    place(*bar_, units, layout.progress_bar);
    cancel->setFocus();
}

void ProgressWindow::show_archive(const std::string &text) {
    archive_->setText(QString::fromStdString(text));
    archive_->repaint();
}

void ProgressWindow::show_file(const std::string &text) {
    file_->setText(QString::fromStdString(text));
    update_bar();
    QCoreApplication::processEvents();
}

void ProgressWindow::show_progress(uint64_t written, uint64_t total) {
    written_ = written;
    total_ = total;
    if (since_repaint_.isValid() && since_repaint_.elapsed() < kRepaintInterval) return;
    update_bar();
    repaint();
}

void ProgressWindow::update_bar() {
    since_repaint_.start();
    const uint64_t shown = written_ < total_ ? written_ : total_;
    const double fraction =
        total_ == 0 ? 0.0 : static_cast<double>(shown) / static_cast<double>(total_);
    bar_->setValue(static_cast<int>(fraction * kBarSteps));
}

void ProgressWindow::reject() { extraction_.cancel(); }

void ProgressWindow::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    centre_dialog(*this);
    QTimer::singleShot(kStartWithoutPaint, this, &ProgressWindow::start_once);
}

void ProgressWindow::paintEvent(QPaintEvent *event) {
    QDialog::paintEvent(event);
    if (!started_)
        QMetaObject::invokeMethod(this, &ProgressWindow::start_once, Qt::QueuedConnection);
}

void ProgressWindow::start_once() {
    if (started_) return;
    started_ = true;
    run_extraction();
}

void ProgressWindow::run_extraction() {
    succeeded_ = extraction_.run();
    update_bar();
    done(succeeded_ ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace sfx
