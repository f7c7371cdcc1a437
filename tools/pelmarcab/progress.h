// A progress bar on standard error for long runs: what is being worked on,
// bytes done of a total, the rate and the time left. It is drawn only on a
// terminal, redrawn at most every 100 ms and cleared when the run ends, so
// pipes, logs and -q runs never see it. It writes carriage returns and
// spaces only, no escape sequences.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace pelmarcab {

// One line of the bar in fewer than `width` columns: label (made printable
// and shortened from the left when needed), bar, percentage, bytes done and
// total, and, once time has passed, the rate and the time left.
std::string progress_line(std::string_view label, uint64_t done, uint64_t total, double seconds,
                          unsigned width);

class Progress {
public:
    using Clock = std::chrono::steady_clock;

    // A bar on standard error, drawn unless `quiet` or stderr is no terminal.
    static Progress on_stderr(std::string_view label, uint64_t total, bool quiet);

    // A bar drawn on `out` (nothing when null) in `width` columns, timed by
    // `now` (tests pass their own file and clock).
    Progress(std::FILE *out, unsigned width, std::string_view label, uint64_t total,
             std::function<Clock::time_point()> now = Clock::now);
    ~Progress() { finish(); }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // Counts `bytes` more as done and redraws when the last drawing is old
    // enough. Safe to call from several threads at once.
    void advance(uint64_t bytes);
    // Clears the bar's line; later calls to advance draw nothing.
    void finish();

private:
    void draw(Clock::time_point now);

    std::FILE *const out_;
    const unsigned width_;
    const std::string label_;
    const uint64_t total_;
    const std::function<Clock::time_point()> now_;
    const Clock::time_point start_;
    std::atomic<uint64_t> done_{0};
    std::mutex mutex_;  // guards what follows and the output
    Clock::time_point last_draw_;
    size_t drawn_length_ = 0;
    bool finished_ = false;
};

}  // namespace pelmarcab
