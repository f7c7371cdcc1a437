#include "sfx/qt/qt_ui.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QPushButton>

#include "sfx/platform.h"
#include "sfx/qt/destination_window.h"
#include "sfx/qt/display.h"
#include "sfx/qt/installer_icon.h"
#include "sfx/qt/progress_window.h"
#include "sfx/qt/qt_front_end.h"
#include "sfx/qt/window_caption.h"
#include "sfx/strings.h"

namespace sfx {
namespace {

struct StandardButtons {
    QMessageBox::StandardButtons set;
    QMessageBox::StandardButton order[3];  // left to right, for the default button
};

StandardButtons buttons_of(uint32_t style) {
    using B = QMessageBox;
    switch (style & SFX_MB_BUTTONS_MASK) {
        case SFX_MB_OKCANCEL: return {B::Ok | B::Cancel, {B::Ok, B::Cancel, B::NoButton}};
        case SFX_MB_YESNOCANCEL: return {B::Yes | B::No | B::Cancel, {B::Yes, B::No, B::Cancel}};
        case SFX_MB_YESNO: return {B::Yes | B::No, {B::Yes, B::No, B::NoButton}};
        default: return {B::Ok, {B::Ok, B::NoButton, B::NoButton}};
    }
}

QMessageBox::Icon icon_of(uint32_t style) {
    constexpr uint32_t kIconWarning = 0x30;
    switch (style & SFX_MB_ICON_MASK) {
        case SFX_MB_ICONERROR: return QMessageBox::Critical;
        case SFX_MB_ICONQUESTION: return QMessageBox::Question;
        case kIconWarning: return QMessageBox::Warning;
        case SFX_MB_ICONINFORMATION: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

// Button texts as the platform's own message boxes label them.
struct ButtonTexts {
    const char *ok, *cancel, *yes, *no;
};
constexpr ButtonTexts kEnglishButtons = {"OK", "Cancel", "&Yes", "&No"};
constexpr ButtonTexts kJapaneseButtons = {"OK", "キャンセル", "はい(&Y)", "いいえ(&N)"};

void label_buttons(QMessageBox &box) {
    const ButtonTexts &texts =
        current_language() == Language::Japanese ? kJapaneseButtons : kEnglishButtons;
    const std::pair<QMessageBox::StandardButton, const char *> labels[] = {
        {QMessageBox::Ok, texts.ok},
        {QMessageBox::Cancel, texts.cancel},
        {QMessageBox::Yes, texts.yes},
        {QMessageBox::No, texts.no},
    };
    for (const auto &[which, text] : labels) {
        if (QAbstractButton *button = box.button(which)) button->setText(QString::fromUtf8(text));
    }
}

// A message box that treats Esc and its close box as the platform's own
// boxes do: they choose Cancel, or OK in a box with OK alone; a box with
// neither (Yes/No) ignores them and waits for an answer.
class MessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent *event) override {
        if (event->matches(QKeySequence::Cancel) && !can_escape()) return;
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent *event) override {
        if (can_escape()) {
            QMessageBox::closeEvent(event);
        } else {
            event->ignore();
        }
    }

private:
    bool can_escape() const { return button(Cancel) != nullptr || button(Ok) != nullptr; }
};

// MB_DEFBUTTON2 and MB_DEFBUTTON3 (0x100, 0x200) pick a later button.
QMessageBox::StandardButton default_button_of(uint32_t style, const StandardButtons &buttons) {
    const uint32_t index = (style >> 8) & 0x3;
    if (index < 3 && buttons.order[index] != QMessageBox::NoButton) return buttons.order[index];
    return buttons.order[0];
}

// The folder the browser opens at: the typed one, or its nearest existing
// parent when it does not exist (yet).
QString browser_start(const std::string &initial) {
    if (initial.empty()) return QString();
    QString folder =
        QFileInfo(QString::fromStdString(platform::native_path(initial))).absoluteFilePath();
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return QString();
        folder = parent;
    }
    return folder;
}

// Makes Qt connect to the Wayland display, which alone answered; Qt would
// otherwise try X11 first and end the process when that fails. False when
// Qt's Wayland plugin is not installed.
bool use_wayland() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return true;  // the user's choice
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms"));
    if (platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty()) return false;
    qputenv("QT_QPA_PLATFORM", "wayland");
    return true;
}

// Owns the application object for the front end of the running program.
class ApplicationUi : public QtUi {
public:
    explicit ApplicationUi(const char *program_name)
        : argv_{const_cast<char *>(program_name), nullptr}, application_(argc_, argv_) {
        QApplication::setWindowIcon(installer_icon());
        // Only modal loops run here; closing a dialog must not end the
        // application object before the run has finished.
        QApplication::setQuitOnLastWindowClosed(false);
    }

private:
    int argc_ = 1;
    char *argv_[2];
    QApplication application_;
};

}  // namespace

std::unique_ptr<QMessageBox> make_message_box(uint32_t style, const std::string &caption,
                                              const std::string &text, QWidget *owner) {
    QString shown = QString::fromStdString(text);
    shown.remove(QLatin1Char('\r'));
    const StandardButtons buttons = buttons_of(style);
    auto box = std::make_unique<MessageBox>(icon_of(style), window_caption(caption), shown,
                                            buttons.set, owner);
    box->setObjectName(QStringLiteral("message_box"));
    box->setTextFormat(Qt::PlainText);
    box->setWindowIcon(installer_icon());
    box->setDefaultButton(default_button_of(style, buttons));
    label_buttons(*box);
    return box;
}

int win32_button_id(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok: return SFX_IDOK;
        case QMessageBox::Cancel: return SFX_IDCANCEL;
        case QMessageBox::Yes: return SFX_IDYES;
        case QMessageBox::No: return SFX_IDNO;
        default: return 0;
    }
}

int QtUi::message_box(uint32_t style, const std::string &caption, const std::string &text,
                      MessageOwner owner) {
    QWidget *parent = owner == MessageOwner::Progress ? progress_ : nullptr;
    const std::unique_ptr<QMessageBox> box = make_message_box(style, caption, text, parent);
    box->exec();
    return win32_button_id(box->standardButton(box->clickedButton()));
}

bool QtUi::run_destination_dialog(DestinationDialog &dialog) {
    DestinationWindow window(dialog, *this);
    return window.exec() == QDialog::Accepted;
}

std::optional<std::string> QtUi::browse_for_folder(const std::string &instruction,
                                                   const std::string &initial) {
    QFileDialog chooser(QApplication::activeModalWidget(), QString::fromStdString(instruction),
                        browser_start(initial));
    chooser.setObjectName(QStringLiteral("folder_browser"));
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(chooser.selectedFiles().constFirst()).toStdString();
}

bool QtUi::run_progress_dialog(const ProgressDialog &dialog, const Extraction &extraction) {
    ProgressWindow window(dialog, extraction);
    progress_ = &window;
    window.exec();
    progress_ = nullptr;
    return window.succeeded();
}

void QtUi::show_archive(const std::string &text) {
    if (progress_ != nullptr) progress_->show_archive(text);
}

void QtUi::show_file(const std::string &text) {
    if (progress_ != nullptr) progress_->show_file(text);
}

void QtUi::show_progress(uint64_t written, uint64_t total) {
    if (progress_ != nullptr) progress_->show_progress(written, total);
}

std::unique_ptr<Ui> make_qt_ui(const char *program_name) {
    if (terminal_requested()) return nullptr;
    const DisplayProbe probe;
    switch (probe.server()) {
        case DisplayServer::None: return nullptr;
        case DisplayServer::X11: break;
        case DisplayServer::Wayland:
            if (!use_wayland()) return nullptr;
            break;
    }
    return std::make_unique<ApplicationUi>(program_name);
}

}  // namespace sfx
