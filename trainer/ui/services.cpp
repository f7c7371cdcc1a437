#include "trainer/ui/services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>

namespace tapmora {

Services desktopServices(RandomSource &random) {
    Services services;
    services.beep = [] { QApplication::beep(); };
    services.message = [](QWidget *owner, const QString &title, const QString &text,
                          QMessageBox::Icon icon) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
        box.exec();
    };
    services.openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    // exit() leaves the event loop without asking any window to close.
    services.quit = [] { QCoreApplication::exit(0); };
    services.saveFileName = [](QWidget *owner, const QString &title, const QString &suggested,
                               const QString &filter) {
        return QFileDialog::getSaveFileName(owner, title, suggested, filter);
    };
    services.random = &random;
    return services;
}

}  // namespace tapmora
