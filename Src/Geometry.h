#pragma once
#include "geom.h"

// The two meshes the view draws, the view sphere and the current model, and their readers.
// Every reader fills an emptied mesh from a file and never returns on a failure: it prints one
// line naming the file and ends the process (see endProcess in file.h).
class Geometry {
public:
    Geometry();
    ~Geometry();
    Geometry(const Geometry&) = delete;
    Geometry& operator=(const Geometry&) = delete;

    void load();       // loadSphere, then loadModel
    void loadSphere(); // ../Data/Models/sphere.obj, scaled to sphereRadius
    void loadModel();  // the selected model's OFF file

    void readModel(Smesh* mesh, const char* filename);
    void normalizeModel(Smesh* mesh, float size);
    void readOffModel(Smesh* mesh, const char* filename);
    void readSmfModel(Smesh* mesh, const char* filename);
    void readPlyModel(Smesh* mesh, const char* filename);
    void readObjModel(Smesh* mesh, const char* filename);

    Smesh sphere;
    Smesh model;
    bool hasNormals = false;
    float sphereRadius = 9.9f;
};
