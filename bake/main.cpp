// orvalis-bake: makes the goodness maps, gradients and orbit of a model for the Orvalis viewer.
#include "bakeerror.h"
#include "bakemodel.h"
#include "readfile.h"
#include "meshStamp.h"
#include "options.h"
#include "picture.h"
#include "treewriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Job {
    std::string path;
    std::string name;
    BakeMesh mesh;
};

std::string firstListedAttribute(const fs::path& list) {
    std::string bytes;
    readFileBytes(list.c_str(), bytes);
    const std::vector<std::string> names = listNames(bytes);
    return names.empty() ? "" : names.front();
}

// The stamp that lets the viewer see these maps were made from this very file.
std::string sourceStamp(const std::string& path, const std::string& up) {
    std::string bytes;
    if (!readWholeFile(path.c_str(), bytes)) throw BakeError(path + ": cannot read the mesh file");
    return stampText({contentHash(bytes), bakerRevision, up});
}

std::string bakedNames() {
    std::string s;
    for (const std::string& n : bakedAttributeNames())
        s += " " + n;
    return s;
}

int bake(const BakeOptions& options) {
    const fs::path root = options.root;
    std::error_code ec;
    if (!fs::exists(root, ec))
        throw BakeError("the data tree root " + root.string() + " does not exist");
    if (!fs::is_directory(root, ec))
        throw BakeError("the data tree root " + root.string() + " is not a folder");
    const bool newTree = !fs::exists(root / "Data", ec);
    // Taking the lock undoes a killed bake's commit and clears its leftovers. After that the tree
    // is locked only while a model is written, so a bake stopped while it measures (the viewer's
    // Cancel) leaves no trace in the tree.
    { const TreeLock recovered(root); }

    if (options.pictureOnly) {
        checkModelName(options.meshes.front(), options.meshes.front());
        writeBestViewPicture(root, options.meshes.front(), options.picture, options.pictureSize);
        std::printf("picture of %s: %s\n", options.meshes.front().c_str(), options.picture.c_str());
        return 0;
    }
    std::vector<Job> jobs;
    std::set<std::string> names;
    for (const std::string& path : options.meshes) {
        Job job;
        job.path = path;
        job.name = options.name.empty() ? modelNameOf(path) : options.name;
        checkModelName(job.name, path);
        if (!names.insert(job.name).second)
            throw BakeError(path + ": a second mesh for the model '" + job.name +
                            "' (use --name, one mesh at a time)");
        jobs.push_back(std::move(job));
    }
    // Every mesh is read before anything is baked, so a bad one costs no time and no files.
    for (Job& job : jobs)
        job.mesh = readMeshFile(job.path);

    BakeSettings settings;
    settings.width = options.width;
    settings.height = options.height;
    settings.samples = options.samples;
    settings.resolution = options.resolution;
    settings.gradientScale = options.gradientScale;
    settings.up = options.up;
    settings.threads =
        options.threads > 0
            ? options.threads
            : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 16);

    OffscreenRenderer renderer(options.resolution);
    ProgressBar bar(!options.quiet && isatty(2), options.progressLines);
    for (Job& job : jobs) {
        const auto start = std::chrono::steady_clock::now();
        const BakedModel model = bakeModel(job.name, job.mesh, settings, renderer, &bar);
        {
            const TreeLock lock(root);
            writeModel(root, model, sourceStamp(job.path, options.up));
        }
        bar.finish();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("baked %s: %d triangles, %d views, %dx%d maps, %.1f s\n", job.name.c_str(),
                    model.mesh.triangleCount(), settings.samples, settings.width, settings.height,
                    seconds);
        std::fflush(stdout);
        if (!options.picture.empty()) {
            writeBestViewPicture(root, job.name, options.picture, options.pictureSize);
            std::printf("picture of %s: %s\n", job.name.c_str(), options.picture.c_str());
        }
    }

    if (newTree) makeStartFolder(root);
    const fs::path attributeList = root / "Data/Attributes/attributeList.txt";
    const std::string first = firstListedAttribute(attributeList);
    if (first != bakedAttributeNames().front())
        std::fprintf(stderr,
                     "orvalis-bake: note: %s lists '%s' first, so the viewer nudges with that "
                     "attribute; the baked models have maps for:%s\n",
                     attributeList.c_str(), first.c_str(), bakedNames().c_str());
    for (const char* needed : {"Data/Models/sphere.obj", "instructions.htm"})
        if (!fs::exists(root / needed, ec))
            std::fprintf(stderr,
                         "orvalis-bake: note: the viewer also needs %s, which this tree lacks "
                         "(copy it from the Orvalis sources)\n",
                         (root / needed).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    BakeOptions options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const BakeError& e) {
        std::fprintf(stderr, "orvalis-bake: %s (see orvalis-bake --help)\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    try {
        return bake(options);
    } catch (const BakeError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "orvalis-bake: %s\n", e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "orvalis-bake: out of memory\n");
        return 1;
    }
}
