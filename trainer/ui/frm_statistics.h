// The statistics window: sessions over time as a chart, each key's accuracy
// or speed on the keyboard (a heat map), the most frequent confusions,
// totals per course and the kana the practice favours; exports the history
// as CSV and starts the weak-kana practice.
#pragma once

#include <optional>
#include <vector>

#include <QStringList>
#include <QWidget>

#include "trainer/history/statistics.h"

class QChartView;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace tapmora {

class JisKeyboardView;
class TrainerApp;

class FrmStatistics final : public QWidget {
    Q_OBJECT
public:
    explicit FrmStatistics(TrainerApp &app);

    // Reads the history again and shows it.
    void refresh();
    // Writes the history to `file`; false, with a message, when it cannot.
    bool exportTo(const QString &file);

protected:
    void changeEvent(QEvent *event) override;

private:
    void createControls();
    QGroupBox *createHeatMap();
    void showProblem();
    void showChart();
    void showHeatMap();
    void showWeakKana();
    void chooseExportFile();
    void startPractice();

    TrainerApp &app_;
    std::optional<history::HistoryStatistics> statistics_;
    QLabel *problemLabel_ = nullptr;
    QLabel *summaryLabel_ = nullptr;
    QChartView *chartView_ = nullptr;
    JisKeyboardView *heatMap_ = nullptr;
    QRadioButton *heatAccuracyButton_ = nullptr;
    QLabel *heatBestLabel_ = nullptr;
    QLabel *heatWorstLabel_ = nullptr;
    QTableWidget *confusionTable_ = nullptr;
    QTableWidget *courseTable_ = nullptr;
    QTableWidget *weakKanaTable_ = nullptr;
    QComboBox *practiceCourse_ = nullptr;
    QPushButton *practiceButton_ = nullptr;
    QPushButton *exportButton_ = nullptr;
};

}  // namespace tapmora
