// CPU time of an idle viewer.
//
// The program as main builds it (format, application, main window at its own size), its
// instruction box closed, left alone after its first frame: nothing moves, nothing is pressed.
// For the given number of seconds (default 10) the process's CPU time (user + system, every
// thread, Mesa's rendering threads included) is taken from getrusage and printed as a share of
// one core, with the frames the view painted and the 20 ms ticks its timer delivered; then the
// same with the view made to paint on every tick, as a measure of what an idle frame costs.
//
// The settings read ../Data when the program starts, so run it from a folder one level below a
// data tree, under an X server (Xvfb when headless), for example on the generated tree:
//   cd build
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24" bench/bench_idle
#include "glwidget.h"
#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSurfaceFormat>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Runs the event loop for the given time and reports what the process spent meanwhile.
void measure(const char* label, GLWidget* view, int seconds) {
    const long long frames = view->framesPainted(), ticks = view->ticks();
    const double cpu = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double spent = cpuSeconds() - cpu;
    std::printf("%-28s CPU %6.2f s over %5.2f s wall = %5.1f %% of one core, %lld frames in "
                "%lld ticks\n",
                label, spent, elapsed, 100 * spent / elapsed, view->framesPainted() - frames,
                view->ticks() - ticks);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 10;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--seconds") == 0 && k + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++k]));
        } else {
            std::printf("usage: bench_idle [--seconds N]\n"
                        "Run from a folder one level below a data tree, under an X server.\n");
            return std::strcmp(argv[k], "--help") == 0 ? 0 : 2;
        }
    }

    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);

    // The constructor blocks in the modal instruction box; close it as soon as it is up.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
            poll.stop();
        }
    });
    poll.start(5);
    MainWindow window;
    GLWidget* view = window.view();
    QElapsedTimer wait;
    wait.start();
    while (view->framesPainted() == 0 && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (view->framesPainted() == 0) {
        std::fprintf(stderr, "bench_idle: the view never painted\n");
        return 1;
    }
    // Loading and the first frames are over after a second.
    QEventLoop settle;
    QTimer::singleShot(1000, &settle, &QEventLoop::quit);
    settle.exec();

    std::printf("# idle viewer, window %dx%d, view %dx%d, load average %s\n", window.width(),
                window.height(), static_cast<QWidget*>(view)->width(),
                static_cast<QWidget*>(view)->height(), loadAverage().c_str());
    measure("idle", view, seconds);
    view->setPaintEveryTick(true);
    measure("painting on every tick", view, seconds);
    return 0;
}
