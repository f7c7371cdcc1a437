#include "trainer/ui/frm_print_score.h"

#include <array>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "trainer/ui/controls.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

namespace tapmora {
namespace {

constexpr QSize kClientSize(twips(6015), twips(4230));
constexpr int kCellHeight = 255;
constexpr int kRowTops[FrmPrintScore::kRowCount] = {1080, 1440, 1800, 2160, 2520, 2880, 3240};

struct Column {
    int left;
    int width;
};
constexpr Column kCourseColumn{120, 1935};
constexpr Column kCorrectColumn{2400, 1095};
constexpr Column kWrongColumn{3720, 975};
constexpr Column kTotalColumn{4920, 975};

// The value cells, column by column, then the totals row; the refresh fills
// them in this order from the matching fields.
constexpr auto kCellNames = std::to_array<const char *>({
    "LblScoreHome",      "LblScoreHome1Up",   "LblScoreHome2Up",   "LblScoreHomeDown",
    "LblScoreUseShift",  "LblScoreAll",       "LblEScoreHome",     "LblEScoreHome1Up",
    "LblEScoreHome2Up",  "LblEScoreHomeDown", "LblEScoreUseShift", "LblEScoreAll",
    "LblAScoreHome",     "LblAScoreHome1Up",  "LblAScoreHome2Up",  "LblAScoreHomeDown",
    "LblAScoreUseShift", "LblAScoreAll",      "LblATrue",          "LblAFalse",
    "LBLATFAll",
});
constexpr auto kCellFields = std::to_array<ScoreField>({
    kCorrectCounts[0],    kCorrectCounts[1], kCorrectCounts[2],   kCorrectCounts[3],
    kCorrectCounts[4],    kCorrectCounts[5], kWrongCounts[0],     kWrongCounts[1],
    kWrongCounts[2],      kWrongCounts[3],   kWrongCounts[4],     kWrongCounts[5],
    kCourseTotals[0],     kCourseTotals[1],  kCourseTotals[2],    kCourseTotals[3],
    kCourseTotals[4],     kCourseTotals[5],  &ScoreModule::ATrue, &ScoreModule::AFalse,
    &ScoreModule::ATFAll,
});
static_assert(kCellNames.size() == FrmPrintScore::kCellCount &&
              kCellFields.size() == FrmPrintScore::kCellCount);

constexpr const char *kRowNames[FrmPrintScore::kRowCount] = {"Label2", "Label3", "Label4", "Label5",
                                                             "Label6", "Label7", "Label11"};

struct GridLine {
    const char *name;
    int at;
};
constexpr GridLine kHorizontalLines[] = {{"Line12", 600}, {"Line1", 960},  {"Line4", 1320},
                                         {"Line5", 1680}, {"Line6", 2040}, {"Line7", 2400},
                                         {"Line8", 2760}, {"Line3", 3120}, {"Line14", 3480}};
constexpr GridLine kVerticalLines[] = {
    {"Line10", 0}, {"Line2", 2280}, {"Line9", 3600}, {"Line11", 4800}, {"Line13", 6000}};

QRect cellPlace(Column column, int top) {
    return twipsRect(column.left, top, column.width, kCellHeight);
}

QFont boldGothic(int pointSize) {
    QFont font = msPGothic(pointSize);
    font.setBold(true);
    return font;
}

void setBackground(QLabel *label, QPalette::ColorRole role) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, palette.color(role));
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}

void setCaption(QLabel *label, const QString &text) {
    if (label->text() != text) label->setText(text);
}

}  // namespace

FrmPrintScore::FrmPrintScore(TrainerApp &app)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      app_(app) {
    setObjectName(QStringLiteral("FrmPrintScore"));
    setWindowTitle(texts::scores::kCaption.toString());
    setWindowIcon(programIcon());
    resize(kClientSize);
    createTable();

    // A change of a count starts one refresh, run once the event that made
    // the change has been handled: never in the middle of a drill step, and
    // once for changes that come together. Nobody typing costs nothing.
    refreshTimer_ = named(new QTimer(this), "Timer1");
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(0);
    connect(refreshTimer_, &QTimer::timeout, this, &FrmPrintScore::refresh);
    tallySubscription_ = app_.tally().subscribe([this] { refreshTimer_->start(); });
    refresh();
}

FrmPrintScore::~FrmPrintScore() { app_.tally().unsubscribe(tallySubscription_); }

void FrmPrintScore::createTable() {
    auto *title =
        addLabel(this, "Label1", texts::scores::kCaption.toString(), twipsRect(0, 120, 6015, 375));
    title->setFont(boldGothic(18));
    title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    constexpr int kHeadingTop = 720;
    const struct {
        const char *name;
        QStringView text;
        QRect place;
    } headings[] = {
        {"Label8", texts::scores::kCourseHeading, twipsRect(120, kHeadingTop, 2055, kCellHeight)},
        {"Label9", texts::scores::kCorrectHeading, cellPlace(kCorrectColumn, kHeadingTop)},
        {"Label10", texts::scores::kWrongHeading, cellPlace(kWrongColumn, kHeadingTop)},
        {"Label17", texts::scores::kTotalHeading, cellPlace(kTotalColumn, kHeadingTop)},
    };
    for (const auto &heading : headings)
        addLabel(this, heading.name, heading.text.toString(), heading.place)
            ->setFont(boldGothic(9));

    for (int row = 0; row < kRowCount; ++row) {
        const QString caption = row < kCourseCount ? texts::kCourseCaptions[row].toString()
                                                   : texts::scores::kAllCourses.toString();
        addLabel(this, kRowNames[row], caption, cellPlace(kCourseColumn, kRowTops[row]));
    }
    const Column valueColumns[kValueColumnCount] = {kCorrectColumn, kWrongColumn, kTotalColumn};
    for (int i = 0; i < kCellCount; ++i) {
        const bool totalsRow = i >= kCourseCellCount;
        const Column column = valueColumns[totalsRow ? i - kCourseCellCount : i / kCourseCount];
        const int top = kRowTops[totalsRow ? kTotalsRow : i % kCourseCount];
        cells_[i] = addLabel(this, kCellNames[i], QString(), cellPlace(column, top));
        cells_[i]->setWordWrap(false);
    }
    // Two cells sit on the colours of inactive and active window borders;
    // Qt's palette has no border roles, and its light and mid-light shades
    // come closest (inactive borders are the lighter of the two).
    setBackground(cells_[0], QPalette::Light);
    setBackground(cells_[1], QPalette::Midlight);

    const QColor lineColour = palette().color(QPalette::WindowText);
    for (const GridLine &line : kHorizontalLines)
        addLine(this, line.name, QLine(0, line.at, 6000, line.at), lineColour);
    for (const GridLine &line : kVerticalLines)
        addLine(this, line.name, QLine(line.at, 600, line.at, 3480), lineColour);

    auto *closeButton =
        addButton(this, "CmdClose", texts::scores::kClose, twipsRect(2640, 3720, 1215, 375));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void FrmPrintScore::refresh() {
    ScoreModule &scores = app_.scores();
    if (recomputeTotals(scores) == CountResult::AtLimit) {
        if (!limitReported_) {
            limitReported_ = true;
            app_.services().message(this, texts::scores::kCaption.toString(),
                                    texts::scores::kSumAtLimit.toString(), QMessageBox::Warning);
        }
        return;
    }
    for (int i = 0; i < kCellCount; ++i)
        setCaption(cells_[i], QString::number(scores.*kCellFields[i]));
}

}  // namespace tapmora
