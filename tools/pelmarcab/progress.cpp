#include "tools/pelmarcab/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "tools/pelmarcab/terminal.h"

namespace pelmarcab {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr unsigned kDefaultWidth = 80;
constexpr size_t kShortestBar = 10;

std::string format(const char *pattern, double value, const char *unit) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value, unit);
    return text;
}

std::string human_bytes(double bytes) {
    static constexpr const char *kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < std::size(kUnits)) bytes /= 1024, ++unit;
    return format(unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
}

std::string clock_time(double seconds) {
    const auto s = static_cast<unsigned long>(std::min(seconds, 359999.0));
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lu:%02lu", s / 60, s % 60);
    return text;
}

// The end of `text` in at most `room` bytes, led by "..." when cut, never
// starting inside a UTF-8 sequence.
std::string tail(const std::string &text, size_t room) {
    if (text.size() <= room) return text;
    if (room <= 3) return std::string(room, '.');
    size_t from = text.size() - (room - 3);
    while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) ++from;
    return "..." + text.substr(from);
}

unsigned terminal_width(std::FILE *out) {
    winsize size{};
    if (::ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultWidth;
}

}  // namespace

std::string progress_line(std::string_view label, uint64_t done, uint64_t total, double seconds,
                          unsigned width) {
    const double fraction = total == 0 ? 1.0 : std::min(1.0, double(done) / double(total));
    std::string numbers = format(" %3.0f%s", std::floor(fraction * 100), "%") + "  " +
                          human_bytes(double(done)) + " of " + human_bytes(double(total));
    if (seconds > 0 && done > 0) {
        const double rate = double(done) / seconds;
        numbers += "  " + human_bytes(rate) + "/s";
        if (done < total) numbers += "  " + clock_time(double(total - done) / rate) + " left";
    }
    // One column stays free: writing the last one makes some terminals wrap.
    const size_t columns = width > 0 ? width - 1 : 0;
    const size_t fixed = numbers.size() + 4;  // two spaces and the brackets
    const std::string name = printable(label);
    const size_t bar = std::max(kShortestBar, columns - std::min(columns, fixed + name.size()));
    const size_t room = columns - std::min(columns, fixed + bar);
    const auto filled = static_cast<size_t>(fraction * double(bar));
    std::string line = tail(name, room) + "  [" + std::string(filled, '#') +
                       std::string(bar - filled, '.') + "]" + numbers;
    if (line.size() > columns) line.resize(columns);
    return line;
}

Progress Progress::on_stderr(std::string_view label, uint64_t total, bool quiet) {
    const bool draw = !quiet && ::isatty(STDERR_FILENO);
    return Progress(draw ? stderr : nullptr, draw ? terminal_width(stderr) : 0, label, total);
}

Progress::Progress(std::FILE *out, unsigned width, std::string_view label, uint64_t total,
                   std::function<Clock::time_point()> now)
    : out_(out),
      width_(width),
      label_(label),
      total_(total),
      now_(std::move(now)),
      start_(now_()),
      last_draw_(start_) {}

void Progress::advance(uint64_t bytes) {
    done_ += bytes;
    if (!out_) return;
    // A thread that finds another one drawing leaves the drawing to it.
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock || finished_) return;
    const auto now = now_();
    if (now - last_draw_ >= kRedrawInterval) draw(now);
}

void Progress::draw(Clock::time_point now) {
    last_draw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = progress_line(label_, done_.load(), total_, seconds, width_);
    const size_t length = line.size();
    if (length < drawn_length_) line.append(drawn_length_ - length, ' ');
    std::fprintf(out_, "\r%s", line.c_str());
    std::fflush(out_);
    drawn_length_ = length;
}

void Progress::finish() {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    if (!out_ || drawn_length_ == 0) return;
    std::fprintf(out_, "\r%s\r", std::string(drawn_length_, ' ').c_str());
    std::fflush(out_);
}

}  // namespace pelmarcab
