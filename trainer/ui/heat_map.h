// The history drawn on the keyboard: for each key the figures of the kana
// typed on it without and with Shift, the colour a measure gives them and
// the tooltip that names them. No window; the statistics window paints it.
#pragma once

#include <optional>

#include <QColor>
#include <QString>

#include "trainer/history/statistics.h"
#include "trainer/model/jis_keyboard.h"

namespace tapmora::heat {

enum class Measure { Accuracy, Speed };

// A key's kana and what the history holds on them; null figures for kana
// never shown.
struct KeyFigures {
    const JisKey *key = nullptr;
    const history::KanaStatistics *kana = nullptr;
    const history::KanaStatistics *shifted = nullptr;
};
KeyFigures figuresOf(const JisKey &key, const history::HistoryStatistics &statistics);

// Whether a course drills the kana, so the map has a place for it.
bool isDrilled(char16_t kana);

// The values a measure's colours run between. Accuracy runs from 100 % to
// kWorstAccuracy, so that a few misses in many keys stay green; speed from
// the learner's fastest median time to the slowest, so that the map shows
// the slow keys at any stage of learning (none before any key is timed).
struct Scale {
    double best = 0;
    double worst = 0;
};
inline constexpr double kWorstAccuracy = 0.8;
std::optional<Scale> scaleOf(Measure measure, const history::HistoryStatistics &statistics);

// Where a kana's figure lies on the scale, 0 best to 1 worst; none when the
// kana has no such figure (never shown, or never timed).
std::optional<double> badness(Measure measure, const history::KanaStatistics &figures,
                              const Scale &scale);

// Green through yellow to red, light enough for dark key labels.
QColor colour(double badness);
QColor noFigureColour();  // a kana without the figure
QColor blankKeyColour();  // a key without kana

// The fill of a key face or its Shift corner for `figures` (null: never
// shown).
QColor fill(Measure measure, const history::KanaStatistics *figures,
            const std::optional<Scale> &scale);

// The figures of both kana of a key, a line each; empty for keys without
// kana.
QString toolTip(const KeyFigures &figures);

// A value of the scale as the legend shows it: "100％", "80％", "420 ms".
QString scaleText(Measure measure, double value);

}  // namespace tapmora::heat
