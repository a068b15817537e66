#pragma once
#include "meshStamp.h"

#include <memory>
#include <string>
#include <vector>

class Geometry;

// Opening a user's mesh file: which data tree it goes to, which model name it gets, whether its
// maps are already in the tree, and how it is shown before they are.

// The tree a viewer started with mesh files uses: ".." when ../Data holds a tree (as a start
// without files), otherwise the user's own tree (userTreeRoot).
bool startFolderHoldsTree();
// $XDG_DATA_HOME/orvalis, or ~/.local/share/orvalis when XDG_DATA_HOME is unset or relative.
// Empty when neither it nor HOME is set.
std::string userTreeRoot();
// Makes what the viewer needs in a tree that lacks it: the folders, the view sphere, the
// instructions, the attribute list the baker makes and an empty model list. Files already there
// are kept. Returns the reason it could not, naming the file or folder, or an empty text.
std::string makeUserTree(const std::string& root);
// The reason the tree at root cannot take a new model (a folder that is not writable), or empty.
std::string treeNotWritable(const std::string& root);

// "off", "obj", "ply" or "smf" for a mesh file (any letter case); empty for anything else.
std::string meshFormat(const std::string& path);
// The up axis a file of that format is usually made with: +y for OBJ and PLY, +z for OFF and SMF.
std::string defaultUpAxis(const std::string& path);

// The model name of a file: its name up to the first '.', characters that a model name cannot
// hold turned into '_', shortened to what a list entry holds (49 characters).
std::string modelNameBase(const std::string& path);
// base for k = 1, otherwise base shortened so that base + "-k" still fits a list entry.
std::string numberedName(const std::string& base, int k);

// What opening one file will do.
struct OpenPlan {
    std::string path;    // absolute
    std::string name;    // the model name
    MeshStamp stamp;     // what the maps are to be made from
    bool listed = false; // the name is already in the model list
    bool bake = true;    // false: the tree holds this mesh's maps from this baker already
};

// Why a file cannot be opened at all (not one of the four formats, missing, unreadable), naming
// it; empty when it can be tried.
std::string unopenable(const std::string& file);

// Reads the file, hashes it, checks that the viewer's readers take it and chooses its name
// against the model list and the stamps in the tree: the first of base, base-2, base-3, ... that
// is either unused or holds the same mesh. up empty: the file format's default. Returns the
// reason the file cannot be opened (naming it), or an empty text.
std::string planOpen(const std::string& file, const std::string& up, OpenPlan& plan);

// The index of a model name in the settings' list, or -1.
int modelIndex(const std::string& name);
// Appends a name to the settings' model list (in memory; the baker extends the file).
void appendModelName(const std::string& name);
// Removes entry i from the settings' model list, keeping the selection on the same model.
void removeModelName(int i);

// Models whose maps are being made: shown from their own file until the baker is done.
void addPendingModel(const OpenPlan& plan);
void removePendingModel(const std::string& name);
const OpenPlan* pendingModel(const std::string& name);

// Reads a mesh file as the baker will leave it in the tree: through the viewer's readers, turned
// so that up becomes +z and scaled into the view. On failure mesh is untouched and the reason
// (naming the file) is returned.
std::string readTurnedMesh(const std::string& path, const std::string& up, Geometry& into);

// Loads the selected model into geometry.model with its maps. A pending model comes from its own
// file with flat maps (every view equally good, no gradient), so the trackball is the plain one
// until its maps arrive; any other from the tree, as at start.
void loadSelectedModel(Geometry& geometry);
// Replaces the maps with flat ones of the baker's size.
void installFlatMaps();
