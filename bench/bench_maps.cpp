// Time to load a goodness and gradient pair as a model change does: read both files, decode,
// build the jet texels and upload the texture (glFinish included), at the bundled 360 x 180 and
// at 1440 x 720. The decode alone is timed as well.
//
// The settings object reads ../Data/... before main, so run it one level below a data tree, e.g.
//   cd build/tests/fixture/run && xvfb-run -a -s "-screen 0 1280x1024x24" ../../../bench/bench_maps
#include "textureManager.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

void appendFloatLE(std::string& s, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    for (int k = 0; k < 4; ++k)
        s += static_cast<char>((bits >> (8 * k)) & 0xff);
}

// Goodness (1 + a.d) / 2 for a fixed axis a, and its derivatives per radian.
void makePair(int w, int h, std::string& pgm, std::string& vgf) {
    const double ax = 0.3, ay = -0.9, az = 0.3;
    pgm = "P5\n# bench\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    vgf = "VGF\n" + std::to_string(w) + " " + std::to_string(h);
    vgf.resize(14, ' ');
    vgf += '\n';
    pgm.reserve(pgm.size() + static_cast<size_t>(w) * h);
    vgf.reserve(vgf.size() + static_cast<size_t>(w) * h * 8);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const double t = 2 * M_PI * i / w - M_PI, p = M_PI * j / h;
            const double dx = std::cos(t) * std::sin(p), dy = std::sin(t) * std::sin(p),
                         dz = std::cos(p);
            pgm += static_cast<char>(std::lround((1 + ax * dx + ay * dy + az * dz) / 2 * 255));
            appendFloatLE(vgf, static_cast<float>((-ax * dy + ay * dx) / 2));
            appendFloatLE(vgf,
                          static_cast<float>((ax * std::cos(t) * std::cos(p) +
                                              ay * std::sin(t) * std::cos(p) - az * std::sin(p)) /
                                             2));
        }
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Figures {
    double median, best, worst;
};

Figures summarise(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return {t[t.size() / 2], t.front(), t.back()};
}

// Keeps the loaders' "Successfully load" lines out of the report.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }

private:
    int saved;
};

} // namespace

int main(int argc, char** argv) {
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    QSurfaceFormat::setDefaultFormat(format);
    QGuiApplication app(argc, argv);
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface)) {
        std::fprintf(stderr, "bench_maps: no OpenGL context (run under xvfb-run)\n");
        return 1;
    }
    std::printf("OpenGL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    const fs::path dir =
        fs::temp_directory_path() / ("orvalis-bench-maps-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const int runs = 21;
    std::printf("%-10s %8s %8s %12s %12s %25s %12s\n", "map", "PGM kB", "VGF kB", "decode PGM",
                "decode VGF", "files+decode+upload", "worst");
    for (auto [w, h] : {std::pair{360, 180}, std::pair{1440, 720}}) {
        std::string pgm, vgf;
        makePair(w, h, pgm, vgf);
        const std::string pgmPath = (dir / "bench.pgm").string();
        const std::string vgfPath = (dir / "bench.vgf").string();
        std::ofstream(pgmPath, std::ios::binary)
            .write(pgm.data(), static_cast<std::streamsize>(pgm.size()));
        std::ofstream(vgfPath, std::ios::binary)
            .write(vgf.data(), static_cast<std::streamsize>(vgf.size()));

        textureManager& maps = textureManager::_instance;
        std::vector<double> decodePGM, decodeVGF, full;
        for (int r = 0; r < runs; ++r) {
            GoodnessImage goodness;
            GradientImage gradient;
            auto start = std::chrono::steady_clock::now();
            const std::string e1 = maps.parsePGMImage(pgm, goodness);
            decodePGM.push_back(msSince(start));
            start = std::chrono::steady_clock::now();
            const std::string e2 = textureManager::parseVGFImage(vgf, w, h, gradient);
            decodeVGF.push_back(msSince(start));
            if (!e1.empty() || !e2.empty()) {
                std::fprintf(stderr, "bench_maps: decode failed: %s%s\n", e1.c_str(), e2.c_str());
                return 1;
            }
        }
        for (int r = 0; r < runs; ++r) {
            QuietStdout quiet;
            glFinish();
            const auto start = std::chrono::steady_clock::now();
            maps.LoadPGMImage(pgmPath.c_str());
            maps.LoadVGFImageB(vgfPath.c_str());
            glFinish();
            full.push_back(msSince(start));
        }
        if (maps.mapWidth != w || maps.mapHeight != h || maps.textureId == 0) {
            std::fprintf(stderr, "bench_maps: the %d x %d pair did not load\n", w, h);
            return 1;
        }
        const Figures p = summarise(decodePGM), v = summarise(decodeVGF), f = summarise(full);
        char label[32];
        std::snprintf(label, sizeof label, "%dx%d", w, h);
        std::printf("%-10s %8.0f %8.0f %12.2f %12.2f %13.2f (min %5.2f) %12.2f\n", label,
                    pgm.size() / 1024.0, vgf.size() / 1024.0, p.median, v.median, f.median, f.best,
                    f.worst);
    }
    std::printf("ms, median of %d runs; goal: 360x180 within one 20 ms frame\n", runs);
    fs::remove_all(dir);
    context.doneCurrent();
    return 0;
}
