// Runs code in a child process of its own session, as a user runs a
// program: at a terminal of its own, or with no terminal at all. The tests
// of the installer, its end-to-end runs and those of the shipped installers
// share it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sfxtest {

struct Outcome {
    int exit_code = -1;  // -1 when the child did not exit normally
    std::string output;  // what the child wrote to standard output and error
};

// Keys typed once `prompt` has appeared in the output, byte for byte: a
// line ends with "\n", and "\x03" alone is a Ctrl-C.
struct TypedAnswer {
    std::string prompt;
    std::string keys;
};

// Runs `child` (which may exec another program; returning exits with 0) at
// a new pseudo-terminal that is its controlling terminal and its standard
// input, output and error, and types the answers in order. Echo and output
// processing are off, so the output holds exactly the bytes the child wrote
// and the child reads exactly what is typed (a Ctrl-C still raises SIGINT).
Outcome run_on_terminal(const std::function<void()> &child,
                        const std::vector<TypedAnswer> &answers = {});

// Runs `child` without a controlling terminal: standard input is /dev/null,
// standard output and error go to the outcome.
Outcome run_without_terminal(const std::function<void()> &child);

// Replaces the child with the program at `path`, given `arguments` (its name
// first); exit code 127 when it cannot be started.
[[noreturn]] void exec_program(const std::string &path, const std::vector<std::string> &arguments);

}  // namespace sfxtest
