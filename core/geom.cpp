#include "geom.h"

#include "readfile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>

char smeshEmptyName[1] = {'\0'};

// Blocks of several megabytes (the arrays of a large model, its file's bytes) are placed on
// 2 MiB boundaries and offered huge pages: a model of millions of triangles then takes
// hundreds instead of hundreds of thousands of page faults while its arrays are first filled.
// Every block is released with free().
static void* bigAlloc(size_t bytes) {
    constexpr size_t huge = size_t(2) << 20;
    if (bytes < 2 * huge) return std::malloc(bytes);
    void* p = nullptr;
    if (posix_memalign(&p, huge, bytes) != 0) return nullptr;
    madvise(p, (bytes + huge - 1) & ~(huge - 1), MADV_HUGEPAGE);
    return p;
}

// ---- Records ------------------------------------------------------------------------------

void resetSmesh(Smesh* mesh) {
    mesh->verts = nullptr;
    mesh->tris = nullptr;
    mesh->edges = nullptr;
    mesh->nverts = 0;
    mesh->ntris = 0;
    mesh->nedges = 0;
    mesh->name = smeshEmptyName;
    mesh->trisPool = nullptr;
    mesh->edgesPool = nullptr;
}

void resetSvertex(Svertex* v) {
    v->edges = nullptr;
    v->tris = nullptr;
    v->nedges = 0;
    v->ntris = 0;
}

// Releases the incident-edge lists only.
static void freeVertEdges(Smesh* mesh) {
    for (int i = 0; i < mesh->nverts; ++i) {
        Svertex& v = mesh->verts[i];
        if (!mesh->edgesPool) std::free(v.edges);
        v.edges = nullptr;
        v.nedges = 0;
    }
    std::free(mesh->edgesPool);
    mesh->edgesPool = nullptr;
}

// Releases both lists of every vertex and, when startOver, sets every index to the vertex's
// position and (with clearAreas) every area to 0 in the same walk.
static void releaseLists(Smesh* mesh, bool startOver, bool clearAreas) {
    const bool trisPooled = mesh->trisPool != nullptr;
    const bool edgesPooled = mesh->edgesPool != nullptr;
    for (int i = 0; i < mesh->nverts; ++i) {
        Svertex& v = mesh->verts[i];
        if (!trisPooled) std::free(v.tris);
        if (!edgesPooled) std::free(v.edges);
        resetSvertex(&v);
        if (startOver) v.index = i;
        if (clearAreas) v.area = 0;
    }
    std::free(mesh->trisPool);
    mesh->trisPool = nullptr;
    std::free(mesh->edgesPool);
    mesh->edgesPool = nullptr;
}

void freeVertNeighbors(Smesh* mesh) {
    if (!mesh) return;
    releaseLists(mesh, false, false);
}

void freeSmesh(Smesh* mesh) {
    freeVertNeighbors(mesh);
    std::free(mesh->verts);
    std::free(mesh->tris);
    std::free(mesh->edges);
    if (mesh->name != smeshEmptyName) std::free(mesh->name);
    resetSmesh(mesh);
}

// Gives every vertex its incident-triangle list, sized by the counts already in ntris, as one
// block; the counts go back to 0 for the filling pass.
// Points every vertex's list (list, count) into one block of the counted entries, each list
// emptied for filling. One block instead of one per vertex is what keeps rebuilding the lists of a
// large model fast.
template <class T>
static T** placeVertexLists(Smesh* mesh, size_t total, T** Svertex::*list, int Svertex::*count,
                            const char* what) {
    auto** pool = static_cast<T**>(meshAlloc(total, sizeof(T*), what));
    size_t offset = 0;
    for (int i = 0; i < mesh->nverts; ++i) {
        Svertex& v = mesh->verts[i];
        v.*list = v.*count > 0 ? pool + offset : nullptr;
        offset += static_cast<size_t>(v.*count);
        v.*count = 0;
    }
    return pool;
}

static void allocateTriLists(Smesh* mesh) {
    size_t total = 0;
    for (int i = 0; i < mesh->nverts; ++i)
        total += static_cast<size_t>(mesh->verts[i].ntris);
    mesh->trisPool =
        placeVertexLists(mesh, total, &Svertex::tris, &Svertex::ntris, "surf->verts[i].tris");
}

void computeVertNeighbors(Smesh* mesh) {
    if (!mesh) return;
    releaseLists(mesh, true, false);
    for (int t = 0; t < mesh->ntris; ++t)
        for (Svertex* c : mesh->tris[t].verts)
            ++c->ntris;
    allocateTriLists(mesh);
    for (int t = 0; t < mesh->ntris; ++t) {
        Striangle* tri = &mesh->tris[t];
        for (Svertex* c : tri->verts)
            c->tris[c->ntris++] = tri;
    }
}

// ---- Normals and areas ----------------------------------------------------------------------

static void setTriNormal(Striangle& tri) {
    const float* p0 = tri.verts[0]->pos;
    const float* p1 = tri.verts[1]->pos;
    const float* p2 = tri.verts[2]->pos;
    const float ux = p1[0] - p0[0], uy = p1[1] - p0[1], uz = p1[2] - p0[2];
    const float wx = p2[0] - p0[0], wy = p2[1] - p0[1], wz = p2[2] - p0[2];
    const float n[3] = {uy * wz - uz * wy, uz * wx - ux * wz, ux * wy - uy * wx};
    const float squares = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    const double length = std::sqrt(static_cast<double>(squares));
    for (int k = 0; k < 3; ++k)
        tri.normal[k] = length == 0 ? 0.0f : static_cast<float>(n[k] / length);
}

void computeTriNormals(Smesh* mesh) {
    for (int t = 0; t < mesh->ntris; ++t)
        setTriNormal(mesh->tris[t]);
}

static float sideLength(const float* a, const float* b) {
    const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void computeTriangleArea(Striangle* t) {
    const float* p0 = t->verts[0]->pos;
    const float* p1 = t->verts[1]->pos;
    const float* p2 = t->verts[2]->pos;
    const float d0 = sideLength(p2, p0);
    const float d1 = sideLength(p1, p0);
    const float d2 = sideLength(p2, p1);
    const float s = (d0 + d1 + d2) * 0.5f;
    const float product = (s - d0) * s * (s - d1) * (s - d2);
    // On a sliver whose corners are (nearly) in line, rounding can leave the product a little
    // below zero; its area is then 0, not the square root of a negative number.
    t->area = product > 0 ? std::sqrt(product) : 0.0f;
}

void computeTriangleAreas(Smesh* mesh) {
    for (int t = 0; t < mesh->ntris; ++t)
        computeTriangleArea(&mesh->tris[t]);
}

void computeVertexAreas(Smesh* mesh) {
    for (int i = 0; i < mesh->nverts; ++i)
        mesh->verts[i].area = 0;
    for (int t = 0; t < mesh->ntris; ++t) {
        const double third = static_cast<double>(mesh->tris[t].area) / 3.0;
        for (Svertex* c : mesh->tris[t].verts)
            c->area = static_cast<float>(static_cast<double>(c->area) + third);
    }
}

void computeSmeshAreas(Smesh* mesh) {
    computeTriangleAreas(mesh);
    computeVertexAreas(mesh);
}

// Area-weighted sums of the incident triangles' normals, per vertex.
static void sumVertNormals(Smesh* mesh) {
    for (int i = 0; i < mesh->nverts; ++i) {
        Svertex& v = mesh->verts[i];
        double sum[3] = {0, 0, 0};
        for (int j = 0; j < v.ntris; ++j) {
            const Striangle* t = v.tris[j];
            for (int k = 0; k < 3; ++k)
                sum[k] += static_cast<double>(t->normal[k] * t->area);
        }
        const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
        for (int k = 0; k < 3; ++k)
            v.normal[k] = length != 0 ? static_cast<float>(sum[k] / length) : 0.0f;
    }
}

void computeVertNormals(Smesh* mesh) {
    if (!mesh) return;
    computeVertNeighbors(mesh);
    computeSmeshAreas(mesh);
    sumVertNormals(mesh);
}

// The same values as computeTriNormals followed by computeVertNormals, in fewer walks over the
// arrays: a triangle's normal, its area and the counts of its corners come from one read of
// its corners; the filling of the incident lists also sums the vertex areas and the weighted
// normals, in the order the lists hold them. A model of millions of triangles spends most of
// this time waiting for memory, so the walks are what counts.
void computeNormals(Smesh* mesh) {
    if (!mesh) return;
    releaseLists(mesh, true, true);
    for (int t = 0; t < mesh->ntris; ++t) {
        Striangle& tri = mesh->tris[t];
        setTriNormal(tri);
        computeTriangleArea(&tri);
        for (Svertex* c : tri.verts)
            ++c->ntris;
    }
    allocateTriLists(mesh);
    // Sums of the weighted normals, three doubles per vertex. Without room for them the sums
    // are gathered from the lists afterwards instead.
    const size_t sumBytes = 3 * sizeof(double) * static_cast<size_t>(mesh->nverts);
    MeshBlock<double> sums(mesh->nverts > 0 ? static_cast<double*>(bigAlloc(sumBytes)) : nullptr);
    double* const sum = sums.get();
    if (sum) std::memset(sum, 0, sumBytes);
    for (int t = 0; t < mesh->ntris; ++t) {
        Striangle* tri = &mesh->tris[t];
        const double third = static_cast<double>(tri->area) / 3.0;
        const double weighted[3] = {static_cast<double>(tri->normal[0] * tri->area),
                                    static_cast<double>(tri->normal[1] * tri->area),
                                    static_cast<double>(tri->normal[2] * tri->area)};
        for (Svertex* c : tri->verts) {
            c->tris[c->ntris++] = tri;
            c->area = static_cast<float>(static_cast<double>(c->area) + third);
            if (sum) {
                double* s = sum + 3 * static_cast<size_t>(c - mesh->verts);
                s[0] += weighted[0];
                s[1] += weighted[1];
                s[2] += weighted[2];
            }
        }
    }
    if (!sum) {
        sumVertNormals(mesh);
        return;
    }
    for (int i = 0; i < mesh->nverts; ++i) {
        const double* s = sum + 3 * static_cast<size_t>(i);
        const double length = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        for (int k = 0; k < 3; ++k)
            mesh->verts[i].normal[k] = length != 0 ? static_cast<float>(s[k] / length) : 0.0f;
    }
}

// ---- Edges ----------------------------------------------------------------------------------

static bool hasCorner(const Striangle* t, const Svertex* v) {
    return t->verts[0] == v || t->verts[1] == v || t->verts[2] == v;
}

namespace {

// Per-vertex marks of the edge building: which vertices are done, and which neighbours of the
// current one already have an edge.
struct EdgeMarks {
    MeshBlock<unsigned char> visited;
    MeshBlock<unsigned char> added;
    explicit EdgeMarks(int nv)
        : visited(static_cast<unsigned char*>(meshAlloc(static_cast<size_t>(nv), 1, "visited"))),
          added(static_cast<unsigned char*>(meshAlloc(static_cast<size_t>(nv), 1, "added"))) {
        if (nv > 0) {
            std::memset(visited.get(), 0, static_cast<size_t>(nv));
            std::memset(added.get(), 0, static_cast<size_t>(nv));
        }
    }
};

// Counting pass: the distinct neighbours of each vertex size its edge list. The counts wait in
// nedges until the one block for all lists is allocated. Returns their sum.
int64_t countNeighbours(Smesh* mesh, unsigned char* added) {
    int maxTris = 0;
    for (int i = 0; i < mesh->nverts; ++i)
        maxTris = std::max(maxTris, mesh->verts[i].ntris);
    MeshBlock<int> seen(
        static_cast<int*>(meshAlloc(2 * static_cast<size_t>(maxTris), sizeof(int), "intbuf")));
    int64_t total = 0;
    for (int i = 0; i < mesh->nverts; ++i) {
        Svertex& v = mesh->verts[i];
        int k = 0;
        for (int j = 0; j < v.ntris; ++j)
            for (const Svertex* x : v.tris[j]->verts)
                if (x->index != v.index && !added[x->index]) {
                    added[x->index] = 1;
                    seen.get()[k++] = x->index;
                }
        for (int j = 0; j < k; ++j)
            added[seen.get()[j]] = 0;
        v.nedges = k;
        total += k;
    }
    return total;
}

// The triangle other than t on the side from v to w: the first in array order that holds both
// ends, or null on a boundary. Both ends list their triangles in that order, so the shorter list
// tells: a vertex shared by a million triangles costs no more than its neighbours' lists.
Striangle* otherTriangle(const Svertex* v, const Svertex* w, const Striangle* t) {
    const Svertex* scan = v->ntris <= w->ntris ? v : w;
    const Svertex* other = scan == v ? w : v;
    for (int s = 0; s < scan->ntris; ++s)
        if (scan->tris[s]->index != t->index && hasCorner(scan->tris[s], other))
            return scan->tris[s];
    return nullptr;
}

// Building pass. Each pair of neighbours becomes one edge, made while the lower-placed end is
// processed. A corner that repeats v is not a neighbour of v, so a triangle with a repeated
// corner adds no edge from a vertex to itself and every list stays within its count. Returns the
// number of edges made (at most capacity).
int buildEdges(Smesh* mesh, Sedge* edges, int64_t capacity, EdgeMarks& marks) {
    unsigned char* const visited = marks.visited.get();
    unsigned char* const added = marks.added.get();
    int created = 0;
    for (int i = 0; i < mesh->nverts; ++i) {
        Svertex& v = mesh->verts[i];
        if (visited[i]) continue;
        for (int j = 0; j < v.ntris; ++j) {
            Striangle* t = v.tris[j];
            int slot = 0;
            while (slot < 3 && t->verts[slot] != &v)
                ++slot;
            if (slot == 3) continue;
            for (Svertex* w : {t->verts[(slot + 1) % 3], t->verts[(slot + 2) % 3]}) {
                if (w == &v || visited[w->index] || added[w->index]) continue;
                if (created >= capacity) continue;
                Sedge& e = edges[created++];
                e.verts[0] = &v;
                e.verts[1] = w;
                e.tris[0] = t;
                e.tris[1] = otherTriangle(&v, w, t);
                added[w->index] = 1;
                v.edges[v.nedges++] = &e;
                w->edges[w->nedges++] = &e;
            }
        }
        for (int j = 0; j < v.nedges; ++j) {
            const Sedge* e = v.edges[j];
            added[(e->verts[0] == &v ? e->verts[1] : e->verts[0])->index] = 0;
        }
        visited[i] = 1;
    }
    return created;
}

} // namespace

void computeEdges(Smesh* mesh) {
    if (!mesh) return;
    // A second call on the same neighbour lists starts over instead of appending past the
    // counted sizes.
    freeVertEdges(mesh);
    std::free(mesh->edges);
    mesh->edges = nullptr;
    mesh->nedges = 0;

    EdgeMarks marks(mesh->nverts);
    const int64_t total = countNeighbours(mesh, marks.added.get());
    mesh->edgesPool = placeVertexLists(mesh, static_cast<size_t>(total), &Svertex::edges,
                                       &Svertex::nedges, "mesh->verts[i].edges");

    const int estimate = static_cast<int>(total / 2);
    const int64_t capacity =
        std::min<int64_t>(static_cast<int64_t>(static_cast<float>(estimate) * 1.1f), INT32_MAX);
    auto* edges =
        static_cast<Sedge*>(meshAlloc(static_cast<size_t>(capacity), sizeof(Sedge), "mesh->edges"));
    mesh->edges = edges;
    mesh->nedges = static_cast<int>(capacity);

    const int created = buildEdges(mesh, edges, capacity, marks);
    mesh->nedges = created;
    std::printf("# mesh: %d vertices, %d triangles, %d edges=%d\n", mesh->nverts, mesh->ntris,
                created, estimate);
}

// ---- Shared reader support ------------------------------------------------------------------

void MeshBounds::store(Smesh* mesh) const {
    double extent = 0;
    for (int k = 0; k < 3; ++k) {
        mesh->center[k] = static_cast<float>((lo[k] + hi[k]) * 0.5);
        const double half = (hi[k] - lo[k]) * 0.5;
        if (k == 0 || half > extent) extent = half;
    }
    mesh->extent = static_cast<float>(extent);
}

static size_t meshAllocLimit = SIZE_MAX;

size_t setMeshAllocLimit(size_t maxBytes) {
    const size_t previous = meshAllocLimit;
    meshAllocLimit = maxBytes;
    return previous;
}

static long meshAllocFailAfter = -1;

void setMeshAllocFailAfter(long n) {
    meshAllocFailAfter = n;
}

void* meshAlloc(size_t count, size_t size, const char* what) {
    if (count == 0) return nullptr;
    bool fits = size == 0 || count <= meshAllocLimit / size;
    if (meshAllocFailAfter >= 0 && meshAllocFailAfter-- == 0) fits = false;
    void* p = fits ? bigAlloc(count * size) : nullptr;
    if (!p)
        throw MeshAllocError{what,
                             static_cast<double>(count) * static_cast<double>(size) / 1000000.0};
    return p;
}

void MeshFree::operator()(void* p) const {
    std::free(p);
}

void meshFileError(const char* filename, long line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    char what[512];
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    if (line > 0)
        abortRead(
            readFailure(filename, line, -1, "read_model(): %s:%ld: %s", filename, line, what));
    abortRead(readFailure(filename, 0, -1, "read_model(): %s: %s", filename, what));
}

bool FileBytes::read(const char* path) {
    data.reset();
    size = 0;
    RegularFile file;
    if (file.open(path) != FileStatus::ok) return false;
    if (file.size() == 0) return true;
    data.reset(static_cast<char*>(bigAlloc(file.size())));
    if (data && file.read(data.get()) == file.size()) {
        size = file.size();
        return true;
    }
    data.reset();
    return false;
}
