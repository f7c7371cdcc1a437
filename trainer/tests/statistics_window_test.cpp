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

#include "trainer/history/history_store.h"
#include "trainer/tests/find_control.h"
#include "trainer/tests/scratch_settings.h"
#include "trainer/tests/scripted_random.h"
#include "trainer/ui/form1.h"
#include "trainer/ui/frm_statistics.h"
#include "trainer/ui/frm_weak_practice.h"
#include "trainer/ui/statistics_report.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

using namespace tapmora;

namespace {

QStringList row(QTableWidget* table, int r) {
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << table->item(r, c)->text();
    return texts;
}

void type(QWidget* target, char character) {
    QTest::keyClick(target, character);
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
    qint64 historyCount(const QString& statement) {
        QSqlQuery query(history_->database());
        if (!query.exec(statement) || !query.next())
            qFatal("%s", qPrintable(statement));
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
        services.message = [this](QWidget*, const QString&, const QString& text,
                                  QMessageBox::Icon) { messages_ << text; };
        services.quit = [] {};
        services.saveFileName = [this](QWidget*, const QString&, const QString&,
                                       const QString&) { return saveAs_; };
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
        FrmStatistics* window = app_->showStatisticsWindow();
        QCOMPARE(control<QLabel>(window, "lblSummary")->text(), texts::statistics::kNoHistory);
        QVERIFY(!control<QPushButton>(window, "cmdExportCsv")->isEnabled());

        recordSession();
        window->refresh();
        QCOMPARE(control<QLabel>(window, "lblSummary")->text(),
                 u"これまでに 12 キー（正解率 66.7％）、セッション 1 回");
        auto* confusions = control<QTableWidget>(window, "tblConfusions");
        QCOMPARE(confusions->rowCount(), 1);
        QCOMPARE(row(confusions, 0), (QStringList{"ち", "し（d）", "4"}));
        auto* courses = control<QTableWidget>(window, "tblCourseTotals");
        QCOMPARE(row(courses, 0), (QStringList{"ホームポジション", "12", "66.7％", "87.3"}));
        auto* weak = control<QTableWidget>(window, "tblWeakKana");
        QCOMPARE(row(weak, 0), (QStringList{"ち", "66.7％", "525 ms"}));

        const QList<QAbstractSeries*> series =
            control<QChartView>(window, "chartView")->chart()->series();
        QCOMPARE(series.size(), 2);
        // Eight correct kana in eleven gaps of half a second.
        QCOMPARE(static_cast<QLineSeries*>(series[0])->points(),
                 (QList<QPointF>{{1, 8 * 60000.0 / 5500}}));
        QCOMPARE(static_cast<QLineSeries*>(series[1])->points().front().y(), 800.0 / 12);
        QVERIFY(control<QPushButton>(window, "cmdExportCsv")->isEnabled());
        QVERIFY(!control<QLabel>(window, "lblHistoryProblem")->isVisible());
    }

    void tellsWhenTheHistoryCannotBeWritten() {
        recordSession();
        FrmStatistics* window = app_->showStatisticsWindow();
        QSqlQuery(history_->database()).exec(QStringLiteral("PRAGMA query_only = 1"));
        history_->record({1, u'ち', 97, 97, true});
        history_->flush();
        QLabel* problem = control<QLabel>(window, "lblHistoryProblem");
        QVERIFY(problem->isVisible());
        QCOMPARE(problem->text(), texts::history::kReadOnly);
        window->refresh();  // the store opens the file anew and writes the key
        QVERIFY(!problem->isVisible());
        QCOMPARE(historyCount(QStringLiteral("SELECT COUNT(*) FROM keys")), 13);
    }

    void exportsTheHistoryToTheChosenFile() {
        recordSession();
        FrmStatistics* window = app_->showStatisticsWindow();
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
        FrmStatistics* window = app_->showStatisticsWindow();
        control<QComboBox>(window, "cboPracticeCourse")->setCurrentIndex(0);
        QTest::mouseClick(control<QPushButton>(window, "cmdPractice"), Qt::LeftButton);
        FrmWeakPractice* practice = app_->weakPracticeWindow();
        QVERIFY(practice);
        QVERIFY(QTest::qWaitForWindowActive(practice));
        QCOMPARE(control<QLabel>(practice, "lblPracticeCourse")->text(), u"コース：ホームポジション");
        QLabel* kana = control<QLabel>(practice, "lblKana");
        QVERIFY(kana->text().isEmpty());

        QTest::keyClick(practice, Qt::Key_Return);  // brings the first kana
        QCOMPARE(beeps_, 1);
        const QChar first = kana->text().front();
        const auto* entry = course(1).findKana(kana->text().toStdU16String());
        QVERIFY(entry);

        type(practice, 'q');  // no home-row key: wrong
        QVERIFY(control<QLabel>(practice, "picWrong")->isVisible());
        QCOMPARE(kana->text().front(), first);
        QCOMPARE(beeps_, 3);
        for (float r : {0.0f, 0.5f, 0.999f}) {
            random_.draws = {r};
            const auto* shown = course(1).findKana(kana->text().toStdU16String());
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
        Form1* form1 = app_->showMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(form1));
        control<QPushButton>(form1, "cmdstart")->click();
        for (const char* name : {"Option1", "Option4"}) {
            auto* option = control<QRadioButton>(form1, name);
            QTest::mouseClick(option, Qt::LeftButton);
            QTest::keyClick(option, Qt::Key_Return);  // the first kana: nothing judged
            const QString shown = control<QLabel>(form1, "Label2")->text();
            const int courseNumber = name[6] - '0';
            const auto* entry = course(courseNumber).findKana(shown.toStdU16String());
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
        Form1* form1 = app_->showMainWindow();
        QLabel* mark = control<QLabel>(form1, "lblHistoryProblem");
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
        for (QAction* menu : form1->menuBar()->actions())
            QVERIFY(form1->menuBar()->actionGeometry(menu).right() < markPlace.left());
        QVERIFY(form1->menuBar()->findChild<QMenu*>(QStringLiteral("mnuview")));

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
