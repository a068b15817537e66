#pragma once
#include <chrono>
#include <string>

// A one-line progress bar on standard error, redrawn at most ten times a second, shown only when
// enabled (the baker enables it when standard error is a terminal and --quiet is not given).
class ProgressBar {
public:
    // lines: also print "progress N 1000" on standard output whenever N, the thousandths done,
    // grows, so that a program running the baker can follow it.
    explicit ProgressBar(bool show, bool lines = false) : enabled(show), machineLines(lines) {}
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // label: what is being done; fraction: 0..1 of the whole task.
    void update(const std::string& label, double fraction);
    // Clears the bar's line.
    void finish();

    // The text of the bar for a label and a fraction, without the line control characters.
    static std::string render(const std::string& label, double fraction, int width = 30);

private:
    void printLine(double fraction);

    bool enabled;
    bool machineLines;
    int lastThousandths = -1;
    bool shown = false;
    std::chrono::steady_clock::time_point lastDraw{};
};
