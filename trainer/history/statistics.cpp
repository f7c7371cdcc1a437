#include "trainer/history/statistics.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "trainer/history/schema.h"

namespace tapmora::history {
namespace {

double ratio(std::int64_t part, std::int64_t whole) {
    return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

double perMinute(std::int64_t count, std::int64_t milliseconds) {
    return milliseconds > 0
               ? 60000.0 * static_cast<double>(count) / static_cast<double>(milliseconds)
               : 0.0;
}

char16_t firstUnit(const QVariant &text) {
    const QString string = text.toString();
    return string.isEmpty() ? u'\0' : string.front().unicode();
}

std::optional<QSqlQuery> select(const QSqlDatabase &db, const QString &statement) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(statement)) return std::nullopt;
    return query;
}

bool readKana(const QSqlDatabase &db, std::vector<KanaStatistics> &kana) {
    auto totals = select(db, QStringLiteral("SELECT kana, expected, attempts, correct, timed,"
                                            " timed_ms FROM kana_totals ORDER BY kana"));
    if (!totals) return false;
    while (totals->next()) {
        KanaStatistics k;
        k.kana = firstUnit(totals->value(0));
        k.expected = static_cast<std::int16_t>(totals->value(1).toInt());
        k.attempts = totals->value(2).toLongLong();
        k.correct = totals->value(3).toLongLong();
        k.timed = totals->value(4).toLongLong();
        if (k.timed > 0)
            k.meanMs =
                static_cast<double>(totals->value(5).toLongLong()) / static_cast<double>(k.timed);
        kana.push_back(k);
    }
    // The median lies in the bucket where the running count passes half the
    // timed keys; within it the keys are taken as evenly spread.
    auto buckets = select(db, QStringLiteral("SELECT kana, bucket, count FROM kana_times"
                                             " ORDER BY kana, bucket"));
    if (!buckets) return false;
    auto current = kana.begin();
    std::int64_t below = 0;
    while (buckets->next()) {
        const char16_t unit = firstUnit(buckets->value(0));
        if (current == kana.end() || current->kana != unit) {
            current = std::ranges::find(kana, unit, &KanaStatistics::kana);
            below = 0;
        }
        if (current == kana.end() || current->medianMs >= 0) continue;
        const std::int64_t count = buckets->value(2).toLongLong();
        const double half = static_cast<double>(current->timed) / 2.0;
        if (static_cast<double>(below + count) >= half) {
            const double within = (half - static_cast<double>(below)) / static_cast<double>(count);
            current->medianMs = (buckets->value(1).toDouble() + within) * kTimeBucketMilliseconds;
        }
        below += count;
    }
    return true;
}

bool readSessions(const QSqlDatabase &db, const StatisticsLimits &limits,
                  HistoryStatistics &statistics) {
    const QString wanted = QStringLiteral("keys >= %1").arg(limits.minimumSessionKeys);
    auto count = select(db, QStringLiteral("SELECT COUNT(*) FROM sessions WHERE ") + wanted);
    if (!count || !count->next()) return false;
    statistics.totalSessions = count->value(0).toLongLong();
    auto recent = select(
        db, QStringLiteral("SELECT id, course, started_at, ended_at, keys, correct, typing_ms"
                           " FROM sessions WHERE %1 ORDER BY started_at DESC, id DESC LIMIT %2")
                .arg(wanted)
                .arg(limits.recentSessions));
    if (!recent) return false;
    while (recent->next())
        statistics.sessions.push_back({recent->value(0).toLongLong(), recent->value(1).toInt(),
                                       recent->value(2).toLongLong(), recent->value(3).toLongLong(),
                                       recent->value(4).toLongLong(), recent->value(5).toLongLong(),
                                       recent->value(6).toLongLong()});
    std::ranges::reverse(statistics.sessions);
    return true;
}

bool readConfusions(const QSqlDatabase &db, int limit, std::vector<Confusion> &confusions) {
    auto query = select(db, QStringLiteral("SELECT kana, pressed, count FROM confusions"
                                           " ORDER BY count DESC, kana, pressed LIMIT %1")
                                .arg(limit));
    if (!query) return false;
    while (query->next())
        confusions.push_back({firstUnit(query->value(0)),
                              static_cast<std::int16_t>(query->value(1).toInt()),
                              query->value(2).toLongLong()});
    return true;
}

bool readCourses(const QSqlDatabase &db, std::vector<CourseTotals> &courses) {
    auto query = select(db, QStringLiteral("SELECT course, COUNT(*), TOTAL(keys), TOTAL(correct),"
                                           " TOTAL(typing_ms) FROM sessions WHERE keys > 0"
                                           " GROUP BY course ORDER BY course"));
    if (!query) return false;
    while (query->next())
        courses.push_back({query->value(0).toInt(), query->value(1).toLongLong(),
                           query->value(2).toLongLong(), query->value(3).toLongLong(),
                           query->value(4).toLongLong()});
    return true;
}

}  // namespace

double KanaStatistics::accuracy() const { return ratio(correct, attempts); }
double SessionStatistics::accuracy() const { return ratio(correct, keys); }
double SessionStatistics::kanaPerMinute() const { return perMinute(correct, typingMs); }
double CourseTotals::accuracy() const { return ratio(correct, keys); }
double CourseTotals::kanaPerMinute() const { return perMinute(correct, typingMs); }

std::optional<HistoryStatistics> readStatistics(const QSqlDatabase &db,
                                                const StatisticsLimits &limits) {
    if (!db.isOpen()) return std::nullopt;
    HistoryStatistics statistics;
    if (!readKana(db, statistics.kana) || !readSessions(db, limits, statistics) ||
        !readConfusions(db, limits.confusions, statistics.confusions) ||
        !readCourses(db, statistics.courses))
        return std::nullopt;
    return statistics;
}

std::vector<KanaHistory> kanaHistory(const HistoryStatistics &statistics) {
    std::vector<KanaHistory> history;
    for (const KanaStatistics &k : statistics.kana)
        history.push_back({k.kana, k.attempts, k.correct, k.medianMs});
    return history;
}

}  // namespace tapmora::history
