// The learner's history: every judged key, written to an SQLite file in the
// background of the drill. Keys wait in memory for at most a second and are
// then written in one small transaction, so a crash loses at most the last
// second. A file that cannot be written never stops the drill: the keys stay
// in memory, the problem is reported, and they are written once it clears.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include "trainer/history/schema.h"

class QSqlError;
class QTimer;

namespace tapmora {

// The course number the history gives to weak-kana practice, after the six
// courses 1..6.
inline constexpr int kWeakKanaPracticeCourse = 7;

// One judged key.
struct KeyRecord {
    int course = 0;  // the course whose table judged it, or kWeakKanaPracticeCourse
    char16_t kana = 0;
    std::int16_t expected = 0;
    std::int16_t pressed = 0;
    bool correct = false;
};

class HistoryStore final : public QObject {
    Q_OBJECT
public:
    enum class Problem {
        None,
        Busy,      // another program holds the file's write lock
        ReadOnly,  // the file or its folder cannot be written
        DiskFull,
        NewerVersion,  // made by a newer program; left untouched
        Unavailable,   // cannot be opened or created for another reason
    };

    struct Clock {
        std::function<std::int64_t()> wallMs;       // ms since 1970 UTC
        std::function<std::int64_t()> monotonicMs;  // for intervals
    };
    static Clock systemClock();

    static constexpr int kFlushMilliseconds = 1000;
    // How long a write waits for another program's lock before giving up
    // until the next attempt; short, because it blocks the drill.
    static constexpr int kBusyTimeoutMilliseconds = 100;

    // $XDG_DATA_HOME/tapmora/history.sqlite (~/.local/share/tapmora/...).
    static QString defaultPath();

    explicit HistoryStore(QString path, Clock clock = systemClock(), QObject *parent = nullptr);
    // Writes what is still waiting, if the file can be written.
    ~HistoryStore() override;

    // Keeps one judged key. A key of another course than the last ends the
    // session and starts a new one.
    void record(const KeyRecord &key);
    // Ends the session, so the next key starts a new one even in the same course.
    void endSession();

    // Writes every waiting key now; true when none is left waiting.
    bool flush();

    Problem problem() const { return problem_; }
    // Where a corrupt file was moved this run, empty if none was.
    QString keptAsidePath() const { return keptAsidePath_; }
    qsizetype waitingKeys() const { return static_cast<qsizetype>(waiting_.size()); }
    QString path() const { return path_; }

    // The connection for readers on this thread (statistics, export), with
    // every waiting key written first when possible. Not open when the file
    // cannot be read.
    QSqlDatabase database();

signals:
    // The problem changed, or a corrupt file was kept aside.
    void problemChanged();

private:
    struct Session {
        int course = 0;
        std::int64_t startedAt = 0;
        std::int64_t rowId = 0;  // 0 until written
    };
    struct WaitingKey {
        KeyRecord key;
        std::size_t session = 0;  // in sessions_
        std::int64_t at = 0;
        std::optional<std::int64_t> sincePreviousMs;
    };

    // Opens the file and brings its tables up to date unless it is open;
    // sets the problem when it cannot.
    bool ensureOpen();
    history::MigrationResult openFile(QSqlError &error);
    void close();
    bool keepCorruptFileAside();
    bool writeWaiting(QSqlError &error);
    bool insertSession(Session &session, QSqlError &error);
    // Maps a failure to a problem; for a corrupt file, keeps it aside and
    // starts a fresh one. True when a fresh file is ready to retry on.
    bool handleFailure(const QSqlError &error);
    void setProblem(Problem problem);
    void scheduleFlush();

    QString path_;
    QString connectionName_;
    Clock clock_;
    QTimer *flushTimer_ = nullptr;
    Problem problem_ = Problem::None;
    QString keptAsidePath_;

    std::vector<Session> sessions_;  // this run's, in order
    bool sessionOpen_ = false;
    std::int64_t lastKeyMonotonic_ = 0;
    std::vector<WaitingKey> waiting_;
    std::int64_t oldestWaitingMonotonic_ = 0;
};

}  // namespace tapmora
