#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geom.h"

// An element-oriented reader for PLY polygon files (ascii, binary_big_endian,
// binary_little_endian). The caller opens a file, learns the element types from its header,
// states for each wanted property where and as what type the value goes in its own record, and
// then pulls the records of each element type in file order.
//
// Bad input stops the reading at its first problem with ReadAbort (see readresult.h), which
// readPlyMesh returns as its result; a property the caller asks for but the file lacks only
// prints a warning.

// Type codes; the index into type_names and ply_type_size.
enum {
    PLY_INVALID = 0,
    PLY_CHAR = 1,
    PLY_SHORT = 2,
    PLY_INT = 3,
    PLY_UCHAR = 4,
    PLY_USHORT = 5,
    PLY_UINT = 6,
    PLY_FLOAT = 7,
    PLY_DOUBLE = 8,
    PLY_END_TYPE = 9,
};

// File type codes of the "format" line.
enum {
    PLY_ASCII = 1,
    PLY_BINARY_BE = 2,
    PLY_BINARY_LE = 3,
};

extern const char* const type_names[PLY_END_TYPE];
extern const int ply_type_size[PLY_END_TYPE];

// True on a big-endian host. Binary values whose byte order differs from the host's are
// reversed as they are read.
extern bool bigEndian;

struct PlyProperty {
    std::string name;
    int type_in_file = PLY_INVALID;   // of the value, or of each list item
    int type_in_memory = PLY_INVALID; // what the caller wants stored
    int offset = 0;                   // of the value, or of the list pointer, in the record
    int is_list = 0;
    int count_type_in_file = PLY_INVALID;
    int count_type_in_memory = PLY_INVALID;
    int count_offset = 0; // of the stored list count in the record
};

struct PlyElement {
    std::string name;
    int count = 0; // records of this type in the file
    int num_props = 0;
    std::vector<std::unique_ptr<PlyProperty>> props;
    std::vector<char> store; // 1 per property the caller asked for
};

// The bytes of an open file and the read position in them.
struct PlyCursor {
    std::string_view data;
    size_t pos = 0;
    size_t remaining() const { return data.size() - pos; }
};

struct PlyFile {
    PlyCursor fp;
    int file_type = 0;
    float version = 0;
    int num_elements = 0;
    std::vector<std::unique_ptr<PlyElement>> elements;
    int num_comments = 0;
    std::vector<std::string> comments;
    int num_obj_info = 0;
    std::vector<std::string> obj_info;
    PlyElement* current_element = nullptr;

    std::string name;  // the file name used in messages
    std::string bytes; // the file's contents when the library read it itself
};

// Appends ".ply" to filename unless it ends in exactly ".ply", reads that file and its header.
// Returns null when the file cannot be read or its header is not a PLY header. Header faults that
// the format cannot mean (a count the file cannot hold, a property before any element, ...) are
// reported and end the process.
PlyFile* ply_open_for_reading(const char* filename, int* nelems,
                              std::vector<std::string>* elem_names, int* file_type, float* version);
// The same over bytes already in memory; they must outlive the PlyFile. filename names them in
// messages.
PlyFile* ply_open_for_reading_bytes(std::string_view bytes, const char* filename, int* nelems,
                                    std::vector<std::string>* elem_names, int* file_type,
                                    float* version);

// Copies of the properties of the named element type; nullopt when there is none.
std::optional<std::vector<PlyProperty>>
ply_get_element_description(PlyFile* plyfile, const char* elem_name, int* nelems, int* nprops);
// Makes elem_name the current element type and asks for prop (matched by name) to be stored as
// prop describes. A missing property gets a warning on stderr.
void ply_get_property(PlyFile* plyfile, const char* elem_name, const PlyProperty* prop);
// Reads the next record of the current element type into elem_ptr. List storage is allocated
// with malloc and belongs to the caller.
void ply_get_element(PlyFile* plyfile, void* elem_ptr);
// Reads and drops every record of elem_name, which must be the next element type in the file.
void ply_skip_element(PlyFile* plyfile, const char* elem_name);
const std::vector<std::string>& ply_get_comments(PlyFile* plyfile, int* num_comments);
const std::vector<std::string>& ply_get_obj_info(PlyFile* plyfile, int* num_obj_info);
void ply_close(PlyFile* plyfile);
int equal_strings(const char* s1, const char* s2);

// Internal steps, visible for tests.
PlyElement* find_element(PlyFile* plyfile, std::string_view element);
PlyProperty* find_property(PlyElement* elem, std::string_view prop_name, int* index);
int get_prop_type(std::string_view type_name);
// malloc that stops the reading with "Memory allocation bombed on line %d in %s" on failure.
void* my_alloc(size_t size, int lnum, const char* fname);

// Closes a PlyFile when it goes out of scope.
struct PlyCloser {
    void operator()(PlyFile* plyfile) const { ply_close(plyfile); }
};
using PlyFilePtr = std::unique_ptr<PlyFile, PlyCloser>;

// Reads PLY bytes into mesh (its "vertex" x, y, z and its "face" vertex_indices lists, fanned
// into triangles; other elements are stepped over); filename names the bytes in messages.
ReadResult readPlyMesh(Smesh* mesh, const char* filename, std::string_view bytes);
// The same with the file read as ply_open_for_reading does (".ply" appended when missing).
ReadResult readPlyMeshFile(Smesh* mesh, const char* filename);
