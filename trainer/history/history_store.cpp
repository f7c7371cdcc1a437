#include "trainer/history/history_store.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimer>

#include "trainer/history/schema.h"

namespace tapmora {
namespace {

// SQLite's primary result codes, as the driver reports them in
// QSqlError::nativeErrorCode().
enum SqliteCode {
    kSqliteBusy = 5,
    kSqliteLocked = 6,
    kSqliteReadOnly = 8,
    kSqliteCorrupt = 11,
    kSqliteFull = 13,
    kSqliteNotADatabase = 26,
};

int sqliteCode(const QSqlError &error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : -1;  // extended codes keep the primary one in the low byte
}

bool isCorrupt(const QSqlError &error) {
    const int code = sqliteCode(error);
    return code == kSqliteCorrupt || code == kSqliteNotADatabase;
}

// Whether the file, or the folder it would be made in, refuses writing.
bool refusesWriting(const QString &path) {
    const QFileInfo file(path);
    return file.exists() ? !file.isWritable() : !QFileInfo(file.absolutePath()).isWritable();
}

}  // namespace

HistoryStore::Clock HistoryStore::systemClock() {
    static const QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return {[] { return QDateTime::currentMSecsSinceEpoch(); }, [] { return started.elapsed(); }};
}

QString HistoryStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tapmora/history.sqlite");
}

HistoryStore::HistoryStore(QString path, Clock clock, QObject *parent)
    : QObject(parent),
      path_(std::move(path)),
      connectionName_(QStringLiteral("tapmora-history-%1").arg(reinterpret_cast<quintptr>(this))),
      clock_(std::move(clock)),
      flushTimer_(new QTimer(this)) {
    flushTimer_->setObjectName(QStringLiteral("historyFlushTimer"));
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(kFlushMilliseconds);
    connect(flushTimer_, &QTimer::timeout, this, &HistoryStore::flush);
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_).setDatabaseName(path_);
    ensureOpen();
}

HistoryStore::~HistoryStore() {
    flush();
    close();
    QSqlDatabase::removeDatabase(connectionName_);
}

void HistoryStore::record(const KeyRecord &key) {
    const std::int64_t now = clock_.monotonicMs();
    std::optional<std::int64_t> sincePrevious;
    if (sessionOpen_ && sessions_.back().course == key.course)
        sincePrevious = now - lastKeyMonotonic_;
    else
        sessions_.push_back({key.course, clock_.wallMs(), 0});
    sessionOpen_ = true;
    lastKeyMonotonic_ = now;

    if (waiting_.empty()) oldestWaitingMonotonic_ = now;
    waiting_.push_back({key, sessions_.size() - 1, clock_.wallMs(), sincePrevious});
    // The timer may lag behind a busy event loop; the next key catches up,
    // but after a failure only the timer tries again, once a second.
    if (now - oldestWaitingMonotonic_ >= kFlushMilliseconds && problem_ == Problem::None)
        flush();
    else
        scheduleFlush();
}

void HistoryStore::endSession() { sessionOpen_ = false; }

bool HistoryStore::flush() {
    if (waiting_.empty()) return true;
    // A second pass only after a corrupt file was replaced by a fresh one.
    for (int attempt = 0; attempt < 2 && ensureOpen(); ++attempt) {
        QSqlError error;
        if (writeWaiting(error)) {
            setProblem(Problem::None);
            return true;
        }
        if (!handleFailure(error)) break;
    }
    scheduleFlush();
    return false;
}

QSqlDatabase HistoryStore::database() {
    flush();
    ensureOpen();
    return QSqlDatabase::database(connectionName_, false);
}

bool HistoryStore::ensureOpen() {
    if (QSqlDatabase::database(connectionName_, false).isOpen()) return true;
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        setProblem(refusesWriting(path_) ? Problem::ReadOnly : Problem::Unavailable);
        return false;
    }
    // A second pass only after a corrupt file was replaced by a fresh one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlError error;
        switch (openFile(error)) {
            case history::MigrationResult::UpToDate: return true;
            case history::MigrationResult::NewerThanProgram:
                close();
                setProblem(Problem::NewerVersion);
                return false;
            case history::MigrationResult::Failed:
                close();
                if (!handleFailure(error)) return false;
        }
    }
    return false;
}

history::MigrationResult HistoryStore::openFile(QSqlError &error) {
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (!db.open()) {
        error = db.lastError();
        return history::MigrationResult::Failed;
    }
    const bool configured =
        history::execute(
            db, QStringLiteral("PRAGMA busy_timeout = %1").arg(kBusyTimeoutMilliseconds), error) &&
        history::execute(db, QStringLiteral("PRAGMA journal_mode = WAL"), error) &&
        history::execute(db, QStringLiteral("PRAGMA synchronous = NORMAL"), error);
    return configured ? history::migrate(db, error) : history::MigrationResult::Failed;
}

void HistoryStore::close() { QSqlDatabase::database(connectionName_, false).close(); }

bool HistoryStore::handleFailure(const QSqlError &error) {
    const int code = sqliteCode(error);
    if (isCorrupt(error)) return keepCorruptFileAside();
    if (code == kSqliteBusy || code == kSqliteLocked) {
        setProblem(Problem::Busy);
    } else if (code == kSqliteFull) {
        setProblem(Problem::DiskFull);
    } else {
        // Reopened on the next attempt: a file opened read-only stays so.
        close();
        setProblem(code == kSqliteReadOnly || refusesWriting(path_) ? Problem::ReadOnly
                                                                    : Problem::Unavailable);
    }
    return false;
}

bool HistoryStore::keepCorruptFileAside() {
    close();
    const QString stamp =
        QDateTime::fromMSecsSinceEpoch(clock_.wallMs()).toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path_ + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path_ + QStringLiteral(".corrupt-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(path_, aside)) {
        setProblem(Problem::Unavailable);
        return false;
    }
    // The journal belongs to the old file; left behind, it would be replayed
    // into the fresh one.
    QFile::rename(path_ + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(path_ + QStringLiteral("-shm"));
    keptAsidePath_ = aside;
    for (Session &session : sessions_) session.rowId = 0;
    emit problemChanged();
    return true;
}

bool HistoryStore::writeWaiting(QSqlError &error) {
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (!history::execute(db, QStringLiteral("BEGIN IMMEDIATE"), error)) return false;
    std::vector<Session *> insertedNow;
    QSqlQuery insertKey(db);
    bool written = insertKey.prepare(
        QStringLiteral("INSERT INTO keys (session, at, course, kana, expected, pressed, correct,"
                       " since_previous_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    if (!written) error = insertKey.lastError();
    for (auto waiting = waiting_.begin(); written && waiting != waiting_.end(); ++waiting) {
        Session &session = sessions_[waiting->session];
        if (session.rowId == 0) {
            if (!insertSession(session, error)) {
                written = false;
                break;
            }
            insertedNow.push_back(&session);
        }
        const KeyRecord &key = waiting->key;
        insertKey.addBindValue(static_cast<qint64>(session.rowId));
        insertKey.addBindValue(static_cast<qint64>(waiting->at));
        insertKey.addBindValue(key.course);
        insertKey.addBindValue(QString(QChar(key.kana)));
        insertKey.addBindValue(key.expected);
        insertKey.addBindValue(key.pressed);
        insertKey.addBindValue(key.correct ? 1 : 0);
        insertKey.addBindValue(waiting->sincePreviousMs
                                   ? QVariant(qint64{*waiting->sincePreviousMs})
                                   : QVariant(QMetaType::fromType<qint64>()));
        if (!(written = insertKey.exec())) error = insertKey.lastError();
    }
    insertKey.finish();
    if (written && history::execute(db, QStringLiteral("COMMIT"), error)) {
        waiting_.clear();
        return true;
    }
    QSqlError ignored;
    history::execute(db, QStringLiteral("ROLLBACK"), ignored);
    for (Session *session : insertedNow) session->rowId = 0;
    return false;
}

bool HistoryStore::insertSession(Session &session, QSqlError &error) {
    QSqlQuery insert(QSqlDatabase::database(connectionName_, false));
    insert.prepare(
        QStringLiteral("INSERT INTO sessions (course, started_at, ended_at)"
                       " VALUES (?, ?, ?)"));
    insert.addBindValue(session.course);
    insert.addBindValue(static_cast<qint64>(session.startedAt));
    insert.addBindValue(static_cast<qint64>(session.startedAt));
    if (!insert.exec()) {
        error = insert.lastError();
        return false;
    }
    session.rowId = insert.lastInsertId().toLongLong();
    return true;
}

void HistoryStore::setProblem(Problem problem) {
    if (problem_ == problem) return;
    problem_ = problem;
    emit problemChanged();
}

void HistoryStore::scheduleFlush() {
    if (!waiting_.empty() && !flushTimer_->isActive()) flushTimer_->start();
}

}  // namespace tapmora
