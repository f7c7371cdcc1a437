#include "sfx/terminal_ui.h"

#include <poll.h>
#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "sfx/platform.h"

namespace sfx {
namespace {

// Ctrl-C is noted in the signal-shared part of the platform state, the only
// state a handler may touch.
volatile std::sig_atomic_t &interrupted() { return platform::signal_shared()->interrupted; }

extern "C" void note_interrupt(int) {
    if (platform::SignalShared *shared = platform::signal_shared()) shared->interrupted = 1;
}

// While a question is open, Ctrl-C answers it as its Cancel button would.
// SIGINT is held back except while waiting for input (wait_for_answer), so
// it either ends that wait or is noted before it; it never kills the run.
class InterruptibleQuestion {
public:
    // Outside extraction an earlier Ctrl-C is forgotten; during it, a
    // pending one (a cancel request not yet handed on) answers at once.
    explicit InterruptibleQuestion(bool during_extraction) {
        if (!during_extraction) interrupted() = 0;
        struct sigaction action = {};
        action.sa_handler = note_interrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_action_);
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        pthread_sigmask(SIG_BLOCK, &interrupt, &previous_mask_);
    }
    ~InterruptibleQuestion() {
        // A Ctrl-C held back meanwhile arrives here, still only noted.
        pthread_sigmask(SIG_SETMASK, &previous_mask_, nullptr);
        sigaction(SIGINT, &previous_action_, nullptr);
    }
    InterruptibleQuestion(const InterruptibleQuestion &) = delete;
    InterruptibleQuestion &operator=(const InterruptibleQuestion &) = delete;

private:
    struct sigaction previous_action_ = {};
    sigset_t previous_mask_;
};

// Waits for input on `terminal` with SIGINT let through only meanwhile.
// False when Ctrl-C came first.
bool wait_for_answer(std::FILE *terminal) {
    sigset_t waiting;
    pthread_sigmask(SIG_SETMASK, nullptr, &waiting);
    sigdelset(&waiting, SIGINT);
    pollfd input{fileno(terminal), POLLIN, 0};
    while (!interrupted()) {
        if (ppoll(&input, 1, nullptr, &waiting) > 0 || errno != EINTR) return true;
    }
    return false;
}

// How a text is shown: names, paths and captions show every control
// character; message texts keep their line breaks; control texts lose their
// access-key markers ("&").
enum class Shown { Plain, Message, Control };

// The text (UTF-8) as the terminal shows it, in the locale's character set
// and with no control character left to act on the terminal.
std::string printable(const std::string &text, Shown kind = Shown::Plain) {
    std::string kept;
    for (char c : text) {
        if ((kind == Shown::Message && c == '\r') || (kind == Shown::Control && c == '&')) continue;
        kept += c;
    }
    return platform::utf8_shown_in_locale(platform::visible_controls(kept, kind == Shown::Message));
}

struct Question {
    const char *choices;  // shown after the text
    int safe_answer;      // without a terminal or at end of input
};

Question question_for(uint32_t style) {
    switch (style & SFX_MB_BUTTONS_MASK) {
        case SFX_MB_OKCANCEL: return {"[o]k/[c]ancel", SFX_IDCANCEL};
        case SFX_MB_YESNOCANCEL: return {"[y]es/[n]o/[c]ancel", SFX_IDCANCEL};
        case SFX_MB_YESNO: return {"[y]es/[n]o", SFX_IDNO};
        default: return {nullptr, SFX_IDOK};
    }
}

// The button an answer names, or 0 when it names none of the style's.
int button_for(uint32_t style, char answer) {
    const uint32_t buttons = style & SFX_MB_BUTTONS_MASK;
    switch (answer) {
        case 'y':
        case 'Y': return buttons == SFX_MB_YESNO || buttons == SFX_MB_YESNOCANCEL ? SFX_IDYES : 0;
        case 'n':
        case 'N': return buttons == SFX_MB_YESNO || buttons == SFX_MB_YESNOCANCEL ? SFX_IDNO : 0;
        case 'o':
        case 'O': return buttons == SFX_MB_OKCANCEL ? SFX_IDOK : 0;
        case 'c':
        case 'C':
            return buttons == SFX_MB_OKCANCEL || buttons == SFX_MB_YESNOCANCEL ? SFX_IDCANCEL : 0;
        default: return 0;
    }
}

}  // namespace

TerminalUi::TerminalUi()
    : terminal_(std::fopen("/dev/tty", "r+e")), show_progress_(platform::terminal_attached()) {}

TerminalUi::~TerminalUi() {
    if (terminal_ != nullptr) std::fclose(terminal_);
}

bool TerminalUi::read_answer(std::string &line) {
    if (terminal_ == nullptr || !wait_for_answer(terminal_)) return false;
    char buffer[1024];
    if (std::fgets(buffer, sizeof buffer, terminal_) == nullptr) return false;
    line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return true;
}

void TerminalUi::clear_progress_line() {
    if (progress_drawn_) std::fputs("\r\033[K", stderr);
    progress_drawn_ = false;
}

int TerminalUi::message_box(uint32_t style, const std::string &caption, const std::string &text,
                            MessageOwner) {
    clear_progress_line();
    std::fprintf(stderr, "%s: %s\n", printable(caption).c_str(),
                 printable(text, Shown::Message).c_str());
    const Question question = question_for(style);
    if (question.choices == nullptr) return SFX_IDOK;
    const InterruptibleQuestion interruptible(extraction_ != nullptr);
    for (;;) {
        std::fprintf(stderr, "%s ", question.choices);
        std::fflush(stderr);
        std::string line;
        if (!read_answer(line)) {
            std::fputc('\n', stderr);
            return question.safe_answer;
        }
        const int button = line.empty() ? 0 : button_for(style, line[0]);
        if (button != 0) return button;
    }
}

bool TerminalUi::run_destination_dialog(DestinationDialog &dialog) {
    const InterruptibleQuestion interruptible(false);
    std::fprintf(stderr, "%s\n", printable(dialog.caption).c_str());
    for (;;) {
        std::fprintf(stderr, "%s [%s] ", printable(dialog.label, Shown::Control).c_str(),
                     printable(dialog.folder).c_str());
        std::fflush(stderr);
        std::string line;
        if (!read_answer(line)) {
            std::fputc('\n', stderr);
            return false;
        }
        const std::string folder =
            line.empty() ? dialog.folder : platform::locale_shown_in_utf8(line);
        if (dialog.confirm(folder)) {
            dialog.folder = folder;
            return true;
        }
    }
}

std::optional<std::string> TerminalUi::browse_for_folder(const std::string &, const std::string &) {
    return std::nullopt;  // a terminal has no folder browser; the folder is typed
}

bool TerminalUi::run_progress_dialog(const ProgressDialog &dialog, const Extraction &extraction) {
    std::fprintf(stderr, "%s\n", printable(dialog.caption).c_str());
    struct sigaction action = {};
    struct sigaction previous = {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    interrupted() = 0;
    sigaction(SIGINT, &action, &previous);
    extraction_ = &extraction;
    const bool result = extraction.run();
    extraction_ = nullptr;
    sigaction(SIGINT, &previous, nullptr);
    clear_progress_line();
    return result;
}

void TerminalUi::show_archive(const std::string &text) {
    clear_progress_line();
    std::fprintf(stderr, "%s\n", printable(text).c_str());
}

void TerminalUi::show_file(const std::string &text) {
    clear_progress_line();
    std::fprintf(stderr, "  %s\n", printable(text).c_str());
    last_percent_ = -1;
    // Ctrl-C works like the dialog's Cancel button: it is handled here, at a
    // file start, and stops the run at the next one.
    if (interrupted() && extraction_ != nullptr) {
        interrupted() = 0;
        extraction_->cancel();
    }
}

void TerminalUi::show_progress(uint64_t written, uint64_t total) {
    if (!show_progress_ || total == 0) return;
    const int percent = static_cast<int>(written >= total ? 100 : written * 100 / total);
    if (percent == last_percent_) return;
    last_percent_ = percent;
    std::fprintf(stderr, "\r\033[K  %3d%% (%llu of %llu bytes)", percent,
                 static_cast<unsigned long long>(written), static_cast<unsigned long long>(total));
    std::fflush(stderr);
    progress_drawn_ = true;
}

}  // namespace sfx
