#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "readresult.h"

// A small Wavefront OBJ library: positions, normals and texture coordinates in separate 1-based
// arrays, triangles (polygons fanned) whose corners carry separate position, texture and normal
// indices, groups, and the materials of an MTL file.

struct GLMmaterial {
    char* name;
    float diffuse[4];
    float ambient[4];
    float specular[4];
    float shininess;
};

struct GLMtriangle {
    unsigned int vindices[3]; // 1-based position indices
    unsigned int nindices[3]; // 1-based normal indices, 0 when the face gives none
    unsigned int tindices[3]; // 1-based texture-coordinate indices, 0 when none
};

struct GLMgroup {
    char* name;
    unsigned int numtriangles;
    unsigned int* triangles; // triangle numbers, in file order
    unsigned int material;   // index into the model's materials
    GLMgroup* next;          // the group added before this one
};

struct GLMmodel {
    char* pathname;   // the OBJ file name as given
    char* mtllibname; // from the last "mtllib" line, or null
    unsigned int numvertices;
    float* vertices; // 3 per position; position k at 3k..3k+2 (k from 1)
    unsigned int numnormals;
    float* normals; // 3 per normal, 1-based; null without normals
    unsigned int numtexcoords;
    float* texcoords; // 2 per coordinate, 1-based; null without coordinates
    unsigned int numtriangles;
    GLMtriangle* triangles;
    unsigned int nummaterials; // 0 without a material file, else its materials plus "default"
    GLMmaterial* materials;
    unsigned int numgroups;
    GLMgroup* groups; // newest first
};

// Supplies the bytes of the material file named by an "mtllib" line: asked first for the OBJ
// file's folder (up to its last '/' or '\\') followed by the name given, then for the name alone
// (the working folder). Returns false when there is no such file. Each path is asked for at most
// once per model.
using GLMmaterialSource = std::function<bool(const char* path, std::string& bytes)>;

// Reads the material file from disk.
bool glmReadMaterialFile(const char* path, std::string& bytes);

// Reads an OBJ file. Returns null when it cannot be read ("glmReadOBJ() failed: can't open data
// file \"%s\"." in result) or when its content cannot be taken as an OBJ model (a vertex line
// without its numbers, a face without three corners, an index outside the arrays: result names
// the file and line).
GLMmodel* glmReadOBJ(const char* filename, ReadResult& result);
// The reading step itself, from bytes already in memory; filename names the model in messages
// and in the material file's folder. A refused file stops it with ReadAbort, which readObjMesh
// and glmReadOBJ return as their result.
GLMmodel* glmReadOBJFromBytes(const char* filename, std::string_view bytes,
                              const GLMmaterialSource& materials);

// Releases every string and array of the model, its materials and groups, and the model.
void glmDelete(GLMmodel* model);

struct GLMmodelDelete {
    void operator()(GLMmodel* m) const { glmDelete(m); }
};
using ModelOwner = std::unique_ptr<GLMmodel, GLMmodelDelete>;

// The first pass over the OBJ text: counts positions, normals, texture coordinates and
// triangles (into the model and its groups), creates the groups with their triangle arrays, and
// reads the material file in effect after the last "mtllib" line (each file fetched once).
// Messages name the file by model->pathname.
void _glmFirstPass(GLMmodel* model, std::string_view bytes, const GLMmaterialSource& materials);
// The group of that name, created (empty, material 0, first in the list) if there is none.
GLMgroup* _glmAddGroup(GLMmodel* model, const char* name);
// Exact, case-sensitive search from the head of the list; null if absent.
GLMgroup* _glmFindGroup(GLMmodel* model, const char* name);
// Index of the material of that name; prints "_glmFindMaterial():  can't find material
// \"%s\".\n" and returns 0 when there is none.
unsigned int _glmFindMaterial(GLMmodel* model, const char* name);
// The path up to and including its last '/' or '\\'; the empty string without one. Caller frees
// the result with free().
char* _glmDirName(const char* path);
// Reads the material file name (beside the OBJ file, else in the working folder) into the model's
// materials; without such a file the model keeps the materials it has.
void _glmReadMTL(GLMmodel* model, const char* name, const GLMmaterialSource& materials);
