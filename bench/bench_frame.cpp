// Frame time of the view and start-up time of the program.
//
// Frame times: the real view (GLWidget, 950 x 480, two 475 x 475 squares) paints the given meshes
// in the left square with the view sphere and its goodness texture in the right one. Printed,
// as medians over many frames, in milliseconds:
//   frame      the whole paint handler (both views, overlays), waited for with glFinish
//   window     a whole repaint of the window: the paint handler, the compose and the swap
//   submit     the paint handler without waiting: the CPU work of submitting the frame
//   model      the renderer's drawScene of the model alone (its buffered route)
//   immediate  the same corner by corner (glBegin/glEnd)
//   list       the same from a display list compiled once
//   vbo        the floor: a plain vertex-buffer draw of the same triangles (one array per corner)
//   indexed    a plain indexed vertex-buffer draw (shared vertices)
// and the ratio model / min(vbo, indexed) against the goal of at most 1.1.
//
// Start-up (--startup): from fork and exec of a program that does what main does (format,
// application, main window) until the view has painted its first frame; the instruction box is
// left open, as it is at that moment for a user. An empty QOpenGLWidget window is measured the
// same way for comparison.
//
// The settings read ../Data when the program starts, so run it from a folder one level below a
// data tree, under an X server (Xvfb when headless), for example from the build folder:
//   cd build/tests/fixture/run
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24" ../../../bench/bench_frame
//   MESH... LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24"
//   ../../../bench/bench_frame --startup
#include "Geometry.h"
#include "extTrackball.h"
#include "geometryRenderer.h"
#include "glwidget.h"
#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVBoxLayout>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void useCompatibilityFormat() {
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
}

// The real view with its paint handler timed.
class TimedView : public GLWidget {
public:
    bool waitForGl = true;
    std::vector<double> paintMs;

protected:
    void paintGL() override {
        const auto t0 = Clock::now();
        GLWidget::paintGL();
        if (waitForGl) glFinish();
        paintMs.push_back(msSince(t0));
    }
};

// The left square's state as the paint handler sets it before drawing the model.
void leftViewState() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 5, 475, 475);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    camera::_instance.setupCamera();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ExtTrackball::_instance.rotate();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    glFinish();
}

// Median times of each draw followed by glFinish. The draws take turns, one frame each, so
// that every one sees the same load of a shared machine.
std::vector<double> timeDraws(int frames, const std::vector<std::function<void()>>& draws) {
    std::vector<std::vector<double>> ms(draws.size());
    for (int k = 0; k < frames + 3; ++k)
        for (size_t d = 0; d < draws.size(); ++d) {
            leftViewState();
            const auto t0 = Clock::now();
            draws[d]();
            glFinish();
            if (k >= 3) ms[d].push_back(msSince(t0));
        }
    std::vector<double> medians;
    for (auto& m : ms)
        medians.push_back(median(m));
    return medians;
}

struct Floors {
    GLuint corners = 0, vertices = 0, indices = 0, list = 0;
    GLsizei cornerCount = 0;
};

Floors buildFloors(const Smesh& mesh, geometryRenderer& renderer) {
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    Floors f;
    std::vector<float> perCorner;
    perCorner.reserve(static_cast<size_t>(mesh.ntris) * 18);
    for (int t = 0; t < mesh.ntris; ++t)
        for (const Svertex* v : mesh.tris[t].verts) {
            perCorner.insert(perCorner.end(), v->normal, v->normal + 3);
            perCorner.insert(perCorner.end(), v->pos, v->pos + 3);
        }
    gl->glGenBuffers(1, &f.corners);
    gl->glBindBuffer(GL_ARRAY_BUFFER, f.corners);
    gl->glBufferData(GL_ARRAY_BUFFER, static_cast<qopengl_GLsizeiptr>(perCorner.size() * 4),
                     perCorner.data(), GL_STATIC_DRAW);
    f.cornerCount = 3 * mesh.ntris;

    std::vector<float> perVertex;
    perVertex.reserve(static_cast<size_t>(mesh.nverts) * 6);
    for (int i = 0; i < mesh.nverts; ++i) {
        perVertex.insert(perVertex.end(), mesh.verts[i].normal, mesh.verts[i].normal + 3);
        perVertex.insert(perVertex.end(), mesh.verts[i].pos, mesh.verts[i].pos + 3);
    }
    std::vector<GLuint> index;
    index.reserve(static_cast<size_t>(mesh.ntris) * 3);
    for (int t = 0; t < mesh.ntris; ++t)
        for (const Svertex* v : mesh.tris[t].verts)
            index.push_back(static_cast<GLuint>(v - mesh.verts));
    gl->glGenBuffers(1, &f.vertices);
    gl->glBindBuffer(GL_ARRAY_BUFFER, f.vertices);
    gl->glBufferData(GL_ARRAY_BUFFER, static_cast<qopengl_GLsizeiptr>(perVertex.size() * 4),
                     perVertex.data(), GL_STATIC_DRAW);
    gl->glGenBuffers(1, &f.indices);
    gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, f.indices);
    gl->glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<qopengl_GLsizeiptr>(index.size() * 4),
                     index.data(), GL_STATIC_DRAW);
    gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);

    f.list = glGenLists(1);
    renderer.useBuffers = false;
    glNewList(f.list, GL_COMPILE);
    renderer.drawSmesh(mesh);
    glEndList();
    renderer.useBuffers = true;
    return f;
}

void drawArrays(GLuint buffer, GLuint indexBuffer, GLsizei count) {
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    gl->glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glNormalPointer(GL_FLOAT, 24, nullptr);
    glVertexPointer(3, GL_FLOAT, 24, reinterpret_cast<const void*>(12));
    if (indexBuffer) {
        gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT, nullptr);
        gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    } else {
        glDrawArrays(GL_TRIANGLES, 0, count);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void releaseFloors(Floors& f) {
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    for (GLuint* b : {&f.corners, &f.vertices, &f.indices})
        gl->glDeleteBuffers(1, b);
    glDeleteLists(f.list, 1);
}

// A window's repaint when its OpenGL widget only clears: Qt's compose and the swap.
double emptyWidgetRepaint(int frames) {
    struct Empty : QOpenGLWidget {
        int painted = 0;
        void paintGL() override {
            glClearColor(1, 1, 1, 1);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            ++painted;
        }
    };
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* widget = new Empty;
    widget->setFixedSize(950, 480);
    layout->addWidget(widget);
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (widget->painted == 0 && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::vector<double> ms;
    for (int k = 0; k < frames; ++k) {
        const int before = widget->painted;
        const auto t0 = Clock::now();
        widget->update();
        for (int spin = 0; widget->painted == before && spin < 100000; ++spin)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        ms.push_back(msSince(t0));
    }
    return median(ms);
}

int frameBenchmark(const std::vector<std::string>& meshes, int frames) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new TimedView;
    view->setFixedSize(950, 480);
    layout->addWidget(view);
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (view->framesPainted() == 0 && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (view->framesPainted() == 0) {
        std::fprintf(stderr, "bench_frame: the view never painted\n");
        return 1;
    }
    view->makeCurrent();
    std::printf("# %s, %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    view->doneCurrent();
    std::printf("# compose floor: an empty QOpenGLWidget of the same size repaints in %.2f ms\n",
                emptyWidgetRepaint(frames));
    std::printf("# medians of %d frames, ms; ratio = model / min(vbo, indexed)\n", frames);
    std::printf("%-28s %9s %7s %7s %7s %7s %9s %7s %7s %7s %6s\n", "mesh", "triangles", "frame",
                "window", "submit", "model", "immediate", "list", "vbo", "indexed", "ratio");

    Geometry* geometry = view->geometryData();
    geometryRenderer* renderer = view->rendererData();
    std::vector<std::string> names = {"(bundled model)"};
    names.insert(names.end(), meshes.begin(), meshes.end());
    for (const std::string& name : names) {
        if (name != "(bundled model)") {
            view->makeCurrent();
            // The readers' progress lines would interleave with the table.
            std::fflush(stdout);
            const int saved = dup(1);
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            close(devnull);
            geometry->readModel(&geometry->model, name.c_str());
            computeNormals(&geometry->model);
            std::fflush(stdout);
            dup2(saved, 1);
            close(saved);
            view->doneCurrent();
            view->meshesChanged();
            ExtTrackball::_instance.init();
        }
        const Smesh& model = geometry->model;

        // Whole frames through the paint handler, waited for; the window's own repaint (paint
        // handler, compose, swap) as the event loop runs it; the paint handler unwaited.
        auto paintOnce = [&] {
            const size_t before = view->paintMs.size();
            view->update();
            for (int spin = 0; view->paintMs.size() == before && spin < 100000; ++spin)
                QCoreApplication::processEvents(QEventLoop::AllEvents);
        };
        view->waitForGl = true;
        paintOnce();
        view->paintMs.clear();
        std::vector<double> windowMs;
        for (int k = 0; k < frames; ++k) {
            const auto t0 = Clock::now();
            paintOnce();
            windowMs.push_back(msSince(t0));
        }
        const double frame = median(view->paintMs);
        view->waitForGl = false;
        view->paintMs.clear();
        for (int k = 0; k < frames; ++k)
            paintOnce();
        const double submit = median(view->paintMs);
        view->waitForGl = true;

        view->makeCurrent();
        Floors floors = buildFloors(model, *renderer);
        const std::vector<double> t = timeDraws(
            frames, {[&] { renderer->drawSmesh(model); },
                     [&] {
                         renderer->useBuffers = false;
                         renderer->drawSmesh(model);
                         renderer->useBuffers = true;
                     },
                     [&] { glCallList(floors.list); },
                     [&] { drawArrays(floors.corners, 0, floors.cornerCount); },
                     [&] { drawArrays(floors.vertices, floors.indices, floors.cornerCount); }});
        const double buffered = t[0], immediate = t[1], list = t[2], vbo = t[3], indexed = t[4];
        releaseFloors(floors);
        view->doneCurrent();

        std::string shown = name;
        if (const auto slash = shown.rfind('/'); slash != std::string::npos)
            shown = shown.substr(slash + 1);
        std::printf("%-28s %9d %7.2f %7.2f %7.2f %7.2f %9.2f %7.2f %7.2f %7.2f %6.2f\n",
                    shown.c_str(), model.ntris, frame, median(windowMs), submit, buffered,
                    immediate, list, vbo, indexed, buffered / std::min(vbo, indexed));
        std::fflush(stdout);
    }
    return 0;
}

// ---- start-up

int startupChild(bool empty, int fd) {
    useCompatibilityFormat();
    int argc = 1;
    char name[] = "bench_frame";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto report = [fd] {
        const char byte = 1;
        if (write(fd, &byte, 1) != 1) _exit(3);
        _exit(0);
    };
    if (empty) {
        struct Empty : QOpenGLWidget {
            std::function<void()> painted;
            void paintGL() override {
                glClearColor(1, 1, 1, 1);
                glClear(GL_COLOR_BUFFER_BIT);
                QTimer::singleShot(0, painted);
            }
        } widget;
        widget.painted = report;
        widget.resize(1000, 700);
        widget.show();
        return app.exec();
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (GLWidget::activeView() && GLWidget::activeView()->framesPainted() > 0) report();
    });
    poll.start(1);
    MainWindow window;
    return app.exec();
}

double timeStart(const char* self, bool empty) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const char* mode = empty ? "--startup-child-empty" : "--startup-child";
        // The viewer's own start-up lines are not part of the measurement's output.
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        execl("/proc/self/exe", self, mode, fd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char byte = 0;
    const ssize_t got = read(fds[0], &byte, 1);
    const double ms = msSince(t0);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return got == 1 ? ms : -1;
}

int startupBenchmark(const char* self, int runs) {
    std::printf("# process start to first painted frame, ms (median of %d runs; min, max)\n", runs);
    for (bool empty : {true, false}) {
        std::vector<double> ms;
        for (int k = 0; k < runs; ++k) {
            const double t = timeStart(self, empty);
            if (t < 0) {
                std::fprintf(stderr, "bench_frame: the start-up run failed\n");
                return 1;
            }
            ms.push_back(t);
        }
        std::printf("%-34s %8.1f   (%.1f, %.1f)\n",
                    empty ? "empty QOpenGLWidget window" : "Orvalis, bundled tree", median(ms),
                    *std::min_element(ms.begin(), ms.end()),
                    *std::max_element(ms.begin(), ms.end()));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && (std::strcmp(argv[1], "--startup-child") == 0 ||
                      std::strcmp(argv[1], "--startup-child-empty") == 0))
        return startupChild(std::strcmp(argv[1], "--startup-child-empty") == 0, std::atoi(argv[2]));

    int frames = 60, runs = 9;
    bool startup = false;
    std::vector<std::string> meshes;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--frames" && k + 1 < argc)
            frames = std::max(1, std::atoi(argv[++k]));
        else if (a == "--runs" && k + 1 < argc)
            runs = std::max(1, std::atoi(argv[++k]));
        else if (a == "--startup")
            startup = true;
        else if (a == "--help" || a == "-h") {
            std::printf("usage: bench_frame [--frames N] MESH...\n"
                        "       bench_frame --startup [--runs N]\n"
                        "Run from a folder one level below a data tree, under an X server.\n");
            return 0;
        } else
            meshes.push_back(a);
    }
    if (startup) return startupBenchmark(argv[0], runs);

    useCompatibilityFormat();
    QApplication app(argc, argv);
    return frameBenchmark(meshes, frames);
}
