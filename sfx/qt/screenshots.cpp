// Renders the installer's windows to PNG files for review: dialog 104,
// dialog 103 and an overwrite question, in English and Japanese, each built
// by the installer's own routines with sample values.
//
//   sfx_screenshot_tool OUTPUT_FOLDER   (on QT_QPA_PLATFORM=offscreen)
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QPainter>

#include "sfx/extract.h"
#include "sfx/installer.h"
#include "sfx/messages.h"
#include "sfx/qt/destination_window.h"
#include "sfx/qt/installer_icon.h"
#include "sfx/qt/progress_window.h"
#include "sfx/qt/qt_ui.h"
#include "sfx/session.h"
#include "sfx/settings.h"
#include "sfx/strings.h"

namespace {

// The window's client area under a plain title bar showing its icon and
// caption, which the offscreen platform does not draw.
QImage with_title_bar(QWidget &window) {
    constexpr int kBarHeight = 22;
    const QPixmap client = window.grab();
    QImage image(client.width(), client.height() + kBarHeight, QImage::Format_RGB32);
    image.fill(QColor(0x00, 0x00, 0x80));
    QPainter painter(&image);
    painter.drawPixmap(0, kBarHeight, client);
    painter.drawPixmap(3, 3, window.windowIcon().pixmap(16));
    QFont font = window.font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(24, 0, image.width() - 28, kBarHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    return image;
}

// Shows each window the installer asks for, saves it and closes it again.
class ScreenshotUi : public sfx::QtUi {
public:
    explicit ScreenshotUi(QString folder) : folder_(std::move(folder)) {}
    void set_suffix(const QString &suffix) { suffix_ = suffix; }

    int message_box(uint32_t style, const std::string &caption, const std::string &text,
                    sfx::MessageOwner) override {
        const auto box = sfx::make_message_box(style, caption, text, nullptr);
        save(*box, "message");
        return 0;
    }

    bool run_destination_dialog(sfx::DestinationDialog &dialog) override {
        sfx::DestinationWindow window(dialog, *this);
        save(window, "destination");
        return false;
    }

    bool run_progress_dialog(const sfx::ProgressDialog &dialog,
                             const sfx::Extraction &extraction) override {
        sfx::ProgressWindow window(dialog, extraction);
        window.show_archive("/media/setup/Tapmora-setup");
        window.show_progress(420 * 1024, 1000 * 1024);
        window.show_file(sfx::session().sfx_settings.destination + "Tapmora/setup.exe");
        save(window, "progress");
        return false;
    }

    bool ok = true;

private:
    void save(QWidget &window, const char *name) {
        window.show();
        QApplication::processEvents();
        const QString path =
            folder_ + QStringLiteral("/sfx_%1_%2.png").arg(QLatin1String(name), suffix_);
        if (!with_title_bar(window).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
        }
        window.hide();
    }

    QString folder_;
    QString suffix_;
};

void render_windows() {
    std::string &destination = sfx::session().sfx_settings.destination;
    destination = "/tmp/pelmarself-1000/";
    sfx::run_folder_dialog();
    sfx::extract_payload();
    sfx::show_message(sfx::SFX_MB_YESNOCANCEL | sfx::SFX_MB_ICONQUESTION,
                      sfx::StringId::OverwriteCaption, sfx::StringId::AskOverwrite, destination,
                      std::string("Tapmora\\setup.exe"));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    ScreenshotUi ui(folder);
    sfx::Session session;
    session.ui = &ui;
    session.process_values.module_path = "/media/setup/Tapmora-setup";
    const sfx::SessionScope bound(session);

    for (const int size : {32, 16}) {
        const QString path = folder + QStringLiteral("/sfx_icon_%1_x8.png").arg(size);
        // Eight times enlarged, pixel for pixel, so the design can be judged.
        const QPixmap icon = sfx::installer_icon().pixmap(size);
        if (!icon.scaled(size * 8, size * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                 .save(path)) {
            ui.ok = false;
        }
    }

    session.language = sfx::Language::English;
    ui.set_suffix(QStringLiteral("en"));
    render_windows();

    session.language = sfx::Language::Japanese;
    ui.set_suffix(QStringLiteral("ja"));
    session.payload_config.title = "Tapmora.EXE自己解凍ダイアログ";
    session.payload_config.message = "解凍先フォルダの指定";
    render_windows();
    return ui.ok ? 0 : 1;
}
