// The weak-kana practice: the drill step of a course, with its kana drawn
// by the history's weights. Marks and beeps as in the main window; keys go
// to the history and never to the score table.
#pragma once

#include <memory>

#include <QWidget>

#include "trainer/model/drill.h"
#include "trainer/model/weak_kana.h"

class QLabel;

namespace tapmora {

class TrainerApp;

class FrmWeakPractice final : public QWidget, private DrillView {
    Q_OBJECT
public:
    explicit FrmWeakPractice(TrainerApp &app);

    // Starts over on the kana of `course` (1..6), weighted by the history
    // as it stands now.
    void practise(int course);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::u16string displayedKana() const override;
    void showKana(char16_t kana) override;
    void hideMarks() override;
    void beep() override;
    CountResult Seikai() override;
    CountResult Matigai() override;
    void keyJudged(const CourseEntry &shown, std::int16_t keyCode, Verdict verdict) override;

    TrainerApp &app_;
    int course_ = kCourseCount;
    std::unique_ptr<WeakKanaDraw> draw_;
    QLabel *courseLabel_ = nullptr;
    QLabel *kanaLabel_ = nullptr;
    QLabel *correctMark_ = nullptr;
    QLabel *wrongMark_ = nullptr;
};

}  // namespace tapmora
