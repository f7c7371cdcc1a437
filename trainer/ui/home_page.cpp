#include "trainer/ui/home_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

namespace tapmora {

QString helpPageAddress() {
    // The help page lies at the same place relative to the program in the
    // build tree (bin/ and share/ under the build folder) as where it is
    // installed, so it is looked up from the folder of the running program
    // (symbolic links resolved) rather than from a path fixed at build time:
    // an installed or moved trainer finds the copy that came with it.
    const QString page = QDir(QCoreApplication::applicationDirPath())
                             .filePath(QStringLiteral(TAPMORA_HELP_FROM_PROGRAM "/index.html"));
    return QUrl::fromLocalFile(QDir::cleanPath(page)).toString();
}

QString homePageAddress() {
    const QString configured = QStringLiteral(TAPMORA_HOME_PAGE);
    return configured.isEmpty() ? helpPageAddress() : configured;
}

}  // namespace tapmora
