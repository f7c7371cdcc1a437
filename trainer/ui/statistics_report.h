// The statistics as the learner reads them: table rows, summary and problem
// texts, made from the history's figures without any window.
#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "trainer/history/history_store.h"
#include "trainer/history/statistics.h"

namespace tapmora::report {

// The course's caption, or the practice's name for kWeakKanaPracticeCourse.
QString courseName(int course);

// A pressed key by the kana on it and its character, "そ（c）"; keys
// without a kana by their character alone ("Enter", "A").
QString pressedKeyText(std::int16_t keyCode);

QString percent(double share);  // "93.1％"

// Empty when all is well.
QString problemText(HistoryStore::Problem problem, const QString &keptAsidePath);
QString problemMark(HistoryStore::Problem problem, const QString &keptAsidePath);

QString summary(const history::HistoryStatistics &statistics);

// Shown kana, pressed key, count.
std::vector<QStringList> confusionRows(const history::HistoryStatistics &statistics);
// Course, keys, accuracy, kana per minute.
std::vector<QStringList> courseRows(const history::HistoryStatistics &statistics);
// The `count` kana the practice of `course` favours most, most favoured
// first: kana, accuracy, median time.
std::vector<QStringList> weakKanaRows(const history::HistoryStatistics &statistics, int course,
                                      int count);

}  // namespace tapmora::report
