// Model loading speed and memory: readModel, computeNormals and computeEdges on real and
// generated meshes, against assimp's command-line importer on the same files.
//
// Usage (from a folder one level below a data tree, e.g. <build>/tests/fixture/run, because the
// settings object reads ../Data/... before main):
//     bench_load [--reps N] [--generate PATH [TRIANGLES]] [--no-assimp] FILE...
//   --generate  writes a torus OFF of about TRIANGLES triangles (default 2000000, about 74 MB)
//               to PATH first and measures it too
//   --reps      runs per file (default 5); times are medians, memory the largest peak
//
// Real meshes: Debian's libcgal-demo package ships OFF meshes. Nothing needs installing:
//     apt-get download libcgal-demo
//     dpkg -x libcgal-demo_*_all.deb cgal
//     tar -xzf cgal/usr/share/doc/libcgal-dev/data.tar.gz data/meshes
//     bench_load data/meshes/bunny00.off data/meshes/armadillo.off data/meshes/refined_elephant.off
// The comparison runs `assimp info FILE` and `assimp info FILE -r` (Debian's assimp-utils) as
// whole processes; their times are given as ratios to readModel's.
//
// Each run happens in a child process of its own, so that the peak resident size (ru_maxrss)
// belongs to one load of one file. The readers' progress lines go to /dev/null.

#include "Geometry.h"
#include "geom.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// User plus system CPU time of this process so far, in ms. On a machine shared with other work
// the CPU time of a step tells its cost better than the wall clock does.
double cpuMs() {
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct RunResult {
    double readMs = 0; // the file's bytes alone
    double loadMs = 0; // readModel
    double loadCpuMs = 0;
    double normalsCpuMs = 0;
    double normalsMs = 0; // computeNormals
    double edgesMs = 0;   // computeEdges
    long peakLoadKiB = 0; // after readModel and computeNormals
    long peakKiB = 0;     // after computeEdges too
    int nverts = 0;
    int ntris = 0;
    int nedges = 0;
    int ok = 0;
};

// Peak resident size so far, from /proc/self/status (VmHWM).
long highWaterKiB() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
    std::fclose(f);
    return kib;
}

// One measured load in a child process; the result comes back through a pipe.
RunResult measureOnce(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int devnull = open("/dev/null", O_WRONLY);
        const int savedOut = dup(1);
        dup2(devnull, 1);
        RunResult r;
        auto t = Clock::now();
        FileBytes bytes;
        bytes.read(path.c_str());
        r.readMs = msSince(t);
        bytes = FileBytes();
        Geometry geometry;
        t = Clock::now();
        double c = cpuMs();
        geometry.readModel(&geometry.model, path.c_str());
        r.loadMs = msSince(t);
        r.loadCpuMs = cpuMs() - c;
        t = Clock::now();
        c = cpuMs();
        computeNormals(&geometry.model);
        r.normalsMs = msSince(t);
        r.normalsCpuMs = cpuMs() - c;
        r.peakLoadKiB = highWaterKiB();
        t = Clock::now();
        computeEdges(&geometry.model);
        r.edgesMs = msSince(t);
        std::fflush(stdout);
        dup2(savedOut, 1);
        r.nverts = geometry.model.nverts;
        r.ntris = geometry.model.ntris;
        r.nedges = geometry.model.nedges;
        struct rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        r.peakKiB = usage.ru_maxrss;
        r.ok = 1;
        if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    RunResult r;
    if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r = RunResult{};
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return r;
}

// Wall-clock time of a whole `assimp info` process; negative when it fails.
double timeAssimp(const std::string& path, bool raw) {
    const auto t = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        if (raw)
            execlp("assimp", "assimp", "info", path.c_str(), "-r", static_cast<char*>(nullptr));
        else
            execlp("assimp", "assimp", "info", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = msSince(t);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// A torus around the z axis with a bump on its +x side, rings x sides x 2 triangles, written
// with six decimals as the project's data generator writes its models.
bool generateTorus(const std::string& path, long triangles) {
    const int sides = std::max(3, static_cast<int>(std::sqrt(triangles / 2.0)));
    const int rings = std::max(3, static_cast<int>(triangles / 2 / sides));
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "OFF\n%d %d 0\n", rings * sides, 2 * rings * sides);
    for (int i = 0; i < rings; ++i) {
        const double u = 2 * M_PI * i / rings;
        const double bump = 1 + 0.35 * std::exp(-4 * (1 - std::cos(u)));
        for (int j = 0; j < sides; ++j) {
            const double w = 2 * M_PI * j / sides, r = 0.35 * bump;
            std::fprintf(f, "%.6f %.6f %.6f\n", (1 + r * std::cos(w)) * std::cos(u),
                         (1 + r * std::cos(w)) * std::sin(u), r * std::sin(w));
        }
    }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < sides; ++j) {
            const int a = i * sides + j, b = ((i + 1) % rings) * sides + j;
            const int c = ((i + 1) % rings) * sides + (j + 1) % sides,
                      d = i * sides + (j + 1) % sides;
            std::fprintf(f, "3 %d %d %d\n3 %d %d %d\n", a, b, c, a, c, d);
        }
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv) {
    int reps = 5;
    bool assimp = true;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reps" && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--no-assimp") {
            assimp = false;
        } else if (arg == "--generate" && i + 1 < argc) {
            const std::string path = argv[++i];
            long triangles = 2000000;
            if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0])))
                triangles = std::atol(argv[++i]);
            std::fprintf(stderr, "writing %s ...\n", path.c_str());
            if (!generateTorus(path, triangles)) {
                std::fprintf(stderr, "bench_load: cannot write %s\n", path.c_str());
                return 1;
            }
            files.push_back(path);
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: bench_load [--reps N] [--generate PATH [TRIANGLES]] "
                             "[--no-assimp] FILE...\n");
        return 2;
    }

    std::printf("%-22s %6s %8s %9s %7s %7s %5s %9s %7s %8s %8s %9s %7s %8s %6s\n", "file", "MB",
                "vertices", "triangles", "read ms", "load ms", "MB/s", "normal ms", "edge ms",
                "peak MiB", "+edges", "assimp ms", "raw ms", "x assimp", "x raw");
    std::printf("%-22s %6s %8s %9s %7s %7s %5s %9s %7s %8s %8s %9s %7s %8s %6s\n", "", "", "", "",
                "", "", "", "", "", "(normals)", "(MiB)", "info", "info -r", "", "");
    for (const std::string& path : files) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            std::printf("%s: cannot stat\n", path.c_str());
            continue;
        }
        std::vector<double> readMs, loadMs, normalsMs, edgesMs, assimpMs, rawMs, loadCpu,
            normalsCpu;
        RunResult last;
        long peak = 0, peakLoad = 0;
        for (int r = 0; r < reps; ++r) {
            last = measureOnce(path);
            if (!last.ok) break;
            readMs.push_back(last.readMs);
            loadMs.push_back(last.loadMs);
            loadCpu.push_back(last.loadCpuMs);
            normalsCpu.push_back(last.normalsCpuMs);
            normalsMs.push_back(last.normalsMs);
            edgesMs.push_back(last.edgesMs);
            peak = std::max(peak, last.peakKiB);
            peakLoad = std::max(peakLoad, last.peakLoadKiB);
        }
        // assimp runs after all of this file's loads, so that its imports (gigabytes for the
        // large file) never sit between two measured loads: in runs that interleaved them, the
        // loads took up to three times their usual CPU time.
        for (int r = 0; r < reps && assimp && last.ok; ++r) {
            assimpMs.push_back(timeAssimp(path, false));
            rawMs.push_back(timeAssimp(path, true));
        }
        if (!last.ok) {
            std::printf("%s: the load failed\n", path.c_str());
            continue;
        }
        const double mb = static_cast<double>(st.st_size) / 1e6;
        const double load = median(loadMs);
        const double full = median(assimpMs), raw = median(rawMs);
        std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%-22s %6.1f %8d %9d %7.1f %7.1f %5.0f %9.1f %7.1f %8.1f %8.1f %9.1f %7.1f "
                    "%8.2f %6.2f\n",
                    name.c_str(), mb, last.nverts, last.ntris, median(readMs), load,
                    mb / load * 1e3, median(normalsMs), median(edgesMs),
                    static_cast<double>(peakLoad) / 1024.0, static_cast<double>(peak) / 1024.0,
                    full, raw, full > 0 ? full / load : 0.0, raw > 0 ? raw / load : 0.0);
        std::printf("%-22s %6s %8s %9s %7s %7.1f %5.0f %9.1f   (CPU time: load, MB/s, normals)\n",
                    "", "", "", "", "", median(loadCpu), mb / median(loadCpu) * 1e3,
                    median(normalsCpu));
        std::fflush(stdout);
    }
    return 0;
}
