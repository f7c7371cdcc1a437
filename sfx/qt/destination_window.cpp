#include "sfx/qt/destination_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "sfx/qt/dialog_layout.h"

namespace sfx {

DestinationWindow::DestinationWindow(DestinationDialog &dialog, Ui &ui) : dialog_(dialog), ui_(ui) {
    const Language language = current_language();
    const DestinationLayout &layout = destination_layout(language);
    const DialogUnits units = set_up_dialog(*this, language, layout.size, dialog.caption);

    // Created in tab order: field, Browse, Confirm, Cancel (the label takes
    // no focus; its access key leads to the field).
    auto *label = new QLabel(QString::fromStdString(dialog.label), this);
    label->setObjectName(QStringLiteral("folder_label"));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(*label, units, layout.label);

    field_ = new QLineEdit(QString::fromStdString(dialog.folder), this);
    field_->setObjectName(QStringLiteral("folder_field"));
    place(*field_, units, layout.field);
    label->setBuddy(field_);

    auto *browse = new QPushButton(QString::fromStdString(dialog.browse_text), this);
    browse->setObjectName(QStringLiteral("browse"));
    place(*browse, units, layout.browse);

    auto *confirm = new QPushButton(QString::fromStdString(dialog.confirm_text), this);
    confirm->setObjectName(QStringLiteral("confirm"));
    confirm->setDefault(true);
    place(*confirm, units, layout.confirm);

    auto *cancel = new QPushButton(QString::fromStdString(dialog.cancel_text), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    place(*cancel, units, layout.cancel);

    connect(browse, &QPushButton::clicked, this, &DestinationWindow::browse);
    connect(confirm, &QPushButton::clicked, this, &DestinationWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    field_->setFocus();
}

void DestinationWindow::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    centre_dialog(*this);
}

void DestinationWindow::confirm() {
    const std::string folder = field_->text().toStdString();
    if (!dialog_.confirm(folder)) return;  // the refusal has been explained
    dialog_.folder = folder;
    accept();
}

void DestinationWindow::browse() {
    const std::optional<std::string> chosen =
        ui_.browse_for_folder(dialog_.browse_instruction, field_->text().toStdString());
    if (chosen && !chosen->empty()) field_->setText(QString::fromStdString(*chosen));
}

}  // namespace sfx
