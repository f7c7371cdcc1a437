// The drill's rules without windows: course tables, the drill step, the
// score record and the random source.
#include <set>

#include <QTest>

#include "trainer/model/drill.h"
#include "trainer/tests/scripted_random.h"

using namespace tapmora;

namespace {

// Records what the drill step asks of the main window.
class RecordingView final : public DrillView {
public:
    std::u16string displayedKana() const override { return shown; }
    void showKana(char16_t kana) override { shown = std::u16string(1, kana); }
    void hideMarks() override { correctMark = wrongMark = false; }
    void beep() override { ++beeps; }
    CountResult Seikai() override {
        correctMark = true;
        return countVerdict(scores, Verdict::Correct, selectedCourse);
    }
    CountResult Matigai() override {
        wrongMark = true;
        return countVerdict(scores, Verdict::Wrong, selectedCourse);
    }

    std::u16string shown;
    bool correctMark = true;  // a step must hide both
    bool wrongMark = true;
    int beeps = 0;
    int selectedCourse = 1;
    ScoreModule scores;
};

std::set<int> unassignedIndices(const Course &c) {
    std::set<int> missing;
    for (int i = 1; i <= c.drawCount; ++i)
        if (!c.findIndex(i)) missing.insert(i);
    return missing;
}

}  // namespace

class ModelTest : public QObject {
    Q_OBJECT
private slots:
    void coursesHaveTheirDrawCountsAndGaps() {
        const int draws[kCourseCount] = {12, 12, 13, 11, 13, 50};
        const std::size_t entries[kCourseCount] = {12, 12, 13, 11, 12, 49};
        for (int c = 1; c <= kCourseCount; ++c) {
            QCOMPARE(course(c).drawCount, draws[c - 1]);
            QCOMPARE(course(c).entries.size(), entries[c - 1]);
        }
        QCOMPARE(unassignedIndices(course(5)), std::set<int>{8});
        QCOMPARE(unassignedIndices(course(6)), std::set<int>{45});
        for (int c : {1, 2, 3, 4})
            QVERIFY2(unassignedIndices(course(c)).empty(), qPrintable(QString::number(c)));
    }

    void coursesKeepKanaIndicesAndKeysDistinct() {
        for (int c = 1; c <= kCourseCount; ++c) {
            std::set<int> indices, kana, keys;
            for (const CourseEntry &e : course(c).entries) {
                QVERIFY(indices.insert(e.index).second);
                QVERIFY(kana.insert(e.kana).second);
                QVERIFY(keys.insert(e.keyCode).second);
                QVERIFY2(e.keyCode < 'A' || e.keyCode > 'Z', "no key needs Caps Lock");
            }
        }
    }

    void allKeysCourseRunsOnTheOtherCoursesIndices() {
        const Course &all = course(6);
        QCOMPARE(all.findIndex(1)->kana, u'ち');
        QCOMPARE(all.findIndex(13)->kana, u'た');
        QCOMPARE(all.findIndex(13)->keyCode, 113);
        QCOMPARE(all.findIndex(37)->kana, u'ー');
        QCOMPARE(all.findIndex(44)->kana, u'ょ');
        QCOMPARE(all.findIndex(46)->kana, u'「');
        QCOMPARE(all.findIndex(46)->keyCode, 123);
        QCOMPARE(all.findIndex(50)->kana, u'、');
        for (const CourseEntry &e : course(4).entries)
            QVERIFY2(!all.findKana(std::u16string(1, e.kana)), "the row below home is not drilled");
        for (const CourseEntry &e : all.entries) {
            const std::u16string kana(1, e.kana);
            const CourseEntry *source = nullptr;
            for (int c : {1, 2, 3, 5})
                if (!source) source = course(c).findKana(kana);
            QVERIFY(source);
            QCOMPARE(source->keyCode, e.keyCode);
        }
    }

    void findKanaMatchesOnlyTheExactCaption() {
        QCOMPARE(course(1).findKana(u"ち")->keyCode, 97);
        QVERIFY(!course(1).findKana(u""));
        QVERIFY(!course(1).findKana(u"ちち"));
        QVERIFY(!course(1).findKana(u"チ"));  // no kana folding
        QCOMPARE(course(3).findKana(u"ー")->keyCode, 92);
        QCOMPARE(course(4).findKana(u"ろ")->keyCode, 92);
    }

    void drawIndexCoversTheWholeRange() {
        QCOMPARE(drawIndex(0.0f, 13), 1);
        QCOMPARE(drawIndex(0.5f, 13), 7);
        QCOMPARE(drawIndex(1.0f - 0x1p-24f, 13), 13);
        QCOMPARE(drawIndex(1.0f - 0x1p-24f, 50), 50);
    }

    void wrongKeysKeepTheKanaAndBeepTwice_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("other letter") << int{'s'};
        QTest::newRow("Enter") << 13;
        QTest::newRow("Space") << 32;
        QTest::newRow("Backspace") << 8;
        QTest::newRow("Caps Lock A") << int{'A'};
    }
    void wrongKeysKeepTheKanaAndBeepTwice() {
        QFETCH(int, key);
        RecordingView view;
        view.shown = u"ち";
        ScriptedRandom random;
        random.draws = {ScriptedRandom::pick(5, 12)};  // discarded
        drillStep(course(1), static_cast<std::int16_t>(key), view, random);
        QVERIFY(view.wrongMark && !view.correctMark);
        QCOMPARE(view.scores.EScoreHome, 1);
        QCOMPARE(view.scores.ScoreHome, 0);
        QCOMPARE(view.shown, u"ち");
        QCOMPARE(view.beeps, 2);
    }

    void stepStopsWhenTheCounterIsAtItsLimit() {
        RecordingView view;
        view.shown = u"ぁ";
        view.selectedCourse = 5;
        view.scores.ScoreUseShift = 32767;
        ScriptedRandom random;
        random.draws = {ScriptedRandom::pick(2, 13)};
        QCOMPARE(drillStep(course(5), '#', view, random), CountResult::AtLimit);
        QVERIFY(view.correctMark);
        ScoreModule expected;
        expected.ScoreUseShift = 32767;
        QCOMPARE(view.scores, expected);
        QCOMPARE(view.shown, u"ぁ");
        QCOMPARE(view.beeps, 0);
    }

    void verdictsCountForTheSelectedCourseOnly() {
        ScoreModule scores;
        countVerdict(scores, Verdict::Correct, 3);
        countVerdict(scores, Verdict::Wrong, 6);
        countVerdict(scores, Verdict::Wrong, 0);  // no course selected
        ScoreModule expected;
        expected.ScoreHome2Up = 1;
        expected.EScoreAll = 1;
        QCOMPARE(scores, expected);
    }

    // Listeners hear of changed counts only: no course selected and a count
    // at its limit change nothing.
    void tallyTellsListenersOfChangedCountsOnly() {
        ScoreTally tally;
        int first = 0;
        int second = 0;
        const int firstKey = tally.subscribe([&] { ++first; });
        tally.subscribe([&] { ++second; });
        tally.count(Verdict::Correct, 2);
        tally.count(Verdict::Wrong, 0);
        tally.record().EScoreHome = 32767;
        QCOMPARE(tally.count(Verdict::Wrong, 1), CountResult::AtLimit);
        QCOMPARE(first, 1);
        QCOMPARE(second, 1);

        tally.unsubscribe(firstKey);
        tally.count(Verdict::Wrong, 6);
        QCOMPARE(first, 1);
        QCOMPARE(second, 2);
        QCOMPARE(tally.record().ScoreHome1Up, 1);
        QCOMPARE(tally.record().EScoreAll, 1);
    }

    void recomputationStoresTotalsAndSums() {
        ScoreModule scores;
        scores.ScoreHome = 3;
        scores.EScoreHome = 2;
        scores.ScoreAll = 10;
        scores.EScoreHomeDown = 4;
        QCOMPARE(recomputeTotals(scores), CountResult::Counted);
        QCOMPARE(scores.AScoreHome, 5);
        QCOMPARE(scores.AScoreHomeDown, 4);
        QCOMPARE(scores.AScoreAll, 10);
        QCOMPARE(scores.ATrue, 13);
        QCOMPARE(scores.AFalse, 6);
        QCOMPARE(scores.ATFAll, 19);
    }

    void recomputationStopsAtTheFirstSumPastTheLimit() {
        ScoreModule scores;
        scores.ScoreHome1Up = 20000;
        scores.EScoreHome1Up = 12768;  // course total 32768
        scores.ScoreHome = 1;
        scores.AScoreHome1Up = 7;
        QCOMPARE(recomputeTotals(scores), CountResult::AtLimit);
        QCOMPARE(scores.AScoreHome, 1);     // stored before the failing addition
        QCOMPARE(scores.AScoreHome1Up, 7);  // kept
        QCOMPARE(scores.ATrue, 0);

        ScoreModule sums;
        sums.ScoreHome = 20000;
        sums.ScoreAll = 20000;  // each total fits, the sum of correct keys does not
        QCOMPARE(recomputeTotals(sums), CountResult::AtLimit);
        QCOMPARE(sums.AScoreAll, 20000);
        QCOMPARE(sums.ATrue, 0);
    }

    void reseedingWithTheSameTimeStillDrawsOnwards() {
        TimeOfDayRandom random([] { return 43200.5; });
        random.reseedFromTimeOfDay();
        const float first = random.nextUnit();
        random.reseedFromTimeOfDay();
        QVERIFY(random.nextUnit() != first);
    }

    void drawsAreUniformOverTheRange() {
        TimeOfDayRandom random;
        constexpr int kDrawCount = 13;
        constexpr int kDraws = 26000;
        int hits[kDrawCount + 1] = {};
        for (int i = 0; i < kDraws; ++i) {
            random.reseedFromTimeOfDay();
            const float r = random.nextUnit();
            QVERIFY(r >= 0.0f && r < 1.0f);
            ++hits[drawIndex(r, kDrawCount)];
        }
        for (int n = 1; n <= kDrawCount; ++n)
            QVERIFY2(hits[n] > 1700 && hits[n] < 2300, qPrintable(QString::number(hits[n])));
    }
};

QTEST_APPLESS_MAIN(ModelTest)
#include "model_test.moc"
