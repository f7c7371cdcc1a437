// Weak-kana practice without windows: the weighted draw over many draws
// with a fixed seed, the drill step's report of judged keys, and key names.
#include <map>
#include <random>

#include <QTest>

#include "trainer/model/drill.h"
#include "trainer/model/key_names.h"
#include "trainer/model/weak_kana.h"
#include "trainer/tests/scripted_random.h"

using namespace tapmora;

namespace {

// A display that counts nothing and notes what the step reports.
class PracticeView final : public DrillView {
public:
    std::u16string displayedKana() const override { return shown; }
    void showKana(char16_t kana) override { shown = std::u16string(1, kana); }
    void hideMarks() override {}
    void beep() override {}
    CountResult Seikai() override {
        return limitReached ? CountResult::AtLimit : CountResult::Counted;
    }
    CountResult Matigai() override {
        return limitReached ? CountResult::AtLimit : CountResult::Counted;
    }
    void keyJudged(const CourseEntry &entry, std::int16_t keyCode, Verdict verdict) override {
        judged.push_back({entry.kana, keyCode, verdict});
    }

    struct Judged {
        char16_t kana;
        std::int16_t keyCode;
        Verdict verdict;
        bool operator==(const Judged &) const = default;
    };
    std::u16string shown;
    bool limitReached = false;
    std::vector<Judged> judged;
};

// How often each kana comes in `draws` draws, each following the last as
// the practice does after correct keys.
std::map<char16_t, int> drawMany(const Course &c, const WeakKanaDraw &draw, int draws,
                                 bool *repeated = nullptr) {
    std::mt19937 generator(20261209);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::map<char16_t, int> seen;
    const CourseEntry *shown = nullptr;
    for (int i = 0; i < draws; ++i) {
        const CourseEntry *next = c.findIndex(draw.draw(unit(generator), shown));
        if (repeated && next == shown) *repeated = true;
        ++seen[next->kana];
        shown = next;
    }
    return seen;
}

}  // namespace

class WeakKanaTest : public QObject {
    Q_OBJECT

private slots:
    void stepReportsEachJudgedKeyBeforeCountingIt() {
        PracticeView view;
        ScriptedRandom random;
        random.draws = {ScriptedRandom::pick(1, 12)};
        drillStep(course(1), 13, view, random);  // empty display: nothing judged
        QVERIFY(view.judged.empty());
        QCOMPARE(view.shown, u"ち");
        drillStep(course(1), 100, view, random);
        view.limitReached = true;
        drillStep(course(1), 97, view, random);  // judged even at the limit
        using J = PracticeView::Judged;
        QCOMPARE(view.judged,
                 (std::vector<J>{{u'ち', 100, Verdict::Wrong}, {u'ち', 97, Verdict::Correct}}));
    }

    void stepTakesTheNextKanaFromTheDraw() {
        PracticeView view;
        ScriptedRandom random;
        const WeakKanaDraw draw(course(1), {});
        // With equal weights the draw spreads r over the eleven kana not on
        // display: r just below 1/11 is the first of them.
        view.shown = std::u16string(u"ち");
        random.draws = {0.0f};
        drillStep(course(1), 97, view, random, draw);
        QCOMPARE(view.shown, u"と");
        random.draws = {0.999f};
        drillStep(course(1), 115, view, random, draw);
        QCOMPARE(view.shown, u"む");
        random.draws = {0.0f};
        drillStep(course(1), 0, view, random, draw);  // wrong: the same kana stays
        QCOMPARE(view.shown, u"む");
    }

    void withoutHistoryEveryKanaComesAlike() {
        const WeakKanaDraw draw(course(6), {});
        const auto seen = drawMany(course(6), draw, 49'000);
        QCOMPARE(seen.size(), 49u);
        for (const auto &[kana, count] : seen)
            QVERIFY2(count > 900 && count < 1100, qPrintable(QString(QChar(kana))));
    }

    void weakAndSlowKanaComeMoreOftenButEveryKanaStillComes() {
        std::vector<KanaHistory> history;
        for (const CourseEntry &entry : course(1).entries)
            history.push_back({entry.kana, 200, 200, 500});
        history[2] = {u'し', 200, 100, 500};   // half wrong
        history[5] = {u'く', 200, 200, 1500};  // three times as slow
        history[9] = {u'れ', 0, 0, -1};        // never typed
        const WeakKanaDraw draw(course(1), history);
        QCOMPARE(draw.weight(course(1).entries[0]), 1.0 + 10.0 / 205);

        bool repeated = false;
        const int draws = 120'000;
        auto seen = drawMany(course(1), draw, draws, &repeated);
        QVERIFY(!repeated);
        const int plain = seen[u'ち'];
        QVERIFY(seen[u'し'] > 3 * plain);
        QVERIFY(seen[u'く'] > 2 * plain);
        QVERIFY(seen[u'れ'] > plain);
        QVERIFY(seen[u'し'] > seen[u'く']);
        // A quarter of the draws are plain: every kana gets at least a
        // quarter of its plain share, and here each strong one about a third.
        const double plainShare = static_cast<double>(draws) / 12;
        for (const auto &[kana, count] : seen)
            QVERIFY2(count > WeakKanaDraw::kUniformShare * plainShare,
                     qPrintable(QString(QChar(kana))));
    }

    void aCourseWithGapsDrawsOnlyItsKana() {
        const WeakKanaDraw draw(course(5), {});
        const auto seen = drawMany(course(5), draw, 13'000);
        QCOMPARE(seen.size(), 12u);  // index 8 has no kana and never comes
    }

    void keysAreNamedByCharacterAndKana() {
        QCOMPARE(keyCharacter(97), u"a");
        QCOMPARE(keyCharacter(92), u"\\");
        QCOMPARE(keyCharacter(13), u"Enter");
        QCOMPARE(keyCharacter(32), u"Space");
        QCOMPARE(keyCharacter(1), u"#1");
        QCOMPARE(kanaOfKey(99), u"そ");
        QCOMPARE(kanaOfKey(62), u"。");
        QCOMPARE(kanaOfKey(92), u"ー／ろ");
        QCOMPARE(kanaOfKey(65), u"");  // a Caps Lock letter is no kana key
        QCOMPARE(kanaOfKey(90), u"");  // nor is Z, though Shift+Z types っ
        QCOMPARE(kanaOfKey(33), u"");  // Shift+1 bears no kana
        // The keyboard names the kana of every course entry's key.
        for (int number = 1; number <= kCourseCount; ++number)
            for (const CourseEntry &entry : course(number).entries)
                QVERIFY2(kanaOfKey(entry.keyCode).find(entry.kana) != std::u16string::npos,
                         qPrintable(QString(QChar(entry.kana))));
    }
};

QTEST_APPLESS_MAIN(WeakKanaTest)
#include "weak_kana_test.moc"
