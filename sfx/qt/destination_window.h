// Dialog 104: asks for the destination folder. The window only shows the
// texts of a DestinationDialog and hands the typed folder to its `confirm`,
// which holds every rule and message.
#pragma once

#include <QDialog>

#include "sfx/ui.h"

class QLineEdit;

namespace sfx {

class DestinationWindow : public QDialog {
public:
    // `ui` provides the folder browser behind the Browse button.
    DestinationWindow(DestinationDialog &dialog, Ui &ui);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void confirm();
    void browse();

    DestinationDialog &dialog_;
    Ui &ui_;
    QLineEdit *field_;
};

}  // namespace sfx
