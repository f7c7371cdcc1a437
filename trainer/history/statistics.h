// What the history says, read from the running sums beside the record: per
// kana, per session, the most frequent confusions and per course. Reading
// costs the same for a thousand keys as for a million.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "trainer/model/weak_kana.h"

class QSqlDatabase;

namespace tapmora::history {

struct KanaStatistics {
    char16_t kana = 0;
    std::int16_t expected = 0;  // the key code it is typed with
    std::int64_t attempts = 0;
    std::int64_t correct = 0;
    std::int64_t timed = 0;  // correct keys with a timed interval
    double meanMs = -1;      // of the timed keys; negative when none
    double medianMs = -1;    // to within a time bucket; negative when none

    double accuracy() const;  // 0..1; 0 when never attempted
};

struct SessionStatistics {
    std::int64_t id = 0;
    int course = 0;
    std::int64_t startedAt = 0;  // ms since 1970 UTC
    std::int64_t endedAt = 0;
    std::int64_t keys = 0;
    std::int64_t correct = 0;
    std::int64_t typingMs = 0;  // sum of the intervals that were no pause

    double accuracy() const;
    // Correct kana per minute of typing; 0 when nothing was timed.
    double kanaPerMinute() const;
};

struct Confusion {
    char16_t kana = 0;         // the kana on display
    std::int16_t pressed = 0;  // the key code typed instead
    std::int64_t count = 0;
};

struct CourseTotals {
    int course = 0;  // 1..6, or the weak-kana practice
    std::int64_t sessions = 0;
    std::int64_t keys = 0;
    std::int64_t correct = 0;
    std::int64_t typingMs = 0;

    double accuracy() const;
    double kanaPerMinute() const;
};

struct HistoryStatistics {
    std::vector<KanaStatistics> kana;         // in kana order
    std::vector<SessionStatistics> sessions;  // the most recent, oldest first
    std::vector<Confusion> confusions;        // most frequent first
    std::vector<CourseTotals> courses;        // in course order, courses typed only
    std::int64_t totalSessions = 0;           // before the recent ones were picked
};

struct StatisticsLimits {
    int recentSessions = 100;
    int minimumSessionKeys = 10;  // shorter sessions say little about speed
    int confusions = 10;
};

// Nothing when the file cannot be read.
std::optional<HistoryStatistics> readStatistics(const QSqlDatabase &db,
                                                const StatisticsLimits &limits = {});

// What the weak-kana draw needs of each kana.
std::vector<KanaHistory> kanaHistory(const HistoryStatistics &statistics);

}  // namespace tapmora::history
