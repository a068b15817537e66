#include "progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string ProgressBar::render(const std::string& label, double fraction, int width) {
    fraction = std::min(1.0, std::max(0.0, fraction));
    const int filled = static_cast<int>(std::floor(fraction * width));
    std::string bar = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(std::floor(fraction * 100)));
    return bar + " " + percent + " " + label;
}

void ProgressBar::printLine(double fraction) {
    const int n = static_cast<int>(std::floor(std::min(1.0, std::max(0.0, fraction)) * 1000));
    if (n <= lastThousandths) return;
    lastThousandths = n;
    std::printf("progress %d 1000\n", n);
    std::fflush(stdout);
}

void ProgressBar::update(const std::string& label, double fraction) {
    if (machineLines) printLine(fraction);
    if (!enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown && now - lastDraw < std::chrono::milliseconds(100) && fraction < 1.0) return;
    lastDraw = now;
    shown = true;
    std::fprintf(stderr, "\r%s\033[K", render(label, fraction).c_str());
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!shown) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown = false;
}
