// The statistics window and the weak-kana practice on a real history file,
// driven by real key and mouse events.
#include <memory>

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include "trainer/history/history_store.h"
#include "trainer/tests/find_control.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/tests/scripted_random.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_statistics.h"
#include "trainer/ui/frm_weak_practice.h"
#include "trainer/ui/heat_map.h"
#include "trainer/ui/jis_keyboard_view.h"
#include "trainer/ui/statistics_report.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

using namespace tapmora;

namespace {

QStringList row(QTableWidget *table, int r) {
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c) texts << table->item(r, c)->text();
    return texts;
}

void type(QWidget *target, char character) { QTest::keyClick(target, character); }

// The colour a key's face shows near its lower left corner, away from its
// labels.
QRgb faceColour(JisKeyboardView *view, std::uint16_t evdevCode) {
    const QRectF key = view->keyRect(evdevCode);
    const QPointF point(key.left() + 0.15 * key.height(), key.bottom() - 0.12 * key.height());
    return view->grab().toImage().pixel(point.toPoint());
}

// The tooltip the pointer brings up resting on a key.
QString toolTipOf(JisKeyboardView *view, std::uint16_t evdevCode) {
    const QPoint at = view->keyRect(evdevCode).center().toPoint();
    QHelpEvent event(QEvent::ToolTip, at, view->mapToGlobal(at));
    QApplication::sendEvent(view, &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

history::KanaStatistics figures(char16_t kana, std::int64_t attempts, std::int64_t correct,
                                double medianMs) {
    history::KanaStatistics figures;
    figures.kana = kana;
    figures.attempts = attempts;
    figures.correct = correct;
    figures.medianMs = medianMs;
    return figures;
}

}  // namespace

class StatisticsWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::int64_t now_ = 1'700'000'000'000;
    std::unique_ptr<HistoryStore> history_;
    ScriptedRandom random_;
    std::unique_ptr<TrainerApp> app_;
    int beeps_ = 0;
    QStringList messages_;
    QString saveAs_;

    // Twelve keys of the home row, ち typed as し four times.
    void recordSession() {
        for (int i = 0; i < 12; ++i) {
            now_ += 500;
            const bool wrong = i % 3 == 0;
            history_->record({1, u'ち', 97, static_cast<std::int16_t>(wrong ? 100 : 97), !wrong});
        }
        QVERIFY(history_->flush());
    }
    qint64 historyCount(const QString &statement) {
        QSqlQuery query(history_->database());
        if (!query.exec(statement) || !query.next()) qFatal("%s", qPrintable(statement));
        return query.value(0).toLongLong();
    }

private slots:
    void init() {
        QFile::remove(dir_.filePath(QStringLiteral("history.sqlite")));
        history_ = std::make_unique<HistoryStore>(
            dir_.filePath(QStringLiteral("history.sqlite")),
            HistoryStore::Clock{[this] { return now_; }, [this] { return now_; }});
        beeps_ = 0;
        messages_.clear();
        random_ = ScriptedRandom();
        Services services;
        services.beep = [this] { ++beeps_; };
        services.message = [this](QWidget *, const QString &, const QString &text,
                                  QMessageBox::Icon) { messages_ << text; };
        services.quit = [] {};
        services.saveFileName = [this](QWidget *, const QString &, const QString &,
                                       const QString &) { return saveAs_; };
        services.random = &random_;
        services.history = history_.get();
        app_ = std::make_unique<TrainerApp>(services);
    }
    void cleanup() {
        app_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        history_.reset();
    }

    void showsWhatTheHistoryHolds() {
        FrmStatistics *window = app_->showStatisticsWindow();
        QCOMPARE(control<QLabel>(window, "lblSummary")->text(), texts::statistics::kNoHistory);
        QVERIFY(!control<QPushButton>(window, "cmdExportCsv")->isEnabled());

        recordSession();
        window->refresh();
        QCOMPARE(control<QLabel>(window, "lblSummary")->text(),
                 u"これまでに 12 キー（正解率 66.7％）、セッション 1 回");
        auto *confusions = control<QTableWidget>(window, "tblConfusions");
        QCOMPARE(confusions->rowCount(), 1);
        QCOMPARE(row(confusions, 0), (QStringList{"ち", "し（d）", "4"}));
        auto *courses = control<QTableWidget>(window, "tblCourseTotals");
        QCOMPARE(row(courses, 0), (QStringList{"ホームポジション", "12", "66.7％", "87.3"}));
        auto *weak = control<QTableWidget>(window, "tblWeakKana");
        QCOMPARE(row(weak, 0), (QStringList{"ち", "66.7％", "525 ms"}));

        const QList<QAbstractSeries *> series =
            control<QChartView>(window, "chartView")->chart()->series();
        QCOMPARE(series.size(), 2);
        // Eight correct kana in eleven gaps of half a second.
        QCOMPARE(static_cast<QLineSeries *>(series[0])->points(),
                 (QList<QPointF>{{1, 8 * 60000.0 / 5500}}));
        QCOMPARE(static_cast<QLineSeries *>(series[1])->points().front().y(), 800.0 / 12);
        QVERIFY(control<QPushButton>(window, "cmdExportCsv")->isEnabled());
        QVERIFY(!control<QLabel>(window, "lblHistoryProblem")->isVisible());
    }

    // ち (the A key) typed twelve times, a third of them wrong: the heat
    // map paints it in the scale's worst colour for accuracy, and in its
    // best for speed, being the only kana timed; keys never typed show
    // that they have no figure.
    void heatMapColoursTheKeysByTheirKana() {
        recordSession();
        FrmStatistics *window = app_->showStatisticsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *map = control<JisKeyboardView>(window, "heatMap");
        QVERIFY(!map->isLegendVisible());
        constexpr std::uint16_t kA = 30, kS = 31, kTab = 15;
        QCOMPARE(faceColour(map, kA), heat::colour(1).rgb());
        QCOMPARE(faceColour(map, kS), heat::noFigureColour().rgb());
        QCOMPARE(faceColour(map, kTab), heat::blankKeyColour().rgb());
        QCOMPARE(control<QLabel>(window, "lblHeatBest")->text(), u"得意 100％");
        QCOMPARE(control<QLabel>(window, "lblHeatWorst")->text(), u"80％ 苦手");
        QCOMPARE(toolTipOf(map, kA), u"ち（A）　正解率 66.7％・中央値 525 ms・12 回");
        QCOMPARE(toolTipOf(map, 4),
                 u"あ（3）　まだ記録がありません\nぁ（Shift+3）　まだ記録がありません");
        toolTipOf(map, kTab);  // a key without kana has none
        QTRY_VERIFY(!QToolTip::isVisible());

        QTest::mouseClick(control<QRadioButton>(window, "optHeatSpeed"), Qt::LeftButton);
        QCOMPARE(faceColour(map, kA), heat::colour(0).rgb());
        QCOMPARE(control<QLabel>(window, "lblHeatBest")->text(), u"得意 525 ms");
    }

    // Speed runs from the fastest median to the slowest; accuracy from
    // 100 % to kWorstAccuracy, beyond which every kana is equally weak.
    void heatScalesPlaceEachKana() {
        history::HistoryStatistics statistics;
        statistics.kana = {figures(u'ち', 10, 10, 400), figures(u'と', 10, 9, 1000),
                           figures(u'し', 20, 10, 700), figures(u'ぁ', 0, 0, -1)};
        QCOMPARE(heat::scaleOf(heat::Measure::Speed, history::HistoryStatistics{}), std::nullopt);
        const heat::Scale speed = *heat::scaleOf(heat::Measure::Speed, statistics);
        QCOMPARE(speed.best, 400.0);
        QCOMPARE(speed.worst, 1000.0);
        QCOMPARE(heat::badness(heat::Measure::Speed, statistics.kana[2], speed), 0.5);
        QCOMPARE(heat::badness(heat::Measure::Speed, statistics.kana[3], speed), std::nullopt);
        const heat::Scale accuracy = *heat::scaleOf(heat::Measure::Accuracy, statistics);
        QCOMPARE(heat::badness(heat::Measure::Accuracy, statistics.kana[0], accuracy), 0.0);
        QVERIFY(qFuzzyCompare(*heat::badness(heat::Measure::Accuracy, statistics.kana[1], accuracy),
                              0.5));
        QCOMPARE(heat::badness(heat::Measure::Accuracy, statistics.kana[2], accuracy), 1.0);
        QCOMPARE(heat::fill(heat::Measure::Accuracy, nullptr, accuracy),
                 heat::noFigureColour().rgb());

        // ぁ shares its key with あ, which the history does not hold.
        const heat::KeyFigures key3 = heat::figuresOf(*jisKey(4), statistics);
        QVERIFY(!key3.kana);
        QCOMPARE(key3.shifted, &statistics.kana[3]);
        // を on the 0 key is drilled by no course, so its key tells of わ alone.
        QVERIFY(!heat::isDrilled(u'を'));
        QCOMPARE(heat::toolTip(heat::figuresOf(*jisKey(11), statistics)),
                 u"わ（0）　まだ記録がありません");
    }

    void tellsWhenTheHistoryCannotBeWritten() {
        recordSession();
        FrmStatistics *window = app_->showStatisticsWindow();
        QSqlQuery(history_->database()).exec(QStringLiteral("PRAGMA query_only = 1"));
        history_->record({1, u'ち', 97, 97, true});
        history_->flush();
        QLabel *problem = control<QLabel>(window, "lblHistoryProblem");
        QVERIFY(problem->isVisible());
        QCOMPARE(problem->text(), texts::history::kReadOnly);
        window->refresh();  // the store opens the file anew and writes the key
        QVERIFY(!problem->isVisible());
        QCOMPARE(historyCount(QStringLiteral("SELECT COUNT(*) FROM keys")), 13);
    }

    void exportsTheHistoryToTheChosenFile() {
        recordSession();
        FrmStatistics *window = app_->showStatisticsWindow();
        saveAs_ = dir_.filePath(QStringLiteral("export.csv"));
        QTest::mouseClick(control<QPushButton>(window, "cmdExportCsv"), Qt::LeftButton);
        QFile file(saveAs_);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), 13);

        saveAs_ = dir_.filePath(QStringLiteral("no-such-folder/export.csv"));
        QTest::mouseClick(control<QPushButton>(window, "cmdExportCsv"), Qt::LeftButton);
        QCOMPARE(messages_, QStringList{texts::statistics::kExportFailed.toString()});
    }

    void practiceDrillsTheChosenCourseOutsideTheScoreTable() {
        recordSession();
        FrmStatistics *window = app_->showStatisticsWindow();
        control<QComboBox>(window, "cboPracticeCourse")->setCurrentIndex(0);
        QTest::mouseClick(control<QPushButton>(window, "cmdPractice"), Qt::LeftButton);
        FrmWeakPractice *practice = app_->weakPracticeWindow();
        QVERIFY(practice);
        QVERIFY(QTest::qWaitForWindowActive(practice));
        QCOMPARE(control<QLabel>(practice, "lblPracticeCourse")->text(),
                 u"コース：ホームポジション");
        QLabel *kana = control<QLabel>(practice, "lblKana");
        QVERIFY(kana->text().isEmpty());

        QTest::keyClick(practice, Qt::Key_Return);  // brings the first kana
        QCOMPARE(beeps_, 1);
        const QChar first = kana->text().front();
        const auto *entry = course(1).findKana(kana->text().toStdU16String());
        QVERIFY(entry);

        type(practice, 'q');  // no home-row key: wrong
        QVERIFY(control<QLabel>(practice, "picWrong")->isVisible());
        QCOMPARE(kana->text().front(), first);
        QCOMPARE(beeps_, 3);
        for (float r : {0.0f, 0.5f, 0.999f}) {
            random_.draws = {r};
            const auto *shown = course(1).findKana(kana->text().toStdU16String());
            QTest::keyClick(practice, static_cast<char>(shown->keyCode));
            QVERIFY(control<QLabel>(practice, "picCorrect")->isVisible());
            QVERIFY(kana->text() != QString(QChar(shown->kana)));  // never twice in a row
        }
        QCOMPARE(app_->scores(), ScoreModule{});
        QVERIFY(history_->flush());
        QCOMPARE(historyCount(QStringLiteral("SELECT COUNT(*) FROM keys WHERE course = 7")), 4);
        QCOMPARE(historyCount(QStringLiteral("SELECT COUNT(*) FROM keys WHERE course = 7"
                                             " AND correct = 0 AND pressed = 113")),
                 1);
    }

    void mainWindowRecordsEveryJudgedKeyUnderItsCourse() {
        Form1 *form1 = app_->showMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1));
        control<QPushButton>(form1, "cmdstart")->click();
        for (const char *name : {"Option1", "Option4"}) {
            auto *option = control<QRadioButton>(form1, name);
            QTest::mouseClick(option, Qt::LeftButton);
            QTest::keyClick(option, Qt::Key_Return);  // the first kana: nothing judged
            const QString shown = control<QLabel>(form1, "Label2")->text();
            const int courseNumber = name[6] - '0';
            const auto *entry = course(courseNumber).findKana(shown.toStdU16String());
            QVERIFY(entry);
            QTest::keyClick(option, Qt::Key_Return);  // wrong
            QTest::keyClick(option, static_cast<char>(entry->keyCode));
        }
        QVERIFY(history_->flush());
        QCOMPARE(historyCount(QStringLiteral("SELECT COUNT(*) FROM keys")), 4);
        QCOMPARE(historyCount(QStringLiteral("SELECT COUNT(*) FROM sessions")), 2);
        QCOMPARE(historyCount(QStringLiteral("SELECT COUNT(*) FROM keys WHERE course = 4"
                                             " AND pressed = 13 AND correct = 0")),
                 1);
        QCOMPARE(app_->scores().ScoreHome + app_->scores().ScoreHomeDown, 2);

        control<QAction>(form1, "mnustatistics")->trigger();
        QVERIFY(app_->statisticsWindow());
    }

    void mainWindowMarksAHistoryThatCannotBeWritten() {
        Form1 *form1 = app_->showMainWindow();
        QLabel *mark = control<QLabel>(form1, "lblHistoryProblem");
        QVERIFY(!mark->isVisible());
        const QSize client = form1->centralWidget()->size();
        QSqlQuery(history_->database()).exec(QStringLiteral("PRAGMA query_only = 1"));
        history_->record({1, u'ち', 97, 97, true});
        history_->flush();
        QVERIFY(mark->isVisible());
        QVERIFY(mark->text().contains(texts::history::kCannotSave.toString()));
        QCOMPARE(mark->toolTip(), texts::history::kReadOnly);
        QCOMPARE(form1->centralWidget()->size(), client);  // the layout keeps its room
        // Every menu still has its place beside the mark.
        const QRect markPlace = mark->geometry();
        for (QAction *menu : form1->menuBar()->actions())
            QVERIFY(form1->menuBar()->actionGeometry(menu).right() < markPlace.left());
        QVERIFY(form1->menuBar()->findChild<QMenu *>(QStringLiteral("mnuview")));

        emit mark->linkActivated(QStringLiteral("statistics"));
        QVERIFY(app_->statisticsWindow());  // which writes the key and clears the mark
        QVERIFY(!mark->isVisible());
    }

    void reportNamesKeysAndProblems() {
        QCOMPARE(report::pressedKeyText(99), u"そ（c）");
        QCOMPARE(report::pressedKeyText(13), u"Enter");
        QCOMPARE(report::pressedKeyText(92), u"ー／ろ（\\）");
        QCOMPARE(report::courseName(kWeakKanaPracticeCourse), u"苦手なキーの練習");
        QVERIFY(report::problemText(HistoryStore::Problem::None, {}).isEmpty());
        QVERIFY(report::problemMark(HistoryStore::Problem::None, {}).isEmpty());
        QCOMPARE(report::problemText(HistoryStore::Problem::None,
                                     QStringLiteral("/x/history.sqlite.corrupt-20261209-101010")),
                 u"履歴のファイルが壊れていたため「history.sqlite.corrupt-20261209-101010」"
                 u"という名前で残し、新しい履歴を始めました。");
        QCOMPARE(report::problemMark(HistoryStore::Problem::DiskFull, {}), u"履歴未保存");
    }
};

TAPMORA_TEST_MAIN(StatisticsWindowTest)
#include "statistics_window_test.moc"
