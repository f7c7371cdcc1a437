// Keeps a test program's settings (QSettings) in a scratch folder that is
// removed when the program ends, never in the tester's own configuration.
#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>

// Call before the application object is created.
inline void useScratchSettings() {
    static QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", folder.path().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("tapmora-test"));
    QCoreApplication::setApplicationName(QStringLiteral("tapmora-test"));
}

// QTEST_MAIN with scratch settings.
#define TAPMORA_TEST_MAIN(TestObject)           \
    int main(int argc, char **argv) {           \
        useScratchSettings();                   \
        QApplication application(argc, argv);   \
        TestObject test;                        \
        return QTest::qExec(&test, argc, argv); \
    }
