// Dialog 103: shows the cabinet being read and the file being written while
// the extraction runs inside it. The extraction starts once the dialog has
// been painted and blocks the dialog's event loop; waiting events (a click
// on Cancel among them) are handled only at each file start, and Cancel,
// Esc and the close box only record a cancel request.
#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include "sfx/ui.h"

class QProgressBar;

namespace sfx {

class PathLine;

class ProgressWindow : public QDialog {
public:
    ProgressWindow(const ProgressDialog &dialog, const Extraction &extraction);

    // Whether the extraction ran and reported success.
    bool succeeded() const { return succeeded_; }

    void show_archive(const std::string &text);
    // Shows the file line and the progress so far, then handles the events
    // that are waiting.
    void show_file(const std::string &text);
    // Records the progress; the bar and the window are repainted at most
    // every kRepaintInterval, without handling any event.
    void show_progress(uint64_t written, uint64_t total);

    // Cancel, Esc and the close box: a cancel request while the extraction
    // runs; the dialog closes when the extraction has stopped.
    void reject() override;

    static constexpr int kRepaintInterval = 250;  // milliseconds

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void start_once();
    void run_extraction();
    void update_bar();

    const Extraction &extraction_;
    PathLine *archive_;
    PathLine *file_;
    QProgressBar *bar_;
    QElapsedTimer since_repaint_;
    uint64_t written_ = 0;
    uint64_t total_ = 0;
    bool started_ = false;
    bool succeeded_ = false;
};

}  // namespace sfx
