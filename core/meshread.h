#pragma once
#include "geom.h"
#include "glm.h"

#include <string_view>

// Mesh files into meshes: the OFF and SMF readers, and the conversion of an OBJ model. Each
// reader parses bytes already in memory (filename only names them in messages), releases what
// mesh held, fills it with positions and triangles (polygons fanned from their first corner)
// and sets its bounds. A file that cannot be read as it stands comes back as the result, with
// the mesh left empty or partly filled but always safe to free; the progress lines the formats
// have always printed go to standard output as before.

// OFF (also COFF, NOFF and friends: "N" in the keyword means six numbers per vertex, and extra
// numbers after a vertex or face are passed over). *hasNormals tells whether the keyword asked
// for normals.
ReadResult readOffMesh(Smesh* mesh, const char* filename, std::string_view bytes,
                       bool* hasNormals = nullptr);
// SMF: "v x y z" and "f a b c ..." lines, 1-based indices; other lines are passed over.
ReadResult readSmfMesh(Smesh* mesh, const char* filename, std::string_view bytes);
// OBJ, with its material file from materials (see glm.h). A position used with two normal
// indices becomes two mesh vertices, so that the normals derived later stay apart across the
// seam; every position is kept, used by a face or not.
ReadResult readObjMesh(Smesh* mesh, const char* filename, std::string_view bytes,
                       const GLMmaterialSource& materials);
// The same conversion of a model already read.
ReadResult convertObjModel(Smesh* mesh, GLMmodel* model, const char* filename);

// In the list of the key's position (vindex), the mesh vertex of the first entry with the
// key's normal index; -1 if there is none.
int findNormal(ClinkedList<Svector3>* normalLists, Svector3* key);

// Reads the mesh file by its extension (OFF, OBJ, PLY, SMF in any letter case), scales a model
// smaller than the format's size (10.9 for OFF, 9.9 for the others) up to that size about the
// origin and numbers the triangles, as the viewer does with a model it loads. The name is left
// alone. An OBJ file's material file is looked for beside it.
ReadResult readModelFile(Smesh* mesh, const char* path);

// Moves the bounding box's centre to the origin and scales the greatest half side to size; a
// mesh whose positions are all equal is only moved.
void normalizeMesh(Smesh* mesh, float size);
