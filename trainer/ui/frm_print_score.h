// The score window: correct, wrong and total keys per course and over all
// courses, brought up to date after every change of a count while it is open.
#pragma once

#include <QWidget>

#include "trainer/model/score.h"

class QLabel;
class QTimer;

namespace tapmora {

class TrainerApp;

class FrmPrintScore final : public QWidget {
    Q_OBJECT
public:
    // The table: a correct, a wrong and a total column with a row per
    // course, then a totals row holding the three sums over all courses.
    static constexpr int kValueColumnCount = 3;
    static constexpr int kCourseCellCount = kValueColumnCount * kCourseCount;
    static constexpr int kCellCount = kCourseCellCount + kValueColumnCount;
    static constexpr int kRowCount = kCourseCount + 1;
    static constexpr int kTotalsRow = kCourseCount;  // counted from 0

    explicit FrmPrintScore(TrainerApp &app);
    ~FrmPrintScore() override;

    // Recomputes the totals and shows every figure. When a sum would pass
    // its limit the captions keep their last figures and the learner is
    // told once per opening of the window.
    void refresh();

private:
    void createTable();

    TrainerApp &app_;
    QLabel *cells_[kCellCount] = {};  // LblScoreHome to LBLATFAll, as filled
    QTimer *refreshTimer_ = nullptr;  // Timer1
    int tallySubscription_ = 0;
    bool limitReported_ = false;
};

}  // namespace tapmora
