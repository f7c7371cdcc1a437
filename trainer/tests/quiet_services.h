// Desktop services that do nothing, for tests that drive the windows but
// do not count beeps, messages or quits.
#pragma once

#include "trainer/ui/services.h"

inline tapmora::Services quietServices(tapmora::RandomSource &random) {
    tapmora::Services services;
    services.beep = [] {};
    services.message = [](QWidget *, const QString &, const QString &, QMessageBox::Icon) {};
    services.openUrl = [](const QUrl &) {};
    services.quit = [] {};
    services.random = &random;
    return services;
}
