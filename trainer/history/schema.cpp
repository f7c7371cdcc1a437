#include "trainer/history/schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace tapmora::history {
namespace {

// A correct key whose interval is no pause: it counts towards its kana's speed.
QString timedCorrect(const QString &row) {
    return QStringLiteral(
               "(%1correct = 1 AND %1since_previous_ms IS NOT NULL"
               " AND %1since_previous_ms BETWEEN 0 AND %2)")
        .arg(row)
        .arg(kPauseMilliseconds);
}
// The interval's share of a session's typing time.
QString typingMs(const QString &row) {
    return QStringLiteral(
               "(CASE WHEN %1since_previous_ms BETWEEN 0 AND %2 "
               "THEN %1since_previous_ms ELSE 0 END)")
        .arg(row)
        .arg(kPauseMilliseconds);
}

// The record: one row per judged key, grouped into sessions.
QStringList keysAndSessions() {
    return {
        QStringLiteral("CREATE TABLE sessions ("
                       " id INTEGER PRIMARY KEY,"
                       " course INTEGER NOT NULL,"        // 1..6, 7 weak-kana practice
                       " started_at INTEGER NOT NULL)"),  // ms since 1970 UTC
        QStringLiteral("CREATE TABLE keys ("
                       " id INTEGER PRIMARY KEY,"
                       " session INTEGER NOT NULL REFERENCES sessions(id),"
                       " at INTEGER NOT NULL,"
                       " course INTEGER NOT NULL,"
                       " kana TEXT NOT NULL,"
                       " expected INTEGER NOT NULL,"
                       " pressed INTEGER NOT NULL,"
                       " correct INTEGER NOT NULL CHECK (correct IN (0, 1)),"
                       " since_previous_ms INTEGER)"),  // null for a session's first key
        QStringLiteral("CREATE INDEX keys_by_session ON keys(session)"),
    };
}

// Running sums kept beside the record by a trigger, so the statistics read a
// few hundred rows however many keys were typed. Filled from the keys
// already recorded.
QStringList summaries() {
    const QString newRow = QStringLiteral("NEW.");
    return {
        QStringLiteral("ALTER TABLE sessions ADD COLUMN ended_at INTEGER"),
        QStringLiteral("ALTER TABLE sessions ADD COLUMN keys INTEGER NOT NULL DEFAULT 0"),
        QStringLiteral("ALTER TABLE sessions ADD COLUMN correct INTEGER NOT NULL DEFAULT 0"),
        QStringLiteral("ALTER TABLE sessions ADD COLUMN typing_ms INTEGER NOT NULL DEFAULT 0"),
        QStringLiteral("CREATE INDEX sessions_by_start ON sessions(started_at)"),
        QStringLiteral("CREATE TABLE kana_totals ("
                       " kana TEXT PRIMARY KEY, expected INTEGER NOT NULL,"
                       " attempts INTEGER NOT NULL, correct INTEGER NOT NULL,"
                       " timed INTEGER NOT NULL, timed_ms INTEGER NOT NULL) WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE kana_times ("
                       " kana TEXT NOT NULL, bucket INTEGER NOT NULL, count INTEGER NOT NULL,"
                       " PRIMARY KEY (kana, bucket)) WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE confusions ("
                       " kana TEXT NOT NULL, pressed INTEGER NOT NULL, count INTEGER NOT NULL,"
                       " PRIMARY KEY (kana, pressed)) WITHOUT ROWID"),

        QStringLiteral("UPDATE sessions SET (ended_at, keys, correct, typing_ms) = ("
                       " SELECT COALESCE(MAX(at), sessions.started_at), COUNT(*),"
                       " TOTAL(correct), TOTAL(%1) FROM keys WHERE session = sessions.id)")
            .arg(typingMs(QString())),
        QStringLiteral("INSERT INTO kana_totals SELECT kana, MAX(expected), COUNT(*),"
                       " TOTAL(correct), TOTAL(%1), TOTAL(CASE WHEN %1 THEN since_previous_ms"
                       " ELSE 0 END) FROM keys GROUP BY kana")
            .arg(timedCorrect(QString())),
        QStringLiteral("INSERT INTO kana_times SELECT kana, since_previous_ms / %1, COUNT(*)"
                       " FROM keys WHERE %2 GROUP BY 1, 2")
            .arg(kTimeBucketMilliseconds)
            .arg(timedCorrect(QString())),
        QStringLiteral("INSERT INTO confusions SELECT kana, pressed, COUNT(*) FROM keys"
                       " WHERE correct = 0 GROUP BY 1, 2"),

        QStringLiteral(
            "CREATE TRIGGER keys_summarise AFTER INSERT ON keys BEGIN"
            " UPDATE sessions SET ended_at = NEW.at, keys = keys + 1,"
            "  correct = correct + NEW.correct, typing_ms = typing_ms + %1"
            "  WHERE id = NEW.session;"
            " INSERT INTO kana_totals VALUES (NEW.kana, NEW.expected, 1, NEW.correct, %2,"
            "  CASE WHEN %2 THEN NEW.since_previous_ms ELSE 0 END)"
            "  ON CONFLICT (kana) DO UPDATE SET attempts = attempts + 1,"
            "  correct = correct + excluded.correct, timed = timed + excluded.timed,"
            "  timed_ms = timed_ms + excluded.timed_ms;"
            " INSERT INTO kana_times SELECT NEW.kana, NEW.since_previous_ms / %3, 1 WHERE %2"
            "  ON CONFLICT (kana, bucket) DO UPDATE SET count = count + 1;"
            " INSERT INTO confusions SELECT NEW.kana, NEW.pressed, 1 WHERE NEW.correct = 0"
            "  ON CONFLICT (kana, pressed) DO UPDATE SET count = count + 1;"
            " END")
            .arg(typingMs(newRow), timedCorrect(newRow))
            .arg(kTimeBucketMilliseconds),
    };
}

// Step n brings version n to version n + 1.
QStringList step(int from) {
    switch (from) {
        case 0: return keysAndSessions();
        case 1: return summaries();
        default: return {};
    }
}

int userVersion(QSqlDatabase &db, QSqlError &error) {
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("PRAGMA user_version")) && query.next())
        return query.value(0).toInt();
    error = query.lastError();
    return -1;
}

}  // namespace

bool execute(QSqlDatabase &db, const QString &statement, QSqlError &error) {
    QSqlQuery query(db);
    if (query.exec(statement)) return true;
    error = query.lastError();
    return false;
}

MigrationResult migrate(QSqlDatabase &db, QSqlError &error) {
    return migrateTo(db, kSchemaVersion, error);
}

MigrationResult migrateTo(QSqlDatabase &db, int version, QSqlError &error) {
    // A quick look first: an up-to-date file needs no write lock.
    int found = userVersion(db, error);
    if (found < 0) return MigrationResult::Failed;
    if (found > kSchemaVersion) return MigrationResult::NewerThanProgram;
    if (found >= version) return MigrationResult::UpToDate;

    if (!execute(db, QStringLiteral("BEGIN IMMEDIATE"), error)) return MigrationResult::Failed;
    // Another program may have migrated the file while we waited for the lock.
    found = userVersion(db, error);
    if (found > kSchemaVersion) {
        QSqlError ignored;
        execute(db, QStringLiteral("ROLLBACK"), ignored);
        return MigrationResult::NewerThanProgram;
    }
    bool done = found >= 0;
    for (int from = found; done && from < version; ++from)
        for (const QString &statement : step(from))
            if (!(done = execute(db, statement, error))) break;
    done = done &&
           execute(db, QStringLiteral("PRAGMA user_version = %1").arg(std::max(found, version)),
                   error) &&
           execute(db, QStringLiteral("COMMIT"), error);
    if (!done) {
        QSqlError ignored;
        execute(db, QStringLiteral("ROLLBACK"), ignored);
        return MigrationResult::Failed;
    }
    return MigrationResult::UpToDate;
}

}  // namespace tapmora::history
