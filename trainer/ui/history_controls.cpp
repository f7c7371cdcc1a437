#include "trainer/ui/history_controls.h"

#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

#include "trainer/history/history_store.h"
#include "trainer/ui/controls.h"
#include "trainer/ui/statistics_report.h"
#include "trainer/ui/texts.h"
#include "trainer/ui/trainer_app.h"

namespace tapmora {
namespace {

const QColor kProblemColour(0xb0, 0x30, 0x00);

// A link-like label rather than a button: it is no taller than the menu
// items, so showing it never changes the menu bar's height and with it the
// room left for the window's controls.
QLabel *addProblemMark(QMenuBar *bar, TrainerApp &app) {
    auto *mark = named(new QLabel(bar), "lblHistoryProblem");
    mark->setTextFormat(Qt::RichText);
    mark->setContentsMargins(0, 0, 6, 0);
    QObject::connect(mark, &QLabel::linkActivated, mark, [&app] { app.showStatisticsWindow(); });
    bar->setCornerWidget(mark, Qt::TopRightCorner);
    mark->hide();
    return mark;
}

void showProblem(QLabel *mark, const HistoryStore &history) {
    const QString text = report::problemMark(history.problem(), history.keptAsidePath());
    mark->setText(QStringLiteral("<a href=\"statistics\" style=\"color:%1\">%2</a>")
                      .arg(kProblemColour.name(), text.toHtmlEscaped()));
    mark->setToolTip(report::problemText(history.problem(), history.keptAsidePath()));
    mark->setVisible(!text.isEmpty());
}

}  // namespace

void addHistoryControls(QMainWindow &window, TrainerApp &app) {
    QMenuBar *bar = window.menuBar();
    auto *view = named(new QMenu(texts::statistics::kMenuView.toString(), bar), "mnuview");
    QAction *statistics =
        named(view->addAction(texts::statistics::kMenuItem.toString()), "mnustatistics");
    QObject::connect(statistics, &QAction::triggered, view, [&app] { app.showStatisticsWindow(); });
    auto *help = window.findChild<QMenu *>(QStringLiteral("mnuhelp"));
    bar->insertMenu(help ? help->menuAction() : nullptr, view);

    if (HistoryStore *history = app.services().history) {
        QLabel *mark = addProblemMark(bar, app);
        QObject::connect(history, &HistoryStore::problemChanged, mark,
                         [mark, history] { showProblem(mark, *history); });
        showProblem(mark, *history);
    }
}

}  // namespace tapmora
