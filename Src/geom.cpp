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
