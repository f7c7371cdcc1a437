// The progress bar's line and when it is drawn, on a file and a fake clock.
#include "tools/pelmarcab/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

using pelmarcab::Progress;
using pelmarcab::progress_line;
using namespace std::chrono_literals;

constexpr uint64_t kMiB = 1024 * 1024;

TEST(ProgressLine, ShowsShareBytesRateAndTimeLeft) {
    const std::string line = progress_line("a.cab", 50 * kMiB, 100 * kMiB, 10.0, 100);
    EXPECT_EQ(line.rfind("a.cab  [", 0), 0u) << line;
    EXPECT_NE(line.find("[" + std::string(20, '#') + "."), std::string::npos) << line;
    EXPECT_NE(line.find(" 50%  50.0 MiB of 100.0 MiB  5.0 MiB/s  0:10 left"), std::string::npos)
        << line;
    EXPECT_EQ(line.size(), 99u) << "fills the width but its last column";

    const std::string start = progress_line("a.cab", 0, 100 * kMiB, 0.0, 100);
    EXPECT_EQ(start.find("/s"), std::string::npos) << "no rate before anything is done";
    const std::string done = progress_line("a.cab", 100 * kMiB, 100 * kMiB, 20.0, 100);
    EXPECT_NE(done.find("100%"), std::string::npos) << done;
    EXPECT_EQ(done.find("left"), std::string::npos) << done;
    EXPECT_NE(progress_line("x", 0, 0, 1.0, 80).find("100%"), std::string::npos)
        << "an empty job is complete";
}

TEST(ProgressLine, NeverWiderThanTheTerminalAndKeepsTheNamesEnd) {
    const std::string name = "/very/long/directory/" + std::string(200, 'd') + "/表.cab";
    for (unsigned width : {0u, 1u, 10u, 40u, 80u, 300u}) {
        const std::string line = progress_line(name, 3 * kMiB, 7 * kMiB, 2.0, width);
        EXPECT_LT(line.size(), std::max(width, 1u)) << width << ": " << line;
    }
    const std::string line = progress_line(name, 3 * kMiB, 7 * kMiB, 2.0, 120);
    EXPECT_EQ(line.rfind("...d", 0), 0u) << line;
    EXPECT_NE(line.find("d/表.cab  ["), std::string::npos) << line;
}

TEST(ProgressLine, ControlCharactersInTheLabelAreEscaped) {
    const std::string line = progress_line("a\x1b[2J\rb.cab", 1, 2, 1.0, 100);
    EXPECT_NE(line.find("a\\x1b[2J\\x0db.cab"), std::string::npos) << line;
}

class ProgressDrawing : public ::testing::Test {
protected:
    std::string written() {
        std::fflush(file.get());
        std::rewind(file.get());
        std::string text;
        for (int c; (c = std::fgetc(file.get())) != EOF;) text += static_cast<char>(c);
        std::rewind(file.get());
        return text;
    }
    std::unique_ptr<Progress> bar(std::FILE *out) {
        return std::make_unique<Progress>(out, 80, "x.cab", 1000, [this] { return now; });
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file{std::tmpfile(), std::fclose};
    Progress::Clock::time_point now{};
};

TEST_F(ProgressDrawing, RedrawsAtMostEveryTenthOfASecond) {
    auto progress = bar(file.get());
    progress->advance(100);
    EXPECT_EQ(written(), "") << "nothing for runs shorter than the interval";
    now += 100ms;
    progress->advance(100);
    const std::string first = written();
    EXPECT_EQ(first.rfind("\rx.cab  [", 0), 0u) << first;
    EXPECT_NE(first.find(" 20% "), std::string::npos) << first;
    now += 50ms;
    progress->advance(100);
    EXPECT_EQ(written(), first) << "not redrawn within the interval";
    now += 50ms;
    progress->advance(100);
    EXPECT_NE(written().find(" 40% "), std::string::npos) << written();
}

TEST_F(ProgressDrawing, FinishingClearsTheLineOnceAndStopsDrawing) {
    auto progress = bar(file.get());
    now += 1s;
    progress->advance(500);
    const size_t drawn = written().size() - 1;  // without the leading carriage return
    progress->finish();
    const std::string text = written();
    EXPECT_EQ(text.substr(text.size() - drawn - 2), "\r" + std::string(drawn, ' ') + "\r");
    now += 1s;
    progress->advance(500);
    progress.reset();
    EXPECT_EQ(written(), text) << "nothing after the line is cleared";
}

TEST_F(ProgressDrawing, NothingIsWrittenWithoutATerminalOrWhenNothingWasDrawn) {
    auto silent = bar(nullptr);
    now += 1s;
    silent->advance(1000);
    silent.reset();
    auto brief = bar(file.get());
    brief->advance(1000);
    brief.reset();
    EXPECT_EQ(written(), "");
}

}  // namespace
