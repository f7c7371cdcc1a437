#include <gtest/gtest.h>

#include <csignal>

#include "sfx/terminal_ui.h"

namespace {

TEST(TerminalUi, CtrlCCancelsAtTheNextFileStart) {
    sfx::TerminalUi ui;
    bool cancelled_before_drain = false;
    bool cancelled = false;
    const sfx::Extraction extraction{
        [&] {
            std::raise(SIGINT);
            cancelled_before_drain = cancelled;
            ui.show_file("a.txt");
            return true;
        },
        [&] { cancelled = true; }};
    EXPECT_TRUE(ui.run_progress_dialog({"caption", "archive", "file", "Cancel"}, extraction));
    EXPECT_FALSE(cancelled_before_drain) << "the interrupt only records the request";
    EXPECT_TRUE(cancelled) << "the drain of the file start hands it on";
}

}  // namespace
