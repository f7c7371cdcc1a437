// The history database's tables and the steps that bring an older file up
// to date. The version lives in PRAGMA user_version.
#pragma once

class QSqlDatabase;
class QSqlError;
class QString;

namespace tapmora::history {

inline constexpr int kSchemaVersion = 2;

// Intervals longer than this are pauses: they count neither as typing time
// nor towards a kana's speed.
inline constexpr int kPauseMilliseconds = 10000;
// Width of the steps in which correct keys' times are counted per kana, so a
// median can be read without visiting every key.
inline constexpr int kTimeBucketMilliseconds = 50;

// Runs one statement; on failure `error` tells why.
bool execute(QSqlDatabase &db, const QString &statement, QSqlError &error);

enum class MigrationResult { UpToDate, NewerThanProgram, Failed };

// Runs the missing steps, up to kSchemaVersion, in one write transaction, so
// two programs opening the same new file do not both create it. On Failed
// `error` tells why and the file is unchanged.
MigrationResult migrate(QSqlDatabase &db, QSqlError &error);

// Brings the file to `version` only (for tests of the later steps).
MigrationResult migrateTo(QSqlDatabase &db, int version, QSqlError &error);

}  // namespace tapmora::history
