#include "trainer/ui/frm_statistics.h"

#include <algorithm>

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include "trainer/history/csv_export.h"
#include "trainer/history/history_store.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/heat_map.h"
#include "trainer/ui/jis_keyboard_view.h"
#include "trainer/ui/statistics_report.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

namespace tapmora {
namespace {

namespace text = texts::statistics;

constexpr QSize kInitialSize(1000, 640);
constexpr int kConfusionsShown = 10;
constexpr int kWeakKanaShown = 10;
constexpr int kAllKeysCourse = kCourseCount;
const QColor kSpeedColour(0x2a, 0x6f, 0xdb);
const QColor kAccuracyColour(0xd9, 0x6c, 0x00);
const QColor kProblemBackground(0xff, 0xf4, 0xce);
const QColor kProblemText(0x6b, 0x4a, 0x00);

QTableWidget *addTable(const char *name, const QStringList &headings) {
    auto *table = named(new QTableWidget(0, static_cast<int>(headings.size())), name);
    table->setHorizontalHeaderLabels(headings);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    // The first column takes the room left; figures keep their width.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->horizontalHeader()->setHighlightSections(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

// Text columns to the left, figures (every column after the first ones
// holding names) to the right.
void fillTable(QTableWidget *table, const std::vector<QStringList> &rows, int textColumns) {
    table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c) {
            auto *item = new QTableWidgetItem(rows[static_cast<std::size_t>(r)].value(c));
            item->setTextAlignment(Qt::AlignVCenter |
                                   (c < textColumns ? Qt::AlignLeft : Qt::AlignRight));
            table->setItem(r, c, item);
        }
}

QGroupBox *framed(const char *name, QStringView title, QWidget *content) {
    auto *box = named(new QGroupBox(title.toString()), name);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(content);
    return box;
}

// The heat map's colours from best to worst, as a bar between the scale's
// two ends.
class HeatScaleBar final : public QWidget {
public:
    HeatScaleBar() { setFixedSize(120, 12); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, width(), 0);
        for (double stop : {0.0, 0.25, 0.5, 0.75, 1.0})
            gradient.setColorAt(stop, heat::colour(stop));
        painter.setPen(QPen(heat::colour(1).darker(140), 1));
        painter.setBrush(gradient);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// A swatch of one colour, as wide as it is high.
QLabel *addSwatch(const char *name, QColor colour) {
    QPixmap swatch(12, 12);
    swatch.fill(colour);
    QPainter painter(&swatch);
    painter.setPen(colour.darker(140));
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    painter.end();
    auto *label = named(new QLabel, name);
    label->setPixmap(swatch);
    return label;
}

QLineSeries *addSeries(QChart *chart, QStringView name, QColor colour, QAbstractAxis *x,
                       QAbstractAxis *y) {
    auto *series = new QLineSeries;
    series->setName(name.toString());
    QPen pen(colour, 2);
    series->setPen(pen);
    series->setPointsVisible(true);
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    return series;
}

}  // namespace

FrmStatistics::FrmStatistics(TrainerApp &app) : QWidget(nullptr, Qt::Window), app_(app) {
    setObjectName(QStringLiteral("FrmStatistics"));
    setWindowTitle(text::kCaption.toString());
    setWindowIcon(programIcon());
    createControls();
    resize(kInitialSize);
    refresh();
}

void FrmStatistics::createControls() {
    problemLabel_ = named(new QLabel, "lblHistoryProblem");
    problemLabel_->setWordWrap(true);
    problemLabel_->setMargin(6);
    QPalette warning = problemLabel_->palette();
    warning.setColor(QPalette::Window, kProblemBackground);
    warning.setColor(QPalette::WindowText, kProblemText);
    problemLabel_->setPalette(warning);
    problemLabel_->setAutoFillBackground(true);
    summaryLabel_ = named(new QLabel, "lblSummary");
    QFont summaryFont = summaryLabel_->font();
    summaryFont.setBold(true);
    summaryLabel_->setFont(summaryFont);

    chartView_ = named(new QChartView, "chartView");
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumHeight(240);
    // As tall as the keyboard beside it, whatever size the view would like.
    chartView_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);

    confusionTable_ = addTable(
        "tblConfusions",
        {text::kShownKana.toString(), text::kPressedKey.toString(), text::kTimes.toString()});
    courseTable_ =
        addTable("tblCourseTotals", {text::kCourse.toString(), text::kKeys.toString(),
                                     text::kAccuracy.toString(), text::kSpeed.toString()});
    weakKanaTable_ = addTable("tblWeakKana", {text::kKana.toString(), text::kAccuracy.toString(),
                                              text::kMedianTime.toString()});

    practiceCourse_ = named(new QComboBox, "cboPracticeCourse");
    for (const QStringView caption : texts::kCourseCaptions)
        practiceCourse_->addItem(caption.toString());
    practiceCourse_->setCurrentIndex(kAllKeysCourse - 1);
    auto *practiceCaption =
        named(new QLabel(text::kPracticeCourse.toString()), "lblPracticeCourse");
    practiceCaption->setBuddy(practiceCourse_);
    practiceButton_ = named(new QPushButton(text::kPractice.toString()), "cmdPractice");
    exportButton_ = named(new QPushButton(text::kExport.toString()), "cmdExportCsv");
    auto *closeButton = named(new QPushButton(text::kClose.toString()), "cmdClose");

    auto *graphs = new QHBoxLayout;
    graphs->addWidget(createHeatMap(), 3);
    graphs->addWidget(chartView_, 2);

    auto *tables = new QHBoxLayout;
    tables->addWidget(framed("fraConfusions", text::kConfusions, confusionTable_), 3);
    tables->addWidget(framed("fraCourseTotals", text::kCourseTotals, courseTable_), 4);
    tables->addWidget(framed("fraWeakKana", text::kWeakKana, weakKanaTable_), 3);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(practiceCaption);
    buttons->addWidget(practiceCourse_);
    buttons->addWidget(practiceButton_);
    buttons->addStretch();
    buttons->addWidget(exportButton_);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(problemLabel_);
    layout->addWidget(summaryLabel_);
    // The keyboard keeps its proportions; the lists take the height left.
    layout->addLayout(graphs);
    layout->addLayout(tables, 1);
    layout->addLayout(buttons);

    connect(practiceCourse_, &QComboBox::currentIndexChanged, this, &FrmStatistics::showWeakKana);
    connect(practiceButton_, &QPushButton::clicked, this, &FrmStatistics::startPractice);
    connect(exportButton_, &QPushButton::clicked, this, &FrmStatistics::chooseExportFile);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    if (HistoryStore *history = app_.services().history)
        connect(history, &HistoryStore::problemChanged, this, &FrmStatistics::showProblem);
}

// The keyboard coloured by accuracy or speed, the choice between the two,
// and the colour scale with its two ends.
QGroupBox *FrmStatistics::createHeatMap() {
    heatAccuracyButton_ =
        named(new QRadioButton(text::kHeatAccuracy.toString()), "optHeatAccuracy");
    auto *speedButton = named(new QRadioButton(text::kHeatSpeed.toString()), "optHeatSpeed");
    heatAccuracyButton_->setChecked(true);
    heatMap_ = named(new JisKeyboardView, "heatMap");
    heatMap_->setLegendVisible(false);
    heatMap_->setMinimumSize(heatMap_->minimumSizeHint());
    heatBestLabel_ = named(new QLabel, "lblHeatBest");
    heatWorstLabel_ = named(new QLabel, "lblHeatWorst");
    auto *hint = named(new QLabel(text::kHeatHint.toString()), "lblHeatHint");
    hint->setWordWrap(true);
    hint->setForegroundRole(QPalette::PlaceholderText);

    auto *choice = new QHBoxLayout;
    choice->addWidget(heatAccuracyButton_);
    choice->addWidget(speedButton);
    choice->addStretch();
    auto *scale = new QHBoxLayout;
    scale->addWidget(heatBestLabel_);
    scale->addWidget(named(new HeatScaleBar, "heatScale"));
    scale->addWidget(heatWorstLabel_);
    scale->addSpacing(16);
    scale->addWidget(addSwatch("heatNoFigureSwatch", heat::noFigureColour()));
    scale->addWidget(named(new QLabel(text::kHeatNoFigure.toString()), "lblHeatNoFigure"));
    scale->addStretch();

    auto *box = named(new QGroupBox(text::kHeatMap.toString()), "fraHeatMap");
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(choice);
    layout->addWidget(heatMap_, 1);
    layout->addLayout(scale);
    layout->addWidget(hint);
    connect(heatAccuracyButton_, &QRadioButton::toggled, this, &FrmStatistics::showHeatMap);
    return box;
}

void FrmStatistics::refresh() {
    HistoryStore *history = app_.services().history;
    statistics_ =
        history ? history::readStatistics(history->database(), {.confusions = kConfusionsShown})
                : std::nullopt;
    const history::HistoryStatistics shown = statistics_.value_or(history::HistoryStatistics{});
    summaryLabel_->setText(report::summary(shown));
    fillTable(confusionTable_, report::confusionRows(shown), 2);
    fillTable(courseTable_, report::courseRows(shown), 1);
    showWeakKana();
    showChart();
    showHeatMap();
    showProblem();
    practiceButton_->setEnabled(history != nullptr);
    exportButton_->setEnabled(statistics_.has_value() && !shown.courses.empty());
}

void FrmStatistics::showProblem() {
    HistoryStore *history = app_.services().history;
    const QString problem =
        history ? report::problemText(history->problem(), history->keptAsidePath()) : QString();
    problemLabel_->setText(problem);
    problemLabel_->setVisible(!problem.isEmpty());
}

void FrmStatistics::showWeakKana() {
    fillTable(weakKanaTable_,
              report::weakKanaRows(statistics_.value_or(history::HistoryStatistics{}),
                                   practiceCourse_->currentIndex() + 1, kWeakKanaShown),
              1);
}

void FrmStatistics::showChart() {
    auto *chart = new QChart;
    chart->setObjectName(QStringLiteral("chart"));
    chart->setFont(font());
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setFont(font());
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(0);
    QFont titleFont = font();
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);

    const std::vector<history::SessionStatistics> sessions =
        statistics_ ? statistics_->sessions : std::vector<history::SessionStatistics>{};
    chart->setTitle(sessions.empty() ? text::kChartEmpty.toString()
                                     : text::kChartTitle.toString().arg(sessions.size()));

    auto *sessionAxis = new QValueAxis;
    sessionAxis->setTitleText(text::kSessionAxis.toString());
    sessionAxis->setLabelFormat(QStringLiteral("%d"));
    sessionAxis->setRange(1, std::max<double>(2, static_cast<double>(sessions.size())));
    sessionAxis->setTickType(QValueAxis::TicksDynamic);
    sessionAxis->setTickAnchor(1);
    sessionAxis->setTickInterval(
        std::max<double>(1, std::ceil(static_cast<double>(sessions.size()) / 10)));
    auto *speedAxis = new QValueAxis;
    speedAxis->setTitleText(text::kSpeedSeries.toString());
    speedAxis->setLabelFormat(QStringLiteral("%d"));
    speedAxis->setTitleBrush(kSpeedColour);
    speedAxis->setLabelsColor(kSpeedColour);
    auto *accuracyAxis = new QValueAxis;
    accuracyAxis->setTitleText(text::kAccuracySeries.toString());
    accuracyAxis->setRange(0, 100);
    accuracyAxis->setLabelFormat(QStringLiteral("%d"));
    accuracyAxis->setTitleBrush(kAccuracyColour);
    accuracyAxis->setLabelsColor(kAccuracyColour);
    for (QValueAxis *axis : {sessionAxis, speedAxis, accuracyAxis}) {
        axis->setLabelsFont(font());
        axis->setTitleFont(font());
    }
    chart->addAxis(sessionAxis, Qt::AlignBottom);
    chart->addAxis(speedAxis, Qt::AlignLeft);
    chart->addAxis(accuracyAxis, Qt::AlignRight);

    QLineSeries *speed = addSeries(chart, text::kSpeedSeries, kSpeedColour, sessionAxis, speedAxis);
    QLineSeries *accuracy =
        addSeries(chart, text::kAccuracySeries, kAccuracyColour, sessionAxis, accuracyAxis);
    double fastest = 0;
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        const double x = static_cast<double>(i + 1);
        speed->append(x, sessions[i].kanaPerMinute());
        accuracy->append(x, 100 * sessions[i].accuracy());
        fastest = std::max(fastest, sessions[i].kanaPerMinute());
    }
    speedAxis->setRange(0, std::max(10.0, std::ceil(fastest * 1.15 / 10) * 10));
    speedAxis->applyNiceNumbers();

    QChart *previous = chartView_->chart();
    chartView_->setChart(chart);
    delete previous;
}

void FrmStatistics::showHeatMap() {
    const heat::Measure measure =
        heatAccuracyButton_->isChecked() ? heat::Measure::Accuracy : heat::Measure::Speed;
    const history::HistoryStatistics shown = statistics_.value_or(history::HistoryStatistics{});
    const std::optional<heat::Scale> scale = heat::scaleOf(measure, shown);
    for (const JisKey &key : jisKeys()) {
        const heat::KeyFigures figures = heat::figuresOf(key, shown);
        const bool shiftedCorner = key.shiftedKana != 0 && heat::isDrilled(key.shiftedKana);
        heatMap_->setKeyFill(
            key.evdevCode,
            key.kana == 0 ? heat::blankKeyColour() : heat::fill(measure, figures.kana, scale),
            shiftedCorner ? heat::fill(measure, figures.shifted, scale) : QColor());
        heatMap_->setKeyToolTip(key.evdevCode, heat::toolTip(figures));
    }
    // The scale's ends with their values, once there are any.
    heatBestLabel_->setText(
        scale ? QStringLiteral("%1 %2").arg(text::kHeatGood, heat::scaleText(measure, scale->best))
              : text::kHeatGood.toString());
    heatWorstLabel_->setText(
        scale ? QStringLiteral("%1 %2").arg(heat::scaleText(measure, scale->worst), text::kHeatWeak)
              : text::kHeatWeak.toString());
}

void FrmStatistics::changeEvent(QEvent *event) {
    // Coming back to the window after typing shows the new keys.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) refresh();
    QWidget::changeEvent(event);
}

void FrmStatistics::chooseExportFile() {
    const QString file = app_.services().saveFileName(
        this, text::kExportTitle.toString(),
        QDir::home().filePath(text::kExportFileName.toString()), text::kExportFilter.toString());
    if (!file.isEmpty()) exportTo(file);
}

bool FrmStatistics::exportTo(const QString &file) {
    HistoryStore *history = app_.services().history;
    QSaveFile out(file);
    const bool written = history && out.open(QIODevice::WriteOnly) &&
                         history::exportCsv(history->database(), out) && out.commit();
    if (!written)
        app_.services().message(this, text::kCaption.toString(), text::kExportFailed.toString(),
                                QMessageBox::Warning);
    return written;
}

void FrmStatistics::startPractice() { app_.showWeakPractice(practiceCourse_->currentIndex() + 1); }

}  // namespace tapmora
