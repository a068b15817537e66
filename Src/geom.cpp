#include "geom.h"
// placeholder: being written
void resetSmesh(Smesh* m) { *m = Smesh{}; m->name = nullptr; }
void resetSvertex(Svertex*) {}
void freeVertNeighbors(Smesh*) {}
void freeSmesh(Smesh*) {}
void computeVertNeighbors(Smesh*) {}
void computeEdges(Smesh*) {}
void computeTriNormals(Smesh*) {}
void computeTriangleArea(Striangle*) {}
void computeTriangleAreas(Smesh*) {}
void computeVertexAreas(Smesh*) {}
void computeSmeshAreas(Smesh*) {}
void computeVertNormals(Smesh*) {}
void computeNormals(Smesh*) {}
#include "file.h"
#include <cstdio>
#include <cstdlib>
void MeshBounds::store(Smesh* mesh) const {
    double extent = 0;
    for (int k = 0; k < 3; ++k) {
        mesh->center[k] = static_cast<float>((lo[k] + hi[k]) * 0.5);
        const double half = (hi[k] - lo[k]) * 0.5;
        if (k == 0 || half > extent)
            extent = half;
    }
    mesh->extent = static_cast<float>(extent);
}
void* meshAlloc(size_t count, size_t size, const char* what) {
    if (count == 0)
        return nullptr;
    void* p = (size != 0 && count > SIZE_MAX / size) ? nullptr : std::malloc(count * size);
    if (!p) {
        std::printf("Memory allocation error for \"%s\" %.3f MB\n", what,
                    static_cast<double>(count) * static_cast<double>(size) / 1000000.0);
        endProcess(0);
    }
    return p;
}
