#pragma once
#include "meshread.h"
#include "plyfile.h"

#include <string_view>

// The two meshes the view draws, the view sphere and the current model, and their readers.
// Every reader fills an emptied mesh from a file and never returns on a failure: it prints one
// line naming the file and ends the process (see endProcess in file.h).
//
// Each reader has a second entry point that parses bytes already in memory; filename is then
// only the name used in messages. The file-name entry points read the whole file and call them.
class Geometry {
public:
    Geometry();
    ~Geometry();
    Geometry(const Geometry&) = delete;
    Geometry& operator=(const Geometry&) = delete;

    void load();       // loadSphere, then loadModel
    void loadSphere(); // ../Data/Models/sphere.obj, scaled to sphereRadius
    void loadModel();  // the selected model's OFF file

    // Picks the reader by the extension (OFF, OBJ, PLY, SMF; any letter case), releases what
    // mesh held before, fills it, scales a model smaller than the format's size limit up to that
    // size about the origin, numbers the triangles and names the mesh.
    void readModel(Smesh* mesh, const char* filename);
    void normalizeModel(Smesh* mesh, float size);

    void readOffModel(Smesh* mesh, const char* filename);
    void readOffModelFromBytes(Smesh* mesh, const char* filename, std::string_view bytes);
    void readSmfModel(Smesh* mesh, const char* filename);
    void readSmfModelFromBytes(Smesh* mesh, const char* filename, std::string_view bytes);
    void readPlyModel(Smesh* mesh, const char* filename);
    void readObjModel(Smesh* mesh, const char* filename);
    // materials supplies the material file named by an "mtllib" line (see glm.h).
    void readObjModelFromBytes(Smesh* mesh, const char* filename, std::string_view bytes,
                               const GLMmaterialSource& materials);

    // In the list of the key's position (vindex), the mesh vertex of the first entry with the
    // key's normal index; -1 if there is none.
    static int findNormal(ClinkedList<Svector3>* normalLists, Svector3* key);

    Smesh sphere;
    Smesh model;
    bool hasNormals = false;
    float sphereRadius = 9.9f;
};
