#include <gtest/gtest.h>

#include <csignal>

#include "sfx/platform.h"
#include "sfx/terminal_ui.h"
#include "sfx/tests/child_process.h"
#include "sfx/tests/installer_fixture.h"

namespace sfxtest {
namespace {

// The front end keeps its code page and Ctrl-C flag in the bound session.
using TerminalUi = SessionTest;

TEST_F(TerminalUi, CtrlCCancelsAtTheNextFileStart) {
    sfx::TerminalUi ui;
    bool cancelled_before_drain = false;
    bool cancelled = false;
    const sfx::Extraction extraction{[&] {
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

// What a terminal would act on: C0 controls other than the line feed, DEL
// and C1 controls (U+0080-U+009F, as UTF-8 or as a lone byte).
bool holds_commands(const std::string &output) {
    for (size_t i = 0; i < output.size(); ++i) {
        const auto byte = static_cast<unsigned char>(output[i]);
        if ((byte < 0x20 && byte != '\n') || (byte >= 0x7F && byte <= 0x9F)) return true;
        if (byte == 0xC2 && i + 1 < output.size() &&
            static_cast<unsigned char>(output[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

// Every line the terminal front end prints from a name, a path, a payload
// text or a message: escape sequences, bells, line breaks and C1 controls in
// them arrive in caret notation, never as commands or forged lines.
TEST_F(TerminalUi, ControlCharactersReachTheTerminalVisible) {
    const Outcome outcome = run_on_terminal(
        [] {
            sfx::TerminalUi ui;
            ui.message_box(sfx::SFX_MB_OK, "cap\x1b]0;title\x07",
                           "line one\r\nname \x1b[2J\xc2\x9b"
                           "1m\x9d",
                           sfx::MessageOwner::None);
            sfx::DestinationDialog dialog;
            dialog.caption = "dialog\x1b[H";
            dialog.label = "label\x7f(&T):";
            dialog.folder = "/tmp/out\x1b[31m";
            dialog.confirm = [](const std::string &) { return true; };
            ui.run_destination_dialog(dialog);
            const sfx::Extraction extraction{
                [&ui] {
                    ui.show_archive("/cab\x1b[8m");
                    ui.show_file("a\rPelmar Self Decompression: forged\n");
                    return true;
                },
                [] {}};
            ui.run_progress_dialog({"progress\x1b"
                                    "c",
                                    "archive", "file", "Cancel"},
                                   extraction);
        },
        {{"] ", "\n"}});
    ASSERT_EQ(outcome.exit_code, 0);
    EXPECT_FALSE(holds_commands(outcome.output)) << outcome.output;
    for (const char *shown : {"cap^[]0;title^G: line one\nname ^[[2J^[[1m^[]\n", "dialog^[[H\n",
                              "label^?(T): [/tmp/out^[[31m] ", "progress^[c\n", "/cab^[[8m\n",
                              "  a^MPelmar Self Decompression: forged^J\n"}) {
        EXPECT_NE(outcome.output.find(shown), std::string::npos) << shown << " in\n"
                                                                 << outcome.output;
    }
}

// In a Shift-JIS locale the terminal speaks code page 932: texts go out
// converted, typed folders come in as UTF-8.
TEST_F(TerminalUi, AShiftJisTerminalGetsAndGivesShiftJis) {
    const Outcome outcome = run_on_terminal(
        [] {
            sfx::platform::set_code_page(sfx::platform::CodePage::ShiftJis);
            sfx::TerminalUi ui;
            ui.message_box(sfx::SFX_MB_OK, "Pelmar自己解凍", "解凍に成功しました.",
                           sfx::MessageOwner::None);
            sfx::DestinationDialog dialog;
            dialog.caption = "CABの自己解凍";
            dialog.label = "解凍先フォルダ(&T):";
            dialog.confirm = [](const std::string &folder) {
                std::fprintf(stderr, "<%s>\n", folder == "out十" ? "utf-8" : "not utf-8");
                return true;
            };
            ui.run_destination_dialog(dialog);
        },
        {{"] ", "out\x8F\x5C\n"}});
    ASSERT_EQ(outcome.exit_code, 0);
    EXPECT_NE(outcome.output.find(
                  "Pelmar\x8E\xA9\x8C\xC8\x89\xF0\x93\x80: "
                  "\x89\xF0\x93\x80\x82\xC9\x90\xAC\x8C\xF7\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("CAB\x82\xCC\x8E\xA9\x8C\xC8\x89\xF0\x93\x80\n"),
              std::string::npos);
    EXPECT_NE(
        outcome.output.find("\x89\xF0\x93\x80\x90\xE6\x83\x74\x83\x48\x83\x8B\x83\x5F(T): [] "),
        std::string::npos);
    EXPECT_NE(outcome.output.find("<utf-8>"), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("解凍"), std::string::npos) << "no UTF-8 on the terminal";
}

}  // namespace
}  // namespace sfxtest
