// What leads from the main window to the history: a View menu with the
// statistics window, and a mark in the menu bar's corner while the history
// cannot be written. The window's own controls and size stay as they are.
#pragma once

class QMainWindow;

namespace tapmora {

class TrainerApp;

// Puts the View menu before the Help menu (mnuhelp) of `window`.
void addHistoryControls(QMainWindow &window, TrainerApp &app);

}  // namespace tapmora
