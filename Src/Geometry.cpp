#include "Geometry.h"

#include "DataDir.h"
#include "RenderingSetting.h"
#include "file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

Geometry::Geometry() {
    resetSmesh(&sphere);
    resetSmesh(&model);
}

Geometry::~Geometry() {
    freeSmesh(&sphere);
    freeSmesh(&model);
}

void Geometry::load() {
    loadSphere();
    loadModel();
}

// An empty mesh is drawn as nothing at all; a file that reads as one (a text in another encoding,
// a header without faces) is worth a word.
static void reportEmpty(const Smesh* mesh, const char* filename) {
    if (mesh->ntris == 0)
        std::fprintf(stderr, "read_model(): %s: the file holds no triangles; nothing is drawn\n",
                     filename);
}

void Geometry::loadSphere() {
    const std::string sphereFile = getResourcePath("Data/Models/sphere.obj");
    readModel(&sphere, sphereFile.c_str());
    reportEmpty(&sphere, sphereFile.c_str());
    endOnAllocationFailure([&] { computeNormals(&sphere); });
}

void Geometry::loadModel() {
    const char* filename = RenderingSetting::_instance.modelFilePath();
    readModel(&model, filename);
    reportEmpty(&model, filename);
    endOnAllocationFailure([&] { computeNormals(&model); });
}

void Geometry::readModel(Smesh* mesh, const char* filename) {
    const size_t length = std::strlen(filename);
    std::vector<char> base(2 * length + 2), extension(length + 2);
    getProgName(base.data(), filename);
    getExtension(extension.data(), filename);
    for (char* c = extension.data(); *c; ++c)
        if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    std::printf("# Read '%s' in '%s' format\n", base.data(), extension.data());

    // The arrays and lists of the previous read go now, so that model changes do not pile up
    // memory.
    freeSmesh(mesh);

    const std::string_view format = extension.data();
    float limit;
    if (format == "OFF") {
        readOffModel(mesh, filename);
        limit = 10.9f;
    } else if (format == "OBJ") {
        readObjModel(mesh, filename);
        limit = 9.9f;
    } else if (format == "PLY") {
        readPlyModel(mesh, filename);
        limit = 9.9f;
    } else if (format == "SMF") {
        readSmfModel(mesh, filename);
        limit = 9.9f;
    } else {
        std::printf("# Unknown file format: %s\n", extension.data());
        endProcess(-1);
    }

    if (limit > mesh->extent) normalizeModel(mesh, limit);
    for (int t = 0; t < mesh->ntris; ++t)
        mesh->tris[t].index = t;

    char* name = nullptr;
    endOnAllocationFailure([&] { name = static_cast<char*>(meshAlloc(257, 1, "mesh->name")); });
    std::strncpy(name, base.data(), 256);
    name[256] = '\0';
    if (mesh->name != smeshEmptyName) std::free(mesh->name);
    mesh->name = name;

    std::printf("# %d vertices, %d triangles", mesh->nverts, mesh->ntris);
    std::printf(", extent: %f\n", static_cast<double>(mesh->extent));
}

void Geometry::normalizeModel(Smesh* mesh, float size) {
    normalizeMesh(mesh, size);
}

namespace {

// The whole file, or the end of the process with the readers' line for a file that cannot be
// opened.
FileBytes modelBytes(const char* filename) {
    FileBytes file;
    if (!file.read(filename)) {
        std::fprintf(stderr, "read_model(): can't open input file %s\n", filename);
        endProcess(-1);
    }
    return file;
}

void endOnRefusal(const ReadResult& result) {
    if (!result) endOnFault(result);
}

} // namespace

void Geometry::readOffModel(Smesh* mesh, const char* filename) {
    const FileBytes file = modelBytes(filename);
    readOffModelFromBytes(mesh, filename, file.view());
}

void Geometry::readOffModelFromBytes(Smesh* mesh, const char* filename, std::string_view bytes) {
    endOnRefusal(readOffMesh(mesh, filename, bytes, &hasNormals));
}

void Geometry::readSmfModel(Smesh* mesh, const char* filename) {
    const FileBytes file = modelBytes(filename);
    readSmfModelFromBytes(mesh, filename, file.view());
}

void Geometry::readSmfModelFromBytes(Smesh* mesh, const char* filename, std::string_view bytes) {
    endOnRefusal(readSmfMesh(mesh, filename, bytes));
}

void Geometry::readPlyModel(Smesh* mesh, const char* filename) {
    endOnRefusal(readPlyMeshFile(mesh, filename));
}

void Geometry::readObjModel(Smesh* mesh, const char* filename) {
    freeSmesh(mesh);
    ReadResult result;
    ModelOwner obj(glmReadOBJ(filename, result));
    endOnRefusal(result);
    endOnRefusal(convertObjModel(mesh, obj.get(), filename));
}

void Geometry::readObjModelFromBytes(Smesh* mesh, const char* filename, std::string_view bytes,
                                     const GLMmaterialSource& materials) {
    endOnRefusal(readObjMesh(mesh, filename, bytes, materials));
}

int Geometry::findNormal(ClinkedList<Svector3>* normalLists, Svector3* key) {
    return ::findNormal(normalLists, key);
}
