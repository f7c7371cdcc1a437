#include "trainer/ui/statistics_report.h"

#include <algorithm>

#include <QFileInfo>
#include <QLocale>

#include "trainer/model/key_names.h"
#include "trainer/model/weak_kana.h"
#include "trainer/ui/texts.h"

namespace tapmora::report {
namespace {

QString count(std::int64_t n) { return QLocale(QLocale::Japanese).toString(qint64{n}); }

QString kanaText(char16_t kana) { return QString(QChar(kana)); }

const history::KanaStatistics *findKana(const history::HistoryStatistics &statistics,
                                        char16_t kana) {
    auto found = std::ranges::find(statistics.kana, kana, &history::KanaStatistics::kana);
    return found == statistics.kana.end() ? nullptr : &*found;
}

}  // namespace

QString courseName(int course) {
    if (course >= 1 && course <= kCourseCount) return texts::kCourseCaptions[course - 1].toString();
    return texts::statistics::kWeakPracticeCourse.toString();
}

QString pressedKeyText(std::int16_t keyCode) {
    const QString character = QString::fromStdU16String(keyCharacter(keyCode));
    const QString kana = QString::fromStdU16String(kanaOfKey(keyCode));
    return kana.isEmpty() ? character : QStringLiteral("%1（%2）").arg(kana, character);
}

QString percent(double share) {
    return QString::number(share * 100, 'f', 1) + QStringLiteral("％");
}

QString problemText(HistoryStore::Problem problem, const QString &keptAsidePath) {
    using Problem = HistoryStore::Problem;
    switch (problem) {
        case Problem::Busy: return texts::history::kBusy.toString();
        case Problem::ReadOnly: return texts::history::kReadOnly.toString();
        case Problem::DiskFull: return texts::history::kDiskFull.toString();
        case Problem::NewerVersion: return texts::history::kNewerVersion.toString();
        case Problem::Unavailable: return texts::history::kUnavailable.toString();
        case Problem::None: break;
    }
    if (keptAsidePath.isEmpty()) return {};
    return texts::history::kKeptAside.toString().arg(QFileInfo(keptAsidePath).fileName());
}

QString problemMark(HistoryStore::Problem problem, const QString &keptAsidePath) {
    if (problem != HistoryStore::Problem::None) return texts::history::kCannotSave.toString();
    return keptAsidePath.isEmpty() ? QString() : texts::history::kStartedAfresh.toString();
}

QString summary(const history::HistoryStatistics &statistics) {
    std::int64_t keys = 0, correct = 0, sessions = 0;
    for (const history::CourseTotals &course : statistics.courses) {
        keys += course.keys;
        correct += course.correct;
        sessions += course.sessions;
    }
    if (keys == 0) return texts::statistics::kNoHistory.toString();
    return texts::statistics::kSummary.toString().arg(
        count(keys),
        QString::number(100.0 * static_cast<double>(correct) / static_cast<double>(keys), 'f', 1),
        count(sessions));
}

std::vector<QStringList> confusionRows(const history::HistoryStatistics &statistics) {
    std::vector<QStringList> rows;
    for (const history::Confusion &confusion : statistics.confusions)
        rows.push_back(
            {kanaText(confusion.kana), pressedKeyText(confusion.pressed), count(confusion.count)});
    return rows;
}

std::vector<QStringList> courseRows(const history::HistoryStatistics &statistics) {
    std::vector<QStringList> rows;
    for (const history::CourseTotals &course : statistics.courses)
        rows.push_back({courseName(course.course), count(course.keys), percent(course.accuracy()),
                        QString::number(course.kanaPerMinute(), 'f', 1)});
    return rows;
}

std::vector<QStringList> weakKanaRows(const history::HistoryStatistics &statistics, int course,
                                      int count) {
    const Course &kana = tapmora::course(course);
    const std::vector<KanaHistory> known = history::kanaHistory(statistics);
    const WeakKanaDraw draw(kana, known);
    std::vector<const CourseEntry *> order;
    for (const CourseEntry &entry : kana.entries)
        if (findKana(statistics, entry.kana)) order.push_back(&entry);
    std::ranges::stable_sort(order, std::greater<>(),
                             [&](const CourseEntry *entry) { return draw.weight(*entry); });
    std::vector<QStringList> rows;
    for (const CourseEntry *entry : order) {
        if (static_cast<int>(rows.size()) == count) break;
        const history::KanaStatistics *figures = findKana(statistics, entry->kana);
        rows.push_back({kanaText(entry->kana), percent(figures->accuracy()),
                        figures->medianMs < 0
                            ? QStringLiteral("—")
                            : QStringLiteral("%1 ms").arg(qRound(figures->medianMs))});
    }
    return rows;
}

}  // namespace tapmora::report
