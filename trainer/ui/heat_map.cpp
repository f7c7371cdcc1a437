#include "trainer/ui/heat_map.h"

#include <algorithm>

#include <QStringList>

#include "trainer/model/course_tables.h"
#include "trainer/ui/statistics_report.h"
#include "trainer/ui/texts.h"

namespace tapmora::heat {
namespace {

namespace text = texts::statistics;

const history::KanaStatistics *findKana(const history::HistoryStatistics &statistics,
                                        char16_t kana) {
    if (kana == 0) return nullptr;
    const auto found = std::ranges::find(statistics.kana, kana, &history::KanaStatistics::kana);
    return found == statistics.kana.end() ? nullptr : &*found;
}

std::optional<double> figure(Measure measure, const history::KanaStatistics &figures) {
    if (measure == Measure::Accuracy)
        return figures.attempts > 0 ? std::optional(figures.accuracy()) : std::nullopt;
    return figures.medianMs >= 0 ? std::optional(figures.medianMs) : std::nullopt;
}

QString milliseconds(double ms) { return QStringLiteral("%1 ms").arg(qRound(ms)); }

QString kanaLine(char16_t kana, const QString &keyName, const history::KanaStatistics *figures) {
    const QString shown = QString(QChar(kana));
    if (!figures || figures->attempts == 0)
        return text::kHeatNotShown.toString().arg(shown, keyName);
    const QString median =
        figures->medianMs < 0 ? QStringLiteral("—") : milliseconds(figures->medianMs);
    return text::kHeatFigures.toString().arg(shown, keyName, report::percent(figures->accuracy()),
                                             median, QString::number(figures->attempts));
}

}  // namespace

KeyFigures figuresOf(const JisKey &key, const history::HistoryStatistics &statistics) {
    return {&key, findKana(statistics, key.kana), findKana(statistics, key.shiftedKana)};
}

bool isDrilled(char16_t kana) {
    for (int number = 1; number <= kCourseCount; ++number)
        if (course(number).findKana(std::u16string_view(&kana, 1))) return true;
    return false;
}

std::optional<Scale> scaleOf(Measure measure, const history::HistoryStatistics &statistics) {
    if (measure == Measure::Accuracy) return Scale{1.0, kWorstAccuracy};
    std::optional<Scale> scale;
    for (const history::KanaStatistics &figures : statistics.kana) {
        const std::optional<double> median = figure(Measure::Speed, figures);
        if (!median) continue;
        if (!scale) scale = Scale{*median, *median};
        scale->best = std::min(scale->best, *median);
        scale->worst = std::max(scale->worst, *median);
    }
    return scale;
}

std::optional<double> badness(Measure measure, const history::KanaStatistics &figures,
                              const Scale &scale) {
    const std::optional<double> value = figure(measure, figures);
    if (!value) return std::nullopt;
    if (scale.worst == scale.best) return 0.0;
    return std::clamp((*value - scale.best) / (scale.worst - scale.best), 0.0, 1.0);
}

QColor colour(double badness) {
    // Hue from green (130°) through yellow to red (0°), paler at the green
    // end where most keys sit.
    const double hue = 130 * (1 - badness);
    return QColor::fromHsvF(static_cast<float>(hue / 360), static_cast<float>(0.35 + 0.3 * badness),
                            0.97f);
}

QColor noFigureColour() { return {0xF2, 0xF2, 0xF2}; }
QColor blankKeyColour() { return {0xDC, 0xDC, 0xDC}; }

QColor fill(Measure measure, const history::KanaStatistics *figures,
            const std::optional<Scale> &scale) {
    const std::optional<double> place =
        figures && scale ? badness(measure, *figures, *scale) : std::nullopt;
    return place ? colour(*place) : noFigureColour();
}

QString toolTip(const KeyFigures &figures) {
    const JisKey &key = *figures.key;
    if (key.kana == 0) return {};
    const QString keyName =
        QString::fromUtf16(key.caption.data(), static_cast<qsizetype>(key.caption.size()));
    QStringList lines{kanaLine(key.kana, keyName, figures.kana)};
    if (key.shiftedKana != 0 && isDrilled(key.shiftedKana))
        lines << kanaLine(key.shiftedKana, text::kHeatShifted.toString().arg(keyName),
                          figures.shifted);
    return lines.join(u'\n');
}

QString scaleText(Measure measure, double value) {
    return measure == Measure::Accuracy ? QStringLiteral("%1％").arg(qRound(value * 100))
                                        : milliseconds(value);
}

}  // namespace tapmora::heat
