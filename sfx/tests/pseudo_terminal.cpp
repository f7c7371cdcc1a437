#include "sfx/tests/pseudo_terminal.h"

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <cstdio>

namespace sfxtest {
namespace {

// Reads the master side into `seen` until `wanted` appears, or, with
// `wanted` empty, until the child's side is closed.
void read_until(int fd, std::string &seen, const std::string &wanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (wanted.empty() || seen.find(wanted) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return;
        char buffer[4096];
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) return;  // EIO: every descriptor of the child's side is closed
        seen.append(buffer, static_cast<size_t>(count));
    }
}

}  // namespace

TerminalOutcome run_on_terminal(const std::function<void()> &child, const std::vector<TypedAnswer> &answers) {
    TerminalOutcome outcome;
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return outcome;
    termios mode = {};
    tcgetattr(slave, &mode);
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tcsetattr(slave, TCSANOW, &mode);
    const pid_t pid = fork();
    if (pid == 0) {
        close(master);
        if (login_tty(slave) != 0) _exit(126);
        child();
        std::fflush(nullptr);
        _exit(0);
    }
    close(slave);
    for (const TypedAnswer &answer : answers) {
        read_until(master, outcome.output, answer.prompt);
        const std::string typed = answer.line + "\n";
        if (write(master, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) break;
    }
    read_until(master, outcome.output, "");
    close(master);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
    return outcome;
}

}  // namespace sfxtest
