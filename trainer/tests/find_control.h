// Finds a window's control by its object name; a missing control ends the
// test run at once, naming the control.
#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

template <class T>
T *control(QObject *window, const char *name) {
    auto *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found) qFatal("no control %s", name);
    return found;
}
