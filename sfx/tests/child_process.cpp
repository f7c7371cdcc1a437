#include "sfx/tests/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <cstdio>
#include <utility>

namespace sfxtest {
namespace {

// Reads from `fd` into `seen` until `wanted` appears, or, with `wanted`
// empty, until the child's side is closed. Gives up after 20 seconds.
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
        if (count <= 0)
            return;  // a terminal reports EIO once every descriptor of the child's side is closed
        seen.append(buffer, static_cast<size_t>(count));
    }
}

[[noreturn]] void run_child(const std::function<void()> &child) {
    child();
    std::fflush(nullptr);
    _exit(0);
}

// Collects the output to its end and waits for the child.
Outcome finish(pid_t pid, int fd, Outcome outcome) {
    read_until(fd, outcome.output, "");
    close(fd);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        outcome.exit_code = WEXITSTATUS(status);
    return outcome;
}

}  // namespace

Outcome run_on_terminal(const std::function<void()> &child,
                        const std::vector<TypedAnswer> &answers) {
    Outcome outcome;
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
        run_child(child);
    }
    close(slave);
    for (const TypedAnswer &answer : answers) {
        read_until(master, outcome.output, answer.prompt);
        const std::string &keys = answer.keys;
        if (write(master, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) break;
    }
    return finish(pid, master, std::move(outcome));
}

Outcome run_without_terminal(const std::function<void()> &child) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        close(fds[0]);
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[1]);
        const int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, STDIN_FILENO);
        if (nothing > STDERR_FILENO) close(nothing);
        run_child(child);
    }
    close(fds[1]);
    return finish(pid, fds[0], {});
}

void exec_program(const std::string &path, const std::vector<std::string> &arguments) {
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
}

}  // namespace sfxtest
