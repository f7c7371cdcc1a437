// The desktop services the windows use, replaceable so tests can count
// beeps and messages and script the random draws.
#pragma once

#include <functional>

#include <QMessageBox>
#include <QString>
#include <QUrl>

#include "trainer/model/random.h"

class QWidget;

namespace tapmora {

class Beeper;
class HistoryStore;

struct Services {
    // The drill's beep, one per call.
    std::function<void()> beep;
    // A modal message box with a single OK button.
    std::function<void(QWidget *owner, const QString &title, const QString &text,
                       QMessageBox::Icon icon)>
        message;
    // Opens an address with the desktop's handler; failures are not reported.
    std::function<void(const QUrl &)> openUrl;
    // Ends the program at once, whatever windows are open.
    std::function<void()> quit;
    // Asks where to save a file; empty when the learner cancels.
    std::function<QString(QWidget *owner, const QString &title, const QString &suggested,
                          const QString &filter)>
        saveFileName;
    RandomSource *random = nullptr;
    // Where judged keys are recorded; none in tests that do not look at it.
    HistoryStore *history = nullptr;
    // What makes the beeps, for the mute item; none in tests that do not
    // look at it.
    Beeper *sound = nullptr;
};

// The real desktop: the platform alert, message boxes, the URL handler and
// leaving the event loop at once, with the time-of-day random source. The
// program routes the beeps through a Beeper instead of the bare alert.
Services desktopServices(RandomSource &random);

}  // namespace tapmora
