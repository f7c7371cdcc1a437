// The history store on real SQLite files: sessions and intervals, the
// running sums and what is read from them, the schema's steps, and files
// that are corrupt, locked, read-only or full.
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include "trainer/history/csv_export.h"
#include "trainer/history/history_store.h"
#include "trainer/history/schema.h"
#include "trainer/history/statistics.h"

using namespace tapmora;

namespace {

struct FakeTime {
    std::int64_t wall = 1'700'000'000'000;
    std::int64_t monotonic = 0;
    void advance(std::int64_t ms) {
        wall += ms;
        monotonic += ms;
    }
    HistoryStore::Clock clock() {
        return {[this] { return wall; }, [this] { return monotonic; }};
    }
};

KeyRecord key(int course, char16_t kana, std::int16_t expected, std::int16_t pressed) {
    return {course, kana, expected, pressed, expected == pressed};
}

// A connection of its own to `path`, as another program would have.
class OtherConnection {
public:
    explicit OtherConnection(const QString &path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        QVERIFY(db.open());
    }
    ~OtherConnection() {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }
    bool exec(const QString &statement) {
        QSqlQuery query(db());
        return query.exec(statement);
    }
    qint64 number(const QString &statement) {
        QSqlQuery query(db());
        if (!query.exec(statement) || !query.next())
            qFatal("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
        return query.value(0).toLongLong();
    }

private:
    QString name_ = QStringLiteral("other-%1").arg(++count_);
    static inline int count_ = 0;
};

qint64 storedKeys(const QString &path) {
    return OtherConnection(path).number(QStringLiteral("SELECT COUNT(*) FROM keys"));
}

// The running sums as rows of text, to compare two files' sums.
QStringList summaries(QSqlDatabase db) {
    QStringList rows;
    for (const char *statement :
         {"SELECT kana, expected, attempts, correct, timed, timed_ms FROM kana_totals ORDER BY 1",
          "SELECT kana, bucket, count FROM kana_times ORDER BY 1, 2",
          "SELECT kana, pressed, count FROM confusions ORDER BY 1, 2",
          "SELECT id, ended_at, keys, correct, typing_ms FROM sessions ORDER BY 1"}) {
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(statement))) qFatal("%s", statement);
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < query.record().count(); ++i) row << query.value(i).toString();
            rows << row.join(u'|');
        }
    }
    return rows;
}

}  // namespace

class HistoryTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    FakeTime time_;
    QString path() const { return dir_.filePath(QStringLiteral("tapmora/history.sqlite")); }

    // Types the home row's ち right, then wrong (し for ち), then と right.
    void typeThree(HistoryStore &store, int course = 1) {
        store.record(key(course, u'ち', 97, 97));
        time_.advance(400);
        store.record(key(course, u'ち', 97, 100));
        time_.advance(600);
        store.record(key(course, u'と', 115, 115));
    }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral("-wal"));
        QFile::remove(path() + QStringLiteral("-shm"));
        time_ = FakeTime();
    }

    void keysAreGroupedIntoSessionsWithTheirIntervals() {
        {
            HistoryStore store(path(), time_.clock());
            typeThree(store, 1);
            time_.advance(300);
            store.record(key(2, u'た', 113, 113));  // another course: a new session
            time_.advance(200);
            store.record(key(2, u'て', 119, 119));
            QVERIFY(store.flush());
            QCOMPARE(store.problem(), HistoryStore::Problem::None);
        }
        {
            HistoryStore store(path(), time_.clock());  // a new run: a new session
            time_.advance(100);
            store.record(key(2, u'い', 101, 101));
        }
        OtherConnection other(path());
        QSqlQuery keys(other.db());
        QVERIFY(keys.exec(QStringLiteral(
            "SELECT session, course, kana, expected, pressed, correct, since_previous_ms, at"
            " FROM keys ORDER BY id")));
        QStringList rows;
        while (keys.next())
            rows << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                        .arg(keys.value(0).toInt())
                        .arg(keys.value(1).toInt())
                        .arg(keys.value(2).toString())
                        .arg(keys.value(3).toInt())
                        .arg(keys.value(4).toInt())
                        .arg(keys.value(5).toInt())
                        .arg(keys.value(6).isNull() ? QStringLiteral("-")
                                                    : keys.value(6).toString())
                        .arg(keys.value(7).toLongLong() - 1'700'000'000'000);
        QCOMPARE(rows, (QStringList{"1 1 ち 97 97 1 - 0", "1 1 ち 97 100 0 400 400",
                                    "1 1 と 115 115 1 600 1000", "2 2 た 113 113 1 - 1300",
                                    "2 2 て 119 119 1 200 1500", "3 2 い 101 101 1 - 1600"}));
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(*) FROM sessions")), 3);
        QCOMPARE(other.number(QStringLiteral("PRAGMA user_version")), history::kSchemaVersion);
        QCOMPARE(OtherConnection(path()).number(QStringLiteral("PRAGMA journal_mode = WAL")), 0);
    }

    void statisticsFollowTheKeys() {
        HistoryStore store(path(), time_.clock());
        for (int round = 0; round < 6; ++round) {  // a session of 18 keys
            time_.advance(1000);
            typeThree(store);
        }
        time_.advance(60'000);  // a pause counts as no typing time
        store.record(key(1, u'と', 115, 99));
        store.record(key(6, u'ち', 97, 97));  // a second course with one key

        const auto statistics = history::readStatistics(store.database(), {100, 10, 10});
        QVERIFY(statistics);
        QCOMPARE(statistics->kana.size(), 2u);
        const history::KanaStatistics &chi = statistics->kana[0];
        QCOMPARE(chi.kana, u'ち');
        QCOMPARE(chi.attempts, 13);
        QCOMPARE(chi.correct, 7);
        // Timed correct ち: five after a 1000 ms gap; the very first and the
        // sixth course's key start their sessions.
        QCOMPARE(chi.timed, 5);
        QCOMPARE(chi.meanMs, 1000.0);
        QVERIFY(chi.medianMs >= 1000 && chi.medianMs < 1000 + history::kTimeBucketMilliseconds);
        const history::KanaStatistics &to = statistics->kana[1];
        QCOMPARE(to.kana, u'と');
        QCOMPARE(to.expected, 115);
        QCOMPARE(to.attempts, 7);
        QCOMPARE(to.meanMs, 600.0);

        QCOMPARE(statistics->confusions.size(), 2u);
        QCOMPARE(statistics->confusions[0].kana, u'ち');
        QCOMPARE(statistics->confusions[0].pressed, 100);
        QCOMPARE(statistics->confusions[0].count, 6);
        QCOMPARE(statistics->confusions[1].pressed, 99);

        QCOMPARE(statistics->sessions.size(), 1u);  // the one-key session is too short
        QCOMPARE(statistics->totalSessions, 1);
        const history::SessionStatistics &session = statistics->sessions[0];
        QCOMPARE(session.keys, 19);
        QCOMPARE(session.correct, 12);
        QCOMPARE(session.typingMs, 1000 + 5 * 2000);  // the last gap was a pause
        QCOMPARE(session.kanaPerMinute(), 12 * 60000.0 / 11000);

        QCOMPARE(statistics->courses.size(), 2u);
        QCOMPARE(statistics->courses[0].course, 1);
        QCOMPARE(statistics->courses[0].keys, 19);
        QCOMPARE(statistics->courses[1].course, 6);
        QCOMPARE(statistics->courses[1].correct, 1);

        const std::vector<KanaHistory> forDraw = history::kanaHistory(*statistics);
        QCOMPARE(forDraw.size(), 2u);
        QCOMPARE(forDraw[0].attempts, 13);
        QCOMPARE(forDraw[0].medianMs, chi.medianMs);
    }

    void keysWaitAtMostASecond() {
        HistoryStore store(path(), time_.clock());
        store.record(key(1, u'ち', 97, 97));
        time_.advance(500);
        store.record(key(1, u'と', 115, 115));
        QCOMPARE(store.waitingKeys(), 2);
        QCOMPARE(storedKeys(path()), 0);
        time_.advance(500);
        store.record(key(1, u'し', 100, 100));  // the oldest waited a second
        QCOMPARE(store.waitingKeys(), 0);
        QCOMPARE(storedKeys(path()), 3);

        store.record(key(1, u'ち', 97, 97));  // no further key: the timer writes it
        QTRY_COMPARE_WITH_TIMEOUT(storedKeys(path()), 4, 3000);
    }

    void anOlderFileIsBroughtUpToDateWithItsSums() {
        // The same keys typed into a current file, and into a file of the
        // first version whose sums the update computes afterwards.
        const QString current = dir_.filePath(QStringLiteral("current.sqlite"));
        QFile::remove(current);
        {
            HistoryStore store(current, time_.clock());
            typeThree(store);
            time_.advance(20'000);
            typeThree(store, 3);
        }
        {
            OtherConnection old(path());
            QSqlError error;
            QSqlDatabase db = old.db();
            QCOMPARE(history::migrateTo(db, 1, error), history::MigrationResult::UpToDate);
            QVERIFY(old.exec(QStringLiteral("ATTACH '%1' AS current").arg(current)));
            QVERIFY(
                old.exec(QStringLiteral("INSERT INTO sessions SELECT id, course, started_at"
                                        " FROM current.sessions")));
            QVERIFY(old.exec(QStringLiteral("INSERT INTO keys SELECT * FROM current.keys")));
            QVERIFY(old.exec(QStringLiteral("DETACH current")));
        }
        HistoryStore store(path(), time_.clock());
        QCOMPARE(store.problem(), HistoryStore::Problem::None);
        OtherConnection updated(path());
        OtherConnection reference(current);
        QCOMPARE(updated.number(QStringLiteral("PRAGMA user_version")), history::kSchemaVersion);
        QCOMPARE(summaries(updated.db()), summaries(reference.db()));
    }

    void aFileOfANewerProgramIsLeftAlone() {
        {
            HistoryStore store(path(), time_.clock());
            typeThree(store);
        }
        OtherConnection(path()).exec(QStringLiteral("PRAGMA user_version = 99"));
        HistoryStore store(path(), time_.clock());
        QCOMPARE(store.problem(), HistoryStore::Problem::NewerVersion);
        store.record(key(1, u'ち', 97, 97));
        QVERIFY(!store.flush());
        QCOMPARE(store.waitingKeys(), 1);
        QCOMPARE(storedKeys(path()), 3);
        QVERIFY(store.keptAsidePath().isEmpty());
    }

    void aCorruptFileIsKeptAsideAndAFreshOneStarted() {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        const QByteArray garbage(8192, '\x5a');
        {
            QFile file(path());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(garbage);
        }
        HistoryStore store(path(), time_.clock());
        QSignalSpy told(&store, &HistoryStore::problemChanged);
        typeThree(store);
        QVERIFY(store.flush());
        QCOMPARE(store.problem(), HistoryStore::Problem::None);
        QVERIFY(store.keptAsidePath().startsWith(path() + QStringLiteral(".corrupt-")));
        QFile aside(store.keptAsidePath());
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), garbage);
        QCOMPARE(storedKeys(path()), 3);
    }

    void aFileThatTurnsOutCorruptWhileWritingIsReplaced() {
        {
            HistoryStore store(path(), time_.clock());
            for (int i = 0; i < 200; ++i) typeThree(store);
        }
        // Spoil every page but the first, which holds the header and schema.
        {
            QFile file(path());
            QVERIFY(file.open(QIODevice::ReadWrite));
            const qint64 size = file.size();
            QVERIFY(size > 3 * 4096);
            file.seek(4096);
            file.write(QByteArray(size - 4096, '\xff'));
        }
        HistoryStore store(path(), time_.clock());
        typeThree(store);
        QVERIFY(store.flush());
        QVERIFY(!store.keptAsidePath().isEmpty());
        QCOMPARE(storedKeys(path()), 3);
    }

    void aLockedFileKeepsTheKeysUntilItIsFree() {
        HistoryStore store(path(), time_.clock());
        OtherConnection other(path());
        QVERIFY(other.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        QVERIFY(
            other.exec(QStringLiteral("INSERT INTO sessions (course, started_at) VALUES (1, 0)")));
        typeThree(store);
        QVERIFY(!store.flush());
        QCOMPARE(store.problem(), HistoryStore::Problem::Busy);
        QCOMPARE(store.waitingKeys(), 3);
        QVERIFY(store.keptAsidePath().isEmpty());  // locked is not corrupt

        QVERIFY(other.exec(QStringLiteral("COMMIT")));
        typeThree(store);
        QVERIFY(store.flush());
        QCOMPARE(store.problem(), HistoryStore::Problem::None);
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(*) FROM keys")), 6);
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(*) FROM sessions")), 2);
    }

    void twoProgramsShareOneFile() {
        HistoryStore first(path(), time_.clock());
        HistoryStore second(path(), time_.clock());
        for (int i = 0; i < 50; ++i) {
            first.record(key(1, u'ち', 97, i % 5 ? 97 : 100));
            second.record(key(2, u'た', 113, 113));
            if (i % 10 == 9) {
                QVERIFY(first.flush());
                QVERIFY(second.flush());
            }
        }
        OtherConnection other(path());
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(*) FROM keys")), 100);
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(DISTINCT session) FROM keys")), 2);
        QCOMPARE(other.number(QStringLiteral("SELECT attempts FROM kana_totals WHERE kana = 'ち'")),
                 50);
        QCOMPARE(other.number(QStringLiteral("SELECT count FROM confusions")), 10);
        QCOMPARE(other.number(QStringLiteral("PRAGMA integrity_check = 1")), 0);
    }

    void aReadOnlyFileKeepsTheKeysUntilItCanBeWritten() {
        HistoryStore store(path(), time_.clock());
        // What a file opened read-only answers to writes; the store opens the
        // file anew on its next attempt, as it must after a real mode change.
        QSqlQuery(store.database()).exec(QStringLiteral("PRAGMA query_only = 1"));
        typeThree(store);  // the third key is a second after the first: a write
        QCOMPARE(store.problem(), HistoryStore::Problem::ReadOnly);
        QCOMPARE(store.waitingKeys(), 3);
        QVERIFY(store.flush());
        QCOMPARE(store.problem(), HistoryStore::Problem::None);
        QCOMPARE(storedKeys(path()), 3);
    }

    void aFileWithoutWritePermissionKeepsTheKeys() {
        if (geteuid() == 0)
            QSKIP("file modes do not bind root; the read-only case is covered by query_only");
        {
            HistoryStore store(path(), time_.clock());
            typeThree(store);
        }
        const QString folder = QFileInfo(path()).absolutePath();
        QFile::setPermissions(path(), QFile::ReadOwner);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        HistoryStore store(path(), time_.clock());
        typeThree(store);
        QVERIFY(!store.flush());
        QCOMPARE(store.problem(), HistoryStore::Problem::ReadOnly);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(store.flush());
        QCOMPARE(storedKeys(path()), 6);
    }

    void aFullDiskKeepsTheKeysUntilThereIsRoom() {
        HistoryStore store(path(), time_.clock());
        // The store's own connection may not grow the file by another page.
        QSqlQuery limit(store.database());
        QVERIFY(limit.exec(QStringLiteral("PRAGMA page_count")) && limit.next());
        const qint64 pages = limit.value(0).toLongLong();
        QVERIFY(limit.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages)));
        for (int i = 0; i < 300; ++i) typeThree(store);
        QVERIFY(!store.flush());
        QCOMPARE(store.problem(), HistoryStore::Problem::DiskFull);
        QVERIFY(store.waitingKeys() > 0);  // the earlier seconds still fitted
        QVERIFY(store.keptAsidePath().isEmpty());

        QVERIFY(limit.exec(QStringLiteral("PRAGMA max_page_count = 1000000")));
        QVERIFY(store.flush());
        QCOMPARE(store.problem(), HistoryStore::Problem::None);
        QCOMPARE(storedKeys(path()), 900);
    }

    void csvLinesQuoteWhatNeedsQuoting() {
        QString text;
        QTextStream out(&text);
        history::writeCsvLine(
            out, {QStringLiteral("a"), QStringLiteral(","), QStringLiteral("say \"hi\""),
                  QStringLiteral("two\nlines"), QString()});
        out.flush();
        QCOMPARE(text, QStringLiteral("a,\",\",\"say \"\"hi\"\"\",\"two\nlines\",\r\n"));
    }

    void csvExportHoldsEveryKey() {
        HistoryStore store(path(), time_.clock());
        typeThree(store);
        store.record(key(4, u'ね', 44, 13));  // a comma expected, Enter pressed
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(history::exportCsv(store.database(), buffer));
        const QByteArray bytes = buffer.data();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 6);  // heading, four keys, the empty rest
        QCOMPARE(lines[0], QStringLiteral("時刻,セッション,コース,かな,正しいキー,押したキー,正解,"
                                          "前のキーからのミリ秒"));
        QVERIFY(lines[2].endsWith(QStringLiteral(",1,1,ち,a,d,0,400")));
        QVERIFY(lines[1].endsWith(QStringLiteral(",1,1,ち,a,a,1,")));
        QVERIFY(lines[4].endsWith(QStringLiteral(",2,4,ね,\",\",Enter,0,")));
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "history_test.moc"
