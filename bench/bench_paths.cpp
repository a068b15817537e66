// Drawing time of long orbit paths: a path of N points (default one million, as a long recording
// reused as an orbit) on the flat map and on the sphere, drawn
//   renderer   by geometryRenderer (thinned strips kept between frames)
//   immediate  every point with glBegin/glEnd, as each frame once did
// and the whole paint handler of the real view in Orbit mode with the paths shown, for both.
// Printed as medians in milliseconds, wall and CPU time of the process, with the frames a second
// they allow.
//
// Run it one level below a data tree under an X server, for example from the build folder:
//   cd build/tests/fixture/run
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24" ../../../bench/bench_paths
#include "RenderingSetting.h"
#include "extTrackball.h"
#include "geometryRenderer.h"
#include "glwidget.h"
#include "viewPath.h"

#include <QApplication>
#include <QSurfaceFormat>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

namespace {

struct Times {
    double wall = 0, cpu = 0;
};

double cpuMs() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

Times timeMedian(int frames, const std::function<void()>& draw) {
    std::vector<double> wall, cpu;
    for (int k = 0; k < frames + 2; ++k) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = cpuMs();
        draw();
        glFinish();
        if (k < 2) continue; // the first frames build what later ones reuse
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
        cpu.push_back(cpuMs() - c0);
    }
    return {median(wall), median(cpu)};
}

void print(const char* what, Times t) {
    std::printf("%-28s %9.2f ms wall %9.2f ms CPU  (%6.1f frames/s)\n", what, t.wall, t.cpu,
                1000.0 / t.wall);
}

// Every point of the path, one glVertex each: the drawing before paths were kept as strips.
void everyPoint(bool sphere) {
    const std::vector<PathPoint>& path = viewPath::_instance.pathPoints;
    coordinateTransform& ct = coordinateTransform::_instance;
    glDisable(GL_LIGHTING);
    glBegin(GL_LINE_STRIP);
    for (size_t k = 0; k <= path.size(); ++k) {
        const PathPoint& p = path[k % path.size()];
        if (sphere) {
            vec out;
            ct.sphericalToCartesian(out, vec(10.1f, p.theta, p.phi));
            glVertex3f(float(out.x), float(out.y), float(out.z));
        } else {
            float u, v;
            ct.sphericalToDrawPos(p.theta, p.phi, u, v);
            glVertex3f(u, v, 0);
        }
    }
    glEnd();
    glEnable(GL_LIGHTING);
}

// The renderer draws from its strips; everyPoint stands in for it when immediate is set.
class PathView : public GLWidget {
public:
    bool immediate = false;

protected:
    void paintGL() override {
        if (!immediate) {
            GLWidget::paintGL();
            return;
        }
        // The same frame with the paths drawn point by point on top of a frame without them.
        RenderingSetting::_instance.showPaths = false;
        GLWidget::paintGL();
        RenderingSetting::_instance.showPaths = true;
        everyPoint(RenderingSetting::_instance.displayMode == 0);
    }
};

} // namespace

int main(int argc, char** argv) {
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000000;

    PathView view;
    view.resize(950, 480);
    view.show();
    while (view.framesPainted() == 0)
        QApplication::processEvents();

    auto& path = viewPath::_instance.pathPoints;
    path.clear();
    for (int k = 0; k < n; ++k)
        path.push_back({static_cast<float>(2.5 * std::sin(k * 10 * M_PI / n)),
                        static_cast<float>(0.3 + 2.5 * k / n)});
    std::printf("path of %d points\n", n);

    view.makeCurrent();
    glViewport(0, 0, 475, 475);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    camera::_instance.setupCamera();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    geometryRenderer renderer(9.9f);
    print("flat map, renderer", timeMedian(21, [&] { renderer.drawPathOnQuad(); }));
    print("flat map, immediate", timeMedian(21, [&] { everyPoint(false); }));
    print("sphere, renderer", timeMedian(21, [&] { renderer.drawPathOnSphere(); }));
    print("sphere, immediate", timeMedian(21, [&] { everyPoint(true); }));
    view.doneCurrent();

    RenderingSetting& settings = RenderingSetting::_instance;
    settings.applicationMode = 3;
    settings.orbitType = 1;
    settings.showPaths = true;
    for (const bool immediate : {false, true}) {
        view.immediate = immediate;
        const long long before = view.framesPainted();
        const Times t = timeMedian(11, [&] {
            view.grabFramebuffer(); // renders a frame through the paint handler
            view.makeCurrent();
        });
        if (view.framesPainted() - before != 13) std::printf("(frames not painted as asked)\n");
        print(immediate ? "whole frame, immediate" : "whole frame, renderer", t);
    }
    return 0;
}
