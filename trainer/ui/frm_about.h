// The version window: name, version, description, maker notice, the maker's
// home page and thanks for the icon.
#pragma once

#include <QDialog>

class QLabel;

namespace tapmora {

class TrainerApp;

class FrmAbout final : public QDialog {
    Q_OBJECT
public:
    explicit FrmAbout(TrainerApp &app);

    // Closes this window and shows the main window, opening it anew in its
    // welcome state when it had been closed.
    void ok();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    TrainerApp &app_;
    QLabel *homePageLink_ = nullptr;  // Text1
};

}  // namespace tapmora
