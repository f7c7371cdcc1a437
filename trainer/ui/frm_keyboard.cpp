#include "trainer/ui/frm_keyboard.h"

#include <algorithm>

#include <QActionGroup>
#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QToolButton>

#include "trainer/ui/controls.h"
#include "trainer/ui/jis_keyboard_view.h"
#include "trainer/ui/keyboard_coach.h"
#include "trainer/ui/texts.h"

namespace tapmora {
namespace {

const QString kGeometryKey = QStringLiteral("keyboard/geometry");
const QString kOpenKey = QStringLiteral("keyboard/open");
constexpr int kGapToMainWindow = 8;

QString warningText(InputWarning warning) {
    switch (warning) {
        case InputWarning::InputMethod: return texts::keyboard::kInputMethod.toString();
        case InputWarning::KanaInput: return texts::keyboard::kKanaInput.toString();
        case InputWarning::CapsLock: return texts::keyboard::kCapsLock.toString();
        case InputWarning::UnplacedCharacter: return texts::keyboard::kUnplacedCharacter.toString();
        case InputWarning::None: break;
    }
    return {};
}

}  // namespace

FrmKeyboard::FrmKeyboard(KeyboardCoach &coach, QWidget *mainWindow)
    // A tool window of the main window: it stays with it, closes with it
    // and does not keep the program running on its own.
    : QWidget(mainWindow, Qt::Tool | Qt::WindowDoesNotAcceptFocus), coach_(coach) {
    setObjectName(QStringLiteral("FrmKeyboard"));
    setWindowTitle(texts::keyboard::kCaption.toString());
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_ShowWithoutActivating);
    createControls();
    if (!restoreGeometry(QSettings().value(kGeometryKey).toByteArray())) placeBeside(mainWindow);

    connect(&coach_, &KeyboardCoach::targetChanged, this, &FrmKeyboard::showTarget);
    connect(&coach_, &KeyboardCoach::missed, keyboardView_, &JisKeyboardView::showMiss);
    connect(&coach_, &KeyboardCoach::statusChanged, this, &FrmKeyboard::showStatus);
    showTarget();
    showStatus();
}

FrmKeyboard::~FrmKeyboard() { QSettings().setValue(kGeometryKey, saveGeometry()); }

bool FrmKeyboard::wasOpenLastTime() { return QSettings().value(kOpenKey, true).toBool(); }

void FrmKeyboard::showEvent(QShowEvent *event) {
    QSettings().setValue(kOpenKey, true);
    QWidget::showEvent(event);
}

void FrmKeyboard::closeEvent(QCloseEvent *event) {
    QSettings().setValue(kOpenKey, false);
    QWidget::closeEvent(event);
}

// Window managers that give the window the focus anyway, on showing or on
// a click, get it handed straight back: the keys belong to the drill.
void FrmKeyboard::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && parentWidget() &&
        parentWidget()->isVisible())
        parentWidget()->activateWindow();
    QWidget::changeEvent(event);
}

void FrmKeyboard::createControls() {
    keyboardView_ = named(new JisKeyboardView(this), "keyboardView");
    statusLine_ = named(new QLabel(this), "statusLine");
    statusLine_->setWordWrap(true);
    statusLine_->setMargin(4);

    settingsButton_ = named(new QToolButton(this), "settingsButton");
    settingsButton_->setText(texts::keyboard::kSettings.toString());
    settingsButton_->setPopupMode(QToolButton::InstantPopup);
    settingsButton_->setFocusPolicy(Qt::NoFocus);
    auto *settings = named(new QMenu(settingsButton_), "mnuKeyboardSettings");
    addStandInMenu(settings, texts::keyboard::kYenStandIn, "yenStandIn", &StandIns::yen);
    addStandInMenu(settings, texts::keyboard::kRoStandIn, "roStandIn", &StandIns::ro);
    settingsButton_->setMenu(settings);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(statusLine_, 1);
    bottom->addWidget(settingsButton_, 0, Qt::AlignBottom);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(keyboardView_, 1);
    layout->addLayout(bottom);
}

// A submenu offering no stand-in or one of the candidate keys; each action
// is named after the menu and the key's evdev code ("yenStandIn41").
void FrmKeyboard::addStandInMenu(QMenu *settings, QStringView title, const char *name,
                                 std::uint16_t StandIns::*jisOnlyKey) {
    QMenu *menu = named(settings->addMenu(title.toString()), name);
    auto *group = new QActionGroup(menu);
    QList<std::uint16_t> codes{0};
    for (std::uint16_t code : standInCandidates()) codes.append(code);
    for (std::uint16_t code : codes) {
        QAction *action = menu->addAction(texts::keyboard::standInName(code));
        action->setObjectName(QString::fromLatin1(name) + QString::number(code));
        action->setCheckable(true);
        action->setData(code);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, jisOnlyKey, code] { coach_.setStandIn(jisOnlyKey, code); });
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu, jisOnlyKey] {
        for (QAction *action : menu->actions())
            action->setChecked(action->data().toInt() == coach_.standIns().*jisOnlyKey);
    });
}

// On the side of the main window with more room, right on a tie, as large
// as its preferred size and that room allow but no smaller than two thirds
// of it, where the kana stay easy to read; on a screen too narrow for that
// it overlaps the main window at the screen's edge.
void FrmKeyboard::placeBeside(const QWidget *mainWindow) {
    const QSize preferred = sizeHint();
    if (!mainWindow) {
        resize(preferred);
        return;
    }
    const QRect main = mainWindow->frameGeometry();
    const QRect screen = mainWindow->screen()->availableGeometry();
    const int roomRight = screen.right() - main.right() - kGapToMainWindow;
    const int roomLeft = main.left() - screen.left() - kGapToMainWindow;
    const bool right = roomRight >= roomLeft;
    const int width =
        std::clamp(right ? roomRight : roomLeft, preferred.width() * 2 / 3, preferred.width());
    resize(width, preferred.height() * width / preferred.width());
    int x = right ? main.right() + 1 + kGapToMainWindow : main.left() - kGapToMainWindow - width;
    x = std::clamp(x, screen.left(), screen.right() + 1 - width);
    move(x, main.top());
}

void FrmKeyboard::showTarget() { keyboardView_->setTarget(coach_.target()); }

void FrmKeyboard::showStatus() {
    const InputWarning warning = coach_.warning();
    if (warning != InputWarning::None)
        statusLine_->setText(warningText(warning));
    else if (coach_.judgesByPosition())
        statusLine_->setText(
            texts::keyboard::judgingByPosition(coach_.standIns().yen, coach_.standIns().ro));
    else
        statusLine_->setText(texts::keyboard::kJudgingByCharacter.toString());
    // A warning stands out on the colour of tooltips, a pale yellow on most
    // desktops.
    statusLine_->setAutoFillBackground(warning != InputWarning::None);
    statusLine_->setBackgroundRole(QPalette::ToolTipBase);
    statusLine_->setForegroundRole(warning != InputWarning::None ? QPalette::ToolTipText
                                                                 : QPalette::WindowText);
}

}  // namespace tapmora
