// Runs code in a child process that sits at a terminal of its own: a new
// pseudo-terminal is its controlling terminal and its standard input, output
// and error. Echo and output processing are off, so the test reads exactly
// the bytes the child wrote, and the child reads exactly what is typed.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sfxtest {

struct TerminalOutcome {
    int exit_code = -1;  // -1 when the child did not exit normally
    std::string output;
};

// A line typed once `prompt` has appeared in the output.
struct TypedAnswer {
    std::string prompt;
    std::string line;
};

// Runs `child` (which may exec another program; returning exits with 0) and
// types the answers in order. Gives up waiting after 20 seconds.
TerminalOutcome run_on_terminal(const std::function<void()> &child, const std::vector<TypedAnswer> &answers = {});

}  // namespace sfxtest
