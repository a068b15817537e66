#include "fuzz_targets.h"

#include "mapimage.h"
#include "meshread.h"
#include "namelist.h"
#include "orbitfile.h"
#include "plyfile.h"
#include "textscan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

[[noreturn]] void checkFailed(const char* file, int line, const char* text) {
    std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n", file, line, text);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) checkFailed(__FILE__, __LINE__, #cond);                                       \
    } while (0)

std::string_view bytesOf(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

bool insideArray(const void* p, const void* first, size_t count, size_t stride) {
    const auto* b = static_cast<const unsigned char*>(first);
    const auto* q = static_cast<const unsigned char*>(p);
    if (!b || q < b) return false;
    const size_t offset = static_cast<size_t>(q - b);
    return offset < count * stride && offset % stride == 0;
}

// What a reader hands over: every corner a vertex of the mesh's own array, every index its own
// position.
void checkReadMesh(const Smesh& mesh) {
    FUZZ_CHECK(mesh.nverts >= 0 && mesh.ntris >= 0 && mesh.nedges == 0);
    FUZZ_CHECK(mesh.nverts == 0 || mesh.verts != nullptr);
    FUZZ_CHECK(mesh.ntris == 0 || mesh.tris != nullptr);
    for (int i = 0; i < mesh.nverts; ++i) {
        FUZZ_CHECK(mesh.verts[i].index == i);
        FUZZ_CHECK(mesh.verts[i].ntris == 0 && mesh.verts[i].nedges == 0);
    }
    for (int t = 0; t < mesh.ntris; ++t)
        for (Svertex* corner : mesh.tris[t].verts)
            FUZZ_CHECK(insideArray(corner, mesh.verts, mesh.nverts, sizeof(Svertex)));
}

// What loading does after a reader, then the edge list, which hostile meshes (repeated corners,
// non-manifold sides) stress hardest.
void completeMesh(Smesh& mesh, float limit) {
    checkReadMesh(mesh);
    if (limit > mesh.extent) normalizeMesh(&mesh, limit);
    for (int t = 0; t < mesh.ntris; ++t)
        mesh.tris[t].index = t;
    computeNormals(&mesh);
    long listed = 0;
    for (int i = 0; i < mesh.nverts; ++i) {
        const Svertex& v = mesh.verts[i];
        FUZZ_CHECK(v.index == i && v.ntris >= 0);
        for (int k = 0; k < v.ntris; ++k) {
            FUZZ_CHECK(insideArray(v.tris[k], mesh.tris, mesh.ntris, sizeof(Striangle)));
            const Striangle& t = *v.tris[k];
            FUZZ_CHECK(t.verts[0] == &v || t.verts[1] == &v || t.verts[2] == &v);
        }
        listed += v.ntris;
    }
    FUZZ_CHECK(listed == 3L * mesh.ntris);

    computeEdges(&mesh);
    FUZZ_CHECK(mesh.nedges >= 0 && mesh.nedges <= 3L * mesh.ntris);
    for (int e = 0; e < mesh.nedges; ++e) {
        const Sedge& edge = mesh.edges[e];
        FUZZ_CHECK(insideArray(edge.verts[0], mesh.verts, mesh.nverts, sizeof(Svertex)));
        FUZZ_CHECK(insideArray(edge.verts[1], mesh.verts, mesh.nverts, sizeof(Svertex)));
        FUZZ_CHECK(insideArray(edge.tris[0], mesh.tris, mesh.ntris, sizeof(Striangle)));
        FUZZ_CHECK(!edge.tris[1] ||
                   insideArray(edge.tris[1], mesh.tris, mesh.ntris, sizeof(Striangle)));
    }
    long ends = 0;
    for (int i = 0; i < mesh.nverts; ++i) {
        const Svertex& v = mesh.verts[i];
        for (int k = 0; k < v.nedges; ++k) {
            FUZZ_CHECK(insideArray(v.edges[k], mesh.edges, mesh.nedges, sizeof(Sedge)));
            FUZZ_CHECK(v.edges[k]->verts[0] == &v || v.edges[k]->verts[1] == &v);
        }
        ends += v.nedges;
    }
    FUZZ_CHECK(ends == 2L * mesh.nedges);
}

FuzzResult outcomeOf(const ReadResult& result) {
    if (result) return {FuzzOutcome::Loaded, 0};
    FUZZ_CHECK(!result.message.empty());
    return {FuzzOutcome::Ended, result.status};
}

template <class Read> FuzzResult readMesh(float limit, Read read) {
    Smesh mesh;
    const MeshOwner owner{&mesh};
    const ReadResult result = read(mesh);
    if (!result) return outcomeOf(result);
    return outcomeOf(guardedRead([&] { completeMesh(mesh, limit); }));
}

void checkObjModel(const GLMmodel& model) {
    FUZZ_CHECK(model.vertices != nullptr);
    FUZZ_CHECK((model.numnormals == 0) == (model.normals == nullptr));
    FUZZ_CHECK((model.numtexcoords == 0) == (model.texcoords == nullptr));
    for (unsigned int t = 0; t < model.numtriangles; ++t) {
        const GLMtriangle& tri = model.triangles[t];
        for (int c = 0; c < 3; ++c) {
            FUZZ_CHECK(tri.vindices[c] >= 1 && tri.vindices[c] <= model.numvertices);
            FUZZ_CHECK(tri.nindices[c] <= model.numnormals);
            FUZZ_CHECK(tri.tindices[c] <= model.numtexcoords);
        }
    }
    unsigned int groups = 0;
    unsigned long grouped = 0;
    for (const GLMgroup* g = model.groups; g; g = g->next) {
        ++groups;
        FUZZ_CHECK(g->name != nullptr);
        FUZZ_CHECK(g->material == 0 || g->material < model.nummaterials);
        for (unsigned int k = 0; k < g->numtriangles; ++k)
            FUZZ_CHECK(g->triangles[k] < model.numtriangles);
        grouped += g->numtriangles;
    }
    FUZZ_CHECK(groups == model.numgroups);
    FUZZ_CHECK(grouped == model.numtriangles);
    for (unsigned int m = 0; m < model.nummaterials; ++m)
        FUZZ_CHECK(model.materials[m].name != nullptr);
}

// Asks for every property of every element type, each stored as a different memory type, so
// that every conversion of the library runs; list storage is released record by record.
void readEveryPlyElement(std::string_view bytes) {
    int nelems = 0, fileType = 0;
    float version = 0;
    std::vector<std::string> names;
    PlyFilePtr ply(
        ply_open_for_reading_bytes(bytes, "fuzz.ply", &nelems, &names, &fileType, &version));
    FUZZ_CHECK(ply != nullptr);
    FUZZ_CHECK(nelems == static_cast<int>(names.size()));
    constexpr int slot = 16; // a double, or a list pointer followed by its int count
    for (const std::string& name : names) {
        // The library names element types by C strings; one with a NUL in its name cannot be
        // asked for, and the records behind it cannot be reached in file order.
        if (name.find('\0') != std::string::npos) return;
        int count = 0, nprops = 0;
        auto props = ply_get_element_description(ply.get(), name.c_str(), &count, &nprops);
        FUZZ_CHECK(props.has_value() && static_cast<int>(props->size()) == nprops && count >= 0);
        if (nprops == 0) {
            ply_skip_element(ply.get(), name.c_str());
            continue;
        }
        std::vector<int> listProp(nprops, 0);
        for (int k = 0; k < nprops; ++k) {
            PlyProperty want = (*props)[k];
            want.offset = slot * k;
            want.type_in_memory = PLY_CHAR + (k % (PLY_DOUBLE - PLY_CHAR + 1));
            if (want.is_list) {
                want.count_type_in_memory = PLY_INT;
                want.count_offset = slot * k + 8;
                listProp[k] = 1;
            }
            ply_get_property(ply.get(), name.c_str(), &want);
        }
        std::vector<unsigned char> record(static_cast<size_t>(slot) * nprops);
        for (int r = 0; r < count; ++r) {
            std::fill(record.begin(), record.end(), 0);
            ply_get_element(ply.get(), record.data());
            for (int k = 0; k < nprops; ++k) {
                if (!listProp[k]) continue;
                void* items;
                int n;
                std::memcpy(&items, record.data() + slot * k, sizeof items);
                std::memcpy(&n, record.data() + slot * k + 8, sizeof n);
                FUZZ_CHECK(n >= 0);
                FUZZ_CHECK((n == 0) == (items == nullptr));
                std::free(items);
            }
        }
    }
}

// The map size a gradient header asks for: the first two all-digit words after the magic word
// of the 15 header bytes. Returns how many such words there are (at most 2).
int headerSize(std::string_view bytes, long& width, long& height) {
    WordScanner words(bytes.substr(0, 15));
    std::string_view word;
    long long found[2] = {0, 0}, value = 0;
    int n = 0;
    for (bool magic = true; n < 2 && words.next(word); magic = false)
        if (!magic && parseDigits(word, value)) found[n++] = value;
    width = static_cast<long>(std::min(found[0], 99999LL));
    height = static_cast<long>(std::min(found[1], 99999LL));
    return n;
}

} // namespace

FuzzResult fuzzOff(const uint8_t* data, size_t size) {
    return readMesh(
        10.9f, [&](Smesh& mesh) { return readOffMesh(&mesh, "fuzz.off", bytesOf(data, size)); });
}

FuzzResult fuzzSmf(const uint8_t* data, size_t size) {
    return readMesh(
        9.9f, [&](Smesh& mesh) { return readSmfMesh(&mesh, "fuzz.smf", bytesOf(data, size)); });
}

FuzzResult fuzzObj(const uint8_t* data, size_t size) {
    const std::string_view all = bytesOf(data, size);
    const size_t split = all.find(objMtlSeparator);
    const std::string_view obj = all.substr(0, split);
    const bool hasMtl = split != std::string_view::npos;
    const std::string_view mtl = hasMtl ? all.substr(split + objMtlSeparator.size()) : "";
    const GLMmaterialSource materials = [&](const char* path, std::string& bytes) {
        FUZZ_CHECK(path != nullptr);
        if (!hasMtl) return false;
        bytes.assign(mtl);
        return true;
    };
    const ReadResult read = guardedRead([&] {
        ModelOwner model(glmReadOBJFromBytes("fuzz.obj", obj, materials));
        FUZZ_CHECK(model != nullptr);
        checkObjModel(*model);
    });
    if (!read) return outcomeOf(read);
    return readMesh(9.9f,
                    [&](Smesh& mesh) { return readObjMesh(&mesh, "fuzz.obj", obj, materials); });
}

FuzzResult fuzzPly(const uint8_t* data, size_t size) {
    const std::string_view bytes = bytesOf(data, size);
    const FuzzResult result =
        readMesh(9.9f, [&](Smesh& mesh) { return readPlyMesh(&mesh, "fuzz.ply", bytes); });
    // Every element through the library's own calls, whatever the mesh reader asked of it; a
    // refusal there is the library's answer, not a fault.
    if (result.outcome == FuzzOutcome::Loaded) guardedRead([&] { readEveryPlyElement(bytes); });
    return result;
}

FuzzResult fuzzPgm(const uint8_t* data, size_t size) {
    GoodnessImage image;
    if (!parsePGMImage(bytesOf(data, size), image).empty()) return {FuzzOutcome::Refused, 0};
    FUZZ_CHECK(image.width > 0 && image.height > 0 && image.cells != nullptr);
    const size_t cells = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    FUZZ_CHECK(cells <= size && image.texels.size() == 3 * cells);
    for (size_t k = 0; k < cells; ++k) {
        const float g = image.cells[3 * k];
        FUZZ_CHECK(g >= 0.0f && g <= 1.0f);
        for (int c = 0; c < 3; ++c)
            FUZZ_CHECK(image.texels[3 * k + c] >= 0.0f && image.texels[3 * k + c] <= 1.0f);
    }
    return {FuzzOutcome::Loaded, 0};
}

FuzzResult fuzzVgf(const uint8_t* data, size_t size) {
    const std::string_view bytes = bytesOf(data, size);
    long width = 0, height = 0;
    if (headerSize(bytes, width, height) == 2) {
        if (width < 1 || width > 64 || height < 1 || height > 64) {
            width = 3;
            height = 2;
        }
    } else {
        width = height = 0;
    }
    GradientImage parsed;
    if (!parseVGFImage(bytes, static_cast<int>(width), static_cast<int>(height), parsed).empty())
        return {FuzzOutcome::Refused, 0};
    FUZZ_CHECK(parsed.width == width && parsed.height == height);
    const size_t cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    FUZZ_CHECK(cells > 0 && parsed.magnitudeAngle.size() == 2 * cells);
    FUZZ_CHECK(15 + 8 * cells <= size);
    const float pi = static_cast<float>(M_PI);
    for (size_t k = 0; k < cells; ++k) {
        const float magnitude = parsed.magnitudeAngle[2 * k];
        const float angle = parsed.magnitudeAngle[2 * k + 1];
        FUZZ_CHECK(std::isfinite(magnitude) && magnitude >= 0.0f);
        FUZZ_CHECK(angle >= -pi && angle <= pi);
    }
    return {FuzzOutcome::Loaded, 0};
}

FuzzResult fuzzOrbit(const uint8_t* data, size_t size) {
    std::vector<PathPoint> loop{{0, 1}};
    const ReadResult result = parseOrbitLoop("fuzz.txt", bytesOf(data, size), loop);
    if (!result) {
        FUZZ_CHECK(loop.empty() && result.status == -1);
        FUZZ_CHECK(result.message.rfind("loadViewPath(): fuzz.txt: ", 0) == 0);
        return {FuzzOutcome::Refused, 0};
    }
    const size_t n = loop.size();
    FUZZ_CHECK(n >= 2 && n % 2 == 0 && n <= size + 2);
    for (const PathPoint& p : loop)
        FUZZ_CHECK(std::isfinite(p.theta) && std::isfinite(p.phi));
    return {FuzzOutcome::Loaded, 0};
}

FuzzResult fuzzLists(const uint8_t* data, size_t size) {
    const std::string_view bytes = bytesOf(data, size);
    std::vector<std::string_view> words;
    size_t k = 0;
    while (k < bytes.size()) {
        while (k < bytes.size() && isTextSpace(bytes[k]))
            ++k;
        const size_t start = k;
        while (k < bytes.size() && !isTextSpace(bytes[k]))
            ++k;
        if (k > start) words.push_back(bytes.substr(start, k - start));
    }

    std::vector<std::string_view> names;
    const int tooLong = parseNameList(bytes, names);
    size_t expected = words.size();
    for (size_t w = 0; w < words.size(); ++w)
        if (words[w].size() > 49) {
            expected = w;
            break;
        }
    FUZZ_CHECK(tooLong >= 0);
    FUZZ_CHECK(names.size() == expected);
    if (tooLong > 0)
        FUZZ_CHECK(static_cast<size_t>(tooLong) == expected + 1);
    else
        FUZZ_CHECK(expected == words.size());
    for (size_t w = 0; w < names.size(); ++w)
        FUZZ_CHECK(names[w] == words[w]);
    return {tooLong > 0 ? FuzzOutcome::Refused : FuzzOutcome::Loaded, 0};
}
