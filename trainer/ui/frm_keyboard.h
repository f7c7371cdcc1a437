// The keyboard window: the drawn JIS keyboard with the key to type next and
// the last miss, a status line on how keys are judged or what keeps them
// from being judged as meant, and the choice of stand-ins for the keys
// ANSI and ISO keyboards lack. It accompanies the main window and never
// takes the keyboard focus from the drill.
#pragma once

#include <QWidget>

#include "trainer/model/jis_keyboard.h"

class QLabel;
class QMenu;
class QToolButton;

namespace tapmora {

class JisKeyboardView;
class KeyboardCoach;

class FrmKeyboard final : public QWidget {
    Q_OBJECT
public:
    FrmKeyboard(KeyboardCoach &coach, QWidget *mainWindow);
    ~FrmKeyboard() override;

    JisKeyboardView *keyboardView() const { return keyboardView_; }

    // Whether the window was open when the program last ended (open by
    // default): the learner closing it is remembered, the program ending
    // with it open is not a close.
    static bool wasOpenLastTime();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createControls();
    void addStandInMenu(QMenu *settings, QStringView title, const char *name,
                        std::uint16_t StandIns::*jisOnlyKey);
    void placeBeside(const QWidget *mainWindow);
    void showTarget();
    void showStatus();

    KeyboardCoach &coach_;
    JisKeyboardView *keyboardView_ = nullptr;
    QLabel *statusLine_ = nullptr;
    QToolButton *settingsButton_ = nullptr;
};

}  // namespace tapmora
