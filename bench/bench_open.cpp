// Opening a user's mesh in the running viewer, with the real baker in its child process.
//
// Printed, wall and CPU time (the viewer's own CPU; the baker's is given apart):
//   first frame    from openFiles (the file chosen) to the first frame drawn with the new model
//   nudging ready  from openFiles to the baked maps loaded into the view
//   reopen         opening the same file again (its maps are in the tree) to the frame drawn with
//                  the model and its maps, ready to nudge
//   drag frames    time from each mouse move of a drag to the frame that follows it, median and
//                  90th percentile, without a bake and while a bake runs
//
// Usage (from a folder one level below a data tree, as every program of the library, under an X
// server):
//   cd build/tests/fixture/run
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24"
//       ../../../bench/bench_open ../../../bake/orvalis-bake MESH [UP]
// MESH is best a real model such as CGAL's bunny00.off (75,408 triangles, up axis y).
#include "../tests/mesh_util.h"
#include "DataDir.h"
#include "RenderingSetting.h"
#include "dialog.h"
#include "glwidget.h"
#include "mainwindow.h"
#include "meshOpener.h"
#include "openController.h"
#include "textureManager.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QProcess>
#include <QSurfaceFormat>
#include <QTabWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double childCpuMs() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

bool waitFor(const std::function<bool()>& ready, int ms) {
    QElapsedTimer clock;
    clock.start();
    // Waiting for events, not spinning: a busy loop here would take a core from the baker.
    while (!ready() && clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return ready();
}

void waitFrame(GLWidget* view) {
    const long long frames = view->framesPainted();
    view->update();
    waitFor([&] { return view->framesPainted() > frames; }, 10000);
}

bool mapsAreBaked() {
    const textureManager& maps = textureManager::_instance;
    if (!maps.mapData) return false;
    for (int c = 0; c < maps.mapWidth * maps.mapHeight; ++c)
        if (maps.mapData[3 * c] != 0) return true;
    return false;
}

struct Span {
    QElapsedTimer wall;
    double cpu0 = cpuMs(), child0 = childCpuMs();
    Span() { wall.start(); }
    void print(const char* what) const {
        std::printf("%-14s %8.1f ms wall  %8.1f ms viewer CPU  %8.1f ms baker CPU\n", what,
                    wall.nsecsElapsed() / 1e6, cpuMs() - cpu0, childCpuMs() - child0);
        std::fflush(stdout);
    }
};

void send(QWidget* w, QEvent::Type type, QPoint p) {
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
    QApplication::sendEvent(w, &e);
}

// Milliseconds from each move of a back-and-forth drag to the frame drawn after it.
std::vector<double> dragFrames(GLWidget* view, int moves) {
    std::vector<double> times;
    send(view, QEvent::MouseButtonPress, {200, 240});
    for (int k = 1; k <= moves; ++k) {
        const long long frames = view->framesPainted();
        QElapsedTimer t;
        t.start();
        send(view, QEvent::MouseMove, {200 + 4 * (k % 40 < 20 ? k % 20 : 20 - k % 20), 240});
        waitFor([&] { return view->framesPainted() > frames; }, 10000);
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    send(view, QEvent::MouseButtonRelease, {200, 240});
    RenderingSetting::_instance.throwing = false;
    return times;
}

void printFrames(const char* what, std::vector<double> t) {
    std::sort(t.begin(), t.end());
    std::printf("%-22s median %6.1f ms  p90 %6.1f ms  (%zu moves)\n", what, t[t.size() / 2],
                t[t.size() * 9 / 10], t.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_open BAKER MESH [UP]\n");
        return 2;
    }
    const QString baker = argv[1], mesh = fs::absolute(argv[2]).c_str();
    const QString up = argc > 3 ? argv[3] : "y";
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    qputenv("ORVALIS_BAKE", baker.toLocal8Bit());
    if (std::ifstream load("/proc/loadavg"); load) {
        std::string line;
        std::getline(load, line);
        std::printf("load average at start: %s\n", line.c_str());
    }

    char pattern[] = "/tmp/orvalis-bench-open-XXXXXX";
    const fs::path tree = mkdtemp(pattern);
    makeUserTree(tree);
    std::ofstream(tree / "seed.obj") << meshtest::lumpText("obj", 0.3);
    QProcess::execute(baker, {"--root", tree.c_str(), "--quiet", (tree / "seed.obj").c_str()});
    setDataRoot(tree);
    RenderingSetting::_instance.readLists();

    MainWindow window(false);
    GLWidget* view = window.view();
    OpenController* opener = window.opener();
    waitFrame(view);
    window.tabs()->setCurrentIndex(1);
    waitFrame(view);

    {
        Span span;
        long long frames = view->framesPainted();
        opener->openFiles({mesh}, up);
        waitFor([&] { return view->framesPainted() > frames; }, 10000);
        span.print("first frame");
        waitFor([&] { return !opener->baking(); }, 600000);
        waitFrame(view);
        span.print("nudging ready");
        if (!mapsAreBaked()) std::printf("(the maps did not arrive)\n");
    }

    window.trackballPanel()->modelBox()->setCurrentIndex(0);
    waitFrame(view);
    {
        Span span;
        opener->openFiles({mesh}, up);
        waitFrame(view);
        span.print("reopen");
        std::printf("reopen baked again: %s, maps: %s\n", opener->baking() ? "yes" : "no",
                    mapsAreBaked() ? "baked" : "flat");
    }

    printFrames("drag, no bake", dragFrames(view, 200));
    const fs::path changed = tree / ("changed." + fs::path(argv[2]).extension().string().substr(1));
    fs::copy_file(argv[2], changed);
    std::ofstream(changed, std::ios::app) << "\n";
    opener->openFiles({QString(changed.c_str())}, up);
    waitFor([&] { return RenderingSetting::_instance.modelChanged == false; }, 5000);
    waitFrame(view);
    printFrames("drag, during a bake", dragFrames(view, 200));
    std::printf("bake still running at the end of the drag: %s\n", opener->baking() ? "yes" : "no");
    waitFor([&] { return !opener->baking(); }, 600000);
    fs::remove_all(tree);
    return 0;
}
