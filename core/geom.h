#pragma once
#include <cstddef>
#include <memory>
#include <string_view>

#include "readresult.h"
#include "textscan.h"

// Triangle meshes as plain records with free functions. Records point into the owning mesh's
// arrays, which are allocated once at their final size and never moved while those pointers
// live. Counts are 32-bit signed; coordinates are floats.

struct Sedge;
struct Striangle;

struct Svertex {
    float pos[3];
    float normal[3]; // unit vertex normal, (0, 0, 0) where undefined
    int index;       // own position in the mesh's verts
    Sedge** edges;   // owned: incident edges, in creation order
    int nedges;
    Striangle** tris; // owned: incident triangles, ascending triangle order
    int ntris;
    float area; // a third of every incident triangle's area
};

struct Striangle {
    Svertex* verts[3]; // corners in file order; the order fixes the normal's direction
    float normal[3];
    unsigned char color[3];
    float area;
    int index; // own position in the mesh's tris
};

struct Sedge {
    Svertex* verts[2];  // the first has the lower position in the vertex array
    Striangle* tris[2]; // the second is null on a boundary edge
};

// The name every mesh has while it holds none of its own; never released.
extern char smeshEmptyName[1];

struct Smesh {
    char* name = smeshEmptyName; // owned; base name of the file read
    Svertex* verts = nullptr;
    int nverts = 0;
    Striangle* tris = nullptr;
    int ntris = 0;
    Sedge* edges = nullptr;
    int nedges = 0;
    float center[3] = {0, 0, 0};
    float extent = 0; // largest half side of the bounding box
    // When set, every vertex's incident-triangle (or incident-edge) list points into this one
    // block, which the mesh owns in place of the per-vertex blocks. One block instead of a
    // million small ones is what keeps rebuilding the lists of a large model fast.
    Striangle** trisPool = nullptr;
    Sedge** edgesPool = nullptr;
};

void resetSmesh(Smesh* mesh);
void freeSmesh(Smesh* mesh);

// Frees a mesh's arrays when it goes out of scope.
struct MeshOwner {
    Smesh* mesh;
    ~MeshOwner() { freeSmesh(mesh); }
};

void resetSvertex(Svertex* v);
void freeVertNeighbors(Smesh* mesh);
void freeSmesh(Smesh* mesh);
void computeVertNeighbors(Smesh* mesh);
void computeEdges(Smesh* mesh);
void computeTriNormals(Smesh* mesh);
void computeTriangleArea(Striangle* t);
void computeTriangleAreas(Smesh* mesh);
void computeVertexAreas(Smesh* mesh);
void computeSmeshAreas(Smesh* mesh);
void computeVertNormals(Smesh* mesh);
void computeNormals(Smesh* mesh);

// Axis-aligned bounds of float positions, accumulated in double. The mesh readers start from
// 8e300 / -8e300 (the OBJ conversion from 8e30 / -8e30).
struct MeshBounds {
    double lo[3];
    double hi[3];
    explicit MeshBounds(double start = 8e300) {
        for (int k = 0; k < 3; ++k) {
            lo[k] = start;
            hi[k] = -start;
        }
    }
    void extend(const float p[3]) {
        for (int k = 0; k < 3; ++k) {
            if (p[k] < lo[k]) lo[k] = p[k];
            if (p[k] > hi[k]) hi[k] = p[k];
        }
    }
    // center = per-axis mid-point, extent = greatest half side, both stored as floats.
    void store(Smesh* mesh) const;
};

// Allocates count records of size bytes for a mesh array. On an overflowing size or a failed
// allocation throws MeshAllocError (readers return it as their result; see readresult.h).
// count 0 returns nullptr without failing.
void* meshAlloc(size_t count, size_t size, const char* what);

// Requests above maxBytes fail in meshAlloc as if the system had refused them, so that tests and
// fuzz targets can reach the failure lines and bound what a hostile file can make the process
// take. Returns the previous limit (initially SIZE_MAX).
size_t setMeshAllocLimit(size_t maxBytes);
// After n more successful requests, the next one fails the same way (once); -1 switches this
// off (the initial state).
void setMeshAllocFailAfter(long n);

// Owner for blocks from meshAlloc while a reader still fills them: nothing leaks when the reader
// stops at a problem.
struct MeshFree {
    void operator()(void* p) const;
};
template <class T> using MeshBlock = std::unique_ptr<T, MeshFree>;

// A model file that cannot be read as it stands: stops the reader with the result
// "read_model(): <file>:<line>: <what>" (line 0: no line is to blame), status -1.
[[noreturn]] void meshFileError(const char* filename, long line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The whole file in one block of exactly its size (no zero fill, no regrowth), for the readers
// that parse large models from memory.
struct FileBytes {
    std::unique_ptr<char, MeshFree> data;
    size_t size = 0;
    std::string_view view() const { return {data.get(), size}; }
    // false when the file cannot be opened or read; the buffer is then empty.
    bool read(const char* path);
};

// Pair records of the OBJ conversion: which mesh vertex (vindex) stands for an OBJ position with
// which 0-based normal index (nindex, -1 for none).
struct Svector3 {
    float x = 0, y = 0, z = 0;
    int vindex = -1;
    int nindex = -1;
};

// Singly linked list with appends at the tail and a cursor for searches.
template <class T> class ClinkedList {
public:
    struct Node {
        T value;
        Node* next;
    };
    ClinkedList() = default;
    ~ClinkedList() { clear(); }
    ClinkedList(const ClinkedList&) = delete;
    ClinkedList& operator=(const ClinkedList&) = delete;

    void append(const T& value) {
        Node* n = new Node{value, nullptr};
        if (tail)
            tail->next = n;
        else
            head = n;
        tail = n;
        ++count;
        empty = false;
    }
    void clear() {
        while (head) {
            Node* next = head->next;
            delete head;
            head = next;
        }
        tail = cursor = nullptr;
        count = 0;
        empty = true;
    }
    // Cursor walk: first() then next() until null.
    T* first() {
        cursor = head;
        return cursor ? &cursor->value : nullptr;
    }
    T* next() {
        if (cursor) cursor = cursor->next;
        return cursor ? &cursor->value : nullptr;
    }
    bool isEmpty() const { return empty; }
    int size() const { return count; }

private:
    Node* head = nullptr;
    Node* tail = nullptr;
    Node* cursor = nullptr;
    int count = 0;
    bool empty = true;
};
