#include "meshOpener.h"

#include "mapimage.h"

#include "DataDir.h"
#include "Geometry.h"
#include "RenderingSetting.h"
#include "file.h"
#include "textureManager.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

// A list entry is a 50-byte buffer whose last byte is the terminating NUL.
constexpr size_t longestName = 49;
// The baker centres a model on its box and scales it so that its farthest vertex lies this far
// from the centre: whole in the view from every direction. The preview is fitted the same way.
constexpr float bakedFitRadius = 11.9f;
// The baker's maps: 360 columns of azimuth by 180 rows of polar angle.
constexpr int mapColumns = 360, mapRows = 180;

bool writeAtomically(const fs::path& path, const std::string& bytes) {
    const fs::path temporary = path.string() + ".new-" + std::to_string(getpid());
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    std::error_code ec;
    if (written && closed) fs::rename(temporary, path, ec);
    if (!written || !closed || ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

std::string resourceBytes(const char* name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// The same quarter and half turns as the baker's --up, on the viewer's mesh.
void turnUpToZ(Smesh& mesh, const std::string& up) {
    for (int v = 0; v < mesh.nverts; ++v) {
        float* p = mesh.verts[v].pos;
        const float x = p[0], y = p[1], z = p[2];
        if (up == "y") {
            p[1] = -z;
            p[2] = y;
        } else if (up == "-y") {
            p[1] = z;
            p[2] = -y;
        } else if (up == "x") {
            p[0] = -z;
            p[2] = x;
        } else if (up == "-x") {
            p[0] = z;
            p[2] = -x;
        } else if (up == "-z") {
            p[1] = -y;
            p[2] = -z;
        }
    }
}

std::string checkedMesh(const Smesh& mesh, const std::string& path) {
    if (mesh.ntris <= 0 || mesh.nverts <= 0) return path + ": the mesh has no triangles";
    for (int v = 0; v < mesh.nverts; ++v)
        for (float x : mesh.verts[v].pos)
            if (!std::isfinite(x))
                return path + ": vertex " + std::to_string(v) +
                       " has a coordinate that is not a finite number";
    return {};
}

bool readStampFile(const std::string& model, MeshStamp& stamp) {
    std::string bytes;
    return readWholeFile(getResourcePath(stampPath(model)).c_str(), bytes) &&
           parseStamp(bytes, stamp);
}

std::vector<OpenPlan>& pendingModels() {
    static std::vector<OpenPlan> models;
    return models;
}

} // namespace

bool startFolderHoldsTree() {
    std::error_code ec;
    return fs::exists("../Data/Models/modelList.txt", ec) ||
           fs::exists("../Data/Attributes/attributeList.txt", ec);
}

std::string userTreeRoot() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/orvalis";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.local/share/orvalis";
    return {};
}

std::string makeUserTree(const std::string& root) {
    if (root.empty()) return "no data tree: neither XDG_DATA_HOME nor HOME is set";
    const fs::path r(root);
    for (const char* folder : {"Data/Models", "Data/Attributes", "Data/Orbits"}) {
        std::error_code ec;
        fs::create_directories(r / folder, ec);
        if (ec) return "cannot make the folder " + (r / folder).string() + ": " + ec.message();
    }
    struct Seed {
        const char* path;
        std::string bytes;
    };
    const Seed seeds[] = {
        {"Data/Models/sphere.obj", resourceBytes(":/seed/Data/Models/sphere.obj")},
        {"instructions.htm", resourceBytes(":/seed/instructions.htm")},
        // The attributes the baker makes, in its order: the first is the one the trackball nudges
        // with.
        {"Data/Attributes/attributeList.txt", "quality\narea\nvisibility\nentropy\nsilhouette\n"},
        {"Data/Models/modelList.txt", ""},
    };
    for (const Seed& seed : seeds) {
        std::error_code ec;
        const fs::path path = r / seed.path;
        if (fs::exists(path, ec)) continue;
        if (!writeAtomically(path, seed.bytes))
            return "cannot write " + path.string() + ": " + std::strerror(errno);
    }
    return {};
}

std::string treeNotWritable(const std::string& root) {
    for (const char* folder : {"Data", "Data/Models", "Data/Attributes", "Data/Orbits"}) {
        const fs::path path = fs::path(root) / folder;
        std::error_code ec;
        if (fs::exists(path, ec) && access(path.c_str(), W_OK) != 0)
            return "the data tree is read-only: " + path.string() + " cannot be written";
    }
    return {};
}

std::string meshFormat(const std::string& path) {
    const std::string ext = fs::path(path).extension().string();
    std::string lower;
    for (char c : ext)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == ".off" || lower == ".obj" || lower == ".ply" || lower == ".smf")
        return lower.substr(1);
    return {};
}

std::string defaultUpAxis(const std::string& path) {
    const std::string format = meshFormat(path);
    if (format == "obj" || format == "ply") return "y";
    if (format == "off" || format == "smf") return "z";
    return {};
}

std::string modelNameBase(const std::string& path) {
    const std::string file = fs::path(path).filename().string();
    std::string name = file.substr(0, file.find('.'));
    for (char& c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '+';
        if (!ok) c = '_';
    }
    if (name.empty()) name = "model";
    if (name.size() > longestName) name.resize(longestName);
    return name;
}

std::string numberedName(const std::string& base, int k) {
    if (k <= 1) return base;
    const std::string suffix = "-" + std::to_string(k);
    return base.substr(0, longestName - suffix.size()) + suffix;
}

std::string unopenable(const std::string& file) {
    if (meshFormat(file).empty())
        return file + ": not a mesh file (Orvalis opens .off, .obj, .ply and .smf)";
    std::error_code ec;
    if (!fs::exists(file, ec)) return file + ": no such file";
    if (!fs::is_regular_file(file, ec)) return file + ": not a regular file";
    if (access(file.c_str(), R_OK) != 0) return file + ": cannot be read: " + std::strerror(errno);
    return {};
}

std::string planOpen(const std::string& file, const std::string& up, OpenPlan& plan) {
    if (std::string refused = unopenable(file); !refused.empty()) return refused;
    std::error_code ec;
    std::string bytes;
    if (!readWholeFile(file.c_str(), bytes)) return file + ": cannot be read";
    if (bytes.empty()) return file + ": the file is empty";
    OpenPlan p;
    p.path = fs::absolute(file, ec).lexically_normal().string();
    p.stamp = {contentHash(bytes), bakerRevision, up.empty() ? defaultUpAxis(file) : up};
    Geometry check;
    const std::string unreadable = readTurnedMesh(file, p.stamp.up, check);
    if (!unreadable.empty()) return unreadable;

    const std::string base = modelNameBase(file);
    for (int k = 1;; ++k) {
        p.name = numberedName(base, k);
        if (modelIndex(p.name) < 0) break;
        MeshStamp there;
        const OpenPlan* pending = pendingModel(p.name);
        const bool known = pending ? (there = pending->stamp, true) : readStampFile(p.name, there);
        if (known && there.hash == p.stamp.hash) {
            p.listed = true;
            p.bake = !(there == p.stamp);
            break;
        }
    }
    plan = std::move(p);
    return {};
}

int modelIndex(const std::string& name) {
    const std::vector<char*>& names = RenderingSetting::_instance.modelNames;
    for (size_t i = 0; i < names.size(); ++i)
        if (name == names[i]) return static_cast<int>(i);
    return -1;
}

void appendModelName(const std::string& name) {
    char* entry = static_cast<char*>(std::calloc(longestName + 1, 1));
    if (!entry) throw std::bad_alloc();
    std::memcpy(entry, name.data(), std::min(name.size(), longestName));
    RenderingSetting::_instance.modelNames.push_back(entry);
}

void removeModelName(int i) {
    RenderingSetting& settings = RenderingSetting::_instance;
    std::free(settings.modelNames[i]);
    settings.modelNames.erase(settings.modelNames.begin() + i);
    if (settings.selectedModel > i) --settings.selectedModel;
}

void addPendingModel(const OpenPlan& plan) {
    removePendingModel(plan.name);
    pendingModels().push_back(plan);
}

void removePendingModel(const std::string& name) {
    std::erase_if(pendingModels(), [&](const OpenPlan& p) { return p.name == name; });
}

const OpenPlan* pendingModel(const std::string& name) {
    for (const OpenPlan& p : pendingModels())
        if (p.name == name) return &p;
    return nullptr;
}

// The baker's fit, on the viewer's mesh: box centre to the origin, farthest vertex at
// bakedFitRadius.
static void fitLikeTheBaker(Smesh& mesh) {
    if (mesh.nverts <= 0) return;
    double lo[3], hi[3];
    for (int k = 0; k < 3; ++k)
        lo[k] = hi[k] = mesh.verts[0].pos[k];
    for (int v = 0; v < mesh.nverts; ++v)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], double(mesh.verts[v].pos[k]));
            hi[k] = std::max(hi[k], double(mesh.verts[v].pos[k]));
        }
    const double mid[3] = {(lo[0] + hi[0]) * 0.5, (lo[1] + hi[1]) * 0.5, (lo[2] + hi[2]) * 0.5};
    double radius = 0;
    for (int v = 0; v < mesh.nverts; ++v) {
        const float* p = mesh.verts[v].pos;
        const double x = p[0] - mid[0], y = p[1] - mid[1], z = p[2] - mid[2];
        radius = std::max(radius, std::sqrt(x * x + y * y + z * z));
    }
    const double scale = radius > 0 ? bakedFitRadius / radius : 1.0;
    for (int v = 0; v < mesh.nverts; ++v)
        for (int k = 0; k < 3; ++k)
            mesh.verts[v].pos[k] = static_cast<float>((mesh.verts[v].pos[k] - mid[k]) * scale);
    mesh.center[0] = mesh.center[1] = mesh.center[2] = 0;
    mesh.extent = 1.0f;
}

std::string readTurnedMesh(const std::string& path, const std::string& up, Geometry& into) {
    Geometry scratch;
    try {
        const ReaderExitTrap trap;
        scratch.readModel(&scratch.model, path.c_str());
    } catch (const ReaderEnded&) {
        return path + ": not a mesh the readers take (see the reader's line above)";
    } catch (const std::bad_alloc&) {
        return path + ": too large for the memory left";
    }
    const std::string bad = checkedMesh(scratch.model, path);
    if (!bad.empty()) return bad;
    turnUpToZ(scratch.model, up);
    fitLikeTheBaker(scratch.model);
    computeNormals(&scratch.model);
    std::swap(into.model, scratch.model);
    return {};
}

void installFlatMaps() {
    const size_t cells = size_t(mapColumns) * mapRows;
    static const std::string goodness =
        pgmImageBytes(mapColumns, mapRows, std::vector<double>(cells, 0.0), "flat");
    static const std::string gradient =
        vgfImageBytes(mapColumns, mapRows, std::vector<float>(cells), std::vector<float>(cells));
    textureManager& maps = textureManager::_instance;
    maps.LoadPGMImageFromBytes("(flat map until the maps are baked)", goodness);
    maps.LoadVGFImageBFromBytes("(flat gradient until the maps are baked)", gradient);
}

void loadSelectedModel(Geometry& geometry) {
    RenderingSetting& settings = RenderingSetting::_instance;
    if (const OpenPlan* pending = pendingModel(settings.modelNames[settings.selectedModel])) {
        const std::string unreadable = readTurnedMesh(pending->path, pending->stamp.up, geometry);
        if (!unreadable.empty()) std::fprintf(stderr, "orvalis: %s\n", unreadable.c_str());
        installFlatMaps();
        return;
    }
    geometry.loadModel();
    textureManager::_instance.LoadPGMImage(settings.goodnessFilePath());
    textureManager::_instance.LoadVGFImageB(settings.gradientFilePath());
}
