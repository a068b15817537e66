#include "glm.h"

#include "readfile.h"
#include "geom.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <unistd.h>
#include <unordered_map>

namespace {

// Word-by-word reading of OBJ and MTL text held in memory. Words and lines may be of any
// length; nothing is copied into fixed buffers.
struct ObjText {
    std::string_view bytes;
    const char* p;
    const char* end;

    explicit ObjText(std::string_view b) : bytes(b), p(b.data()), end(b.data() + b.size()) {}

    // The next run of non-space characters, across line ends; empty at the end of the text.
    std::string_view word() {
        while (p != end && isTextSpace(*p))
            ++p;
        const char* start = p;
        while (p != end && !isTextSpace(*p))
            ++p;
        return {start, static_cast<size_t>(p - start)};
    }
    // The next word on the current line; empty at its end.
    std::string_view lineWord() {
        while (p != end && !isLineEnd(*p) && isTextSpace(*p))
            ++p;
        const char* start = p;
        while (p != end && !isTextSpace(*p))
            ++p;
        return {start, static_cast<size_t>(p - start)};
    }
    void skipLine() {
        while (p != end && !isLineEnd(*p))
            ++p;
        if (p != end) ++p;
    }
    long line() const { return lineOf(bytes, p); }
};

char* copyString(std::string_view s, const char* what) {
    auto* copy = static_cast<char*>(meshAlloc(s.size() + 1, 1, what));
    std::memcpy(copy, s.data(), s.size());
    copy[s.size()] = '\0';
    return copy;
}

enum class CornerFormat { position, positionTexture, positionTextureNormal, positionNormal };

struct Corner {
    int v = 0, t = 0, n = 0;
};

// Splits w at '/' into at most three parts; returns the number of parts (4 for more than three).
int splitCorner(std::string_view w, std::string_view parts[3]) {
    int count = 0;
    size_t start = 0;
    for (;;) {
        const size_t slash = w.find('/', start);
        if (count == 3) return 4;
        parts[count++] = w.substr(start, slash == std::string_view::npos ? w.npos : slash - start);
        if (slash == std::string_view::npos) return count;
        start = slash + 1;
    }
}

bool matchCorner(std::string_view w, CornerFormat format, Corner& c) {
    std::string_view parts[3];
    const int count = splitCorner(w, parts);
    c = Corner{};
    switch (format) {
    case CornerFormat::position:
        return count == 1 && parseInt(parts[0], c.v);
    case CornerFormat::positionTexture:
        return count == 2 && parseInt(parts[0], c.v) && parseInt(parts[1], c.t);
    case CornerFormat::positionTextureNormal:
        return count == 3 && parseInt(parts[0], c.v) && parseInt(parts[1], c.t) &&
               parseInt(parts[2], c.n);
    case CornerFormat::positionNormal:
        return count == 3 && parts[1].empty() && parseInt(parts[0], c.v) && parseInt(parts[2], c.n);
    }
    return false;
}

CornerFormat formatOf(std::string_view first) {
    Corner c;
    if (first.find("//") != std::string_view::npos) return CornerFormat::positionNormal;
    if (matchCorner(first, CornerFormat::positionTextureNormal, c))
        return CornerFormat::positionTextureNormal;
    if (matchCorner(first, CornerFormat::positionTexture, c)) return CornerFormat::positionTexture;
    return CornerFormat::position;
}

// Reads the corners of one face after its keyword: the first word fixes the format, and every
// further word in that format (across line ends) adds one triangle of the fan. emit gets the
// fan's first corner, the previous triangle's third corner and the new corner. Returns the
// number of triangles.
template <class Emit> unsigned int readFace(ObjText& text, const char* filename, Emit emit) {
    // Where the face starts; its line number is counted only for a message.
    const char* const line = text.p;
    const std::string_view first = text.word();
    const CornerFormat format = formatOf(first);
    Corner corners[3];
    if (!matchCorner(first, format, corners[0]))
        meshFileError(filename, lineOf(text.bytes, line),
                      "a face whose first corner is not a vertex index");
    for (int k = 1; k < 3; ++k) {
        const char* before = text.p;
        if (!matchCorner(text.word(), format, corners[k])) {
            text.p = before;
            meshFileError(filename, lineOf(text.bytes, line),
                          "a face with fewer than three corners");
        }
    }
    emit(corners[0], corners[1], corners[2], line);
    unsigned int count = 1;
    Corner previous = corners[2];
    for (;;) {
        const char* before = text.p;
        Corner next;
        if (!matchCorner(text.word(), format, next)) {
            text.p = before;
            return count;
        }
        emit(corners[0], previous, next, line);
        previous = next;
        ++count;
    }
}

// OBJ indices count from 1; negative ones count back from the latest entry read so far.
unsigned int resolveIndex(int index, unsigned int readSoFar, unsigned int total,
                          const char* filename, const ObjText& text, const char* face,
                          const char* what) {
    const long long resolved = index < 0 ? static_cast<long long>(readSoFar) + 1 + index : index;
    if (resolved < 1 || resolved > total)
        meshFileError(filename, lineOf(text.bytes, face),
                      "a face corner refers to %s %d, outside 1..%u", what, index, total);
    return static_cast<unsigned int>(resolved);
}

// At most this many triangles and positions: every mesh count is a 32-bit signed integer and
// each triangle takes three incident-list entries.
constexpr unsigned int maxTriangles = INT_MAX / 3;
constexpr unsigned int maxVertices = INT_MAX - 1;

GLMgroup* newGroup(GLMmodel* model, std::string_view name);
void printWorkingDirectory();
void parseMaterials(GLMmodel* model, std::string_view bytes);

// Group and material names are kept as C strings, so a name read from the file ends at its first
// NUL byte wherever it is stored or looked up.
std::string nameKey(std::string_view name) {
    return std::string(name.substr(0, name.find('\0')));
}

// Name indexes kept while one file is read, so that files with very many groups, materials,
// "usemtl" or "mtllib" lines still read in linear time. They give the same answers as the
// searches of _glmFindGroup and _glmFindMaterial.
struct Lookup {
    std::unordered_map<std::string, GLMgroup*> groups;
    std::unordered_map<std::string, unsigned int> materials;

    GLMgroup* addGroup(GLMmodel* model, std::string_view name) {
        std::string key = nameKey(name);
        const auto it = groups.find(key);
        if (it != groups.end()) return it->second;
        GLMgroup* g = newGroup(model, name);
        groups.emplace(std::move(key), g);
        return g;
    }
    GLMgroup* findGroup(std::string_view name) const {
        const auto it = groups.find(nameKey(name));
        return it == groups.end() ? nullptr : it->second;
    }
    void indexMaterials(const GLMmodel* model) {
        materials.clear();
        for (unsigned int i = 0; i < model->nummaterials; ++i)
            materials.emplace(model->materials[i].name, i); // the first of equal names wins
    }
    unsigned int findMaterial(std::string_view name) const {
        const auto it = materials.find(nameKey(name));
        if (it != materials.end()) return it->second;
        std::printf("_glmFindMaterial():  can't find material \"%.*s\".\n",
                    static_cast<int>(name.size()), name.data());
        return 0;
    }
};

// The material files named by "mtllib" lines, each fetched at most once per model however often
// it is named. Only the materials of the last file that could be read reach the model, so only
// that one is parsed, once, at the end of the first pass.
struct MaterialFiles {
    std::unordered_map<std::string, std::optional<std::string>> fetched;
    const std::optional<std::string>* inEffect = nullptr;

    const std::optional<std::string>& fetch(const std::string& path,
                                            const GLMmaterialSource& source) {
        auto [it, added] = fetched.try_emplace(path);
        std::string bytes;
        if (added && source && source(path.c_str(), bytes)) it->second = std::move(bytes);
        return it->second;
    }
    // Looks for the file beside the OBJ file, then in the working folder.
    void named(const GLMmodel* model, const char* name, const GLMmaterialSource& source) {
        const std::unique_ptr<char, MeshFree> dir(_glmDirName(model->pathname));
        const std::string besideModel = std::string(dir.get()) + name;
        printWorkingDirectory();
        for (const std::string& path : {besideModel, std::string(name)}) {
            const std::optional<std::string>& bytes = fetch(path, source);
            if (bytes) {
                inEffect = &bytes;
                return;
            }
            if (dir.get()[0] == '\0') break;
        }
        std::fprintf(stderr, "_glmReadMTL() failed: can't open material file \"%s\".\n",
                     besideModel.c_str());
    }
};

void firstPass(GLMmodel* model, ObjText& text, const char* filename,
               const GLMmaterialSource& materials) {
    Lookup lookup;
    MaterialFiles materialFiles;
    unsigned int numvertices = 0, numnormals = 0, numtexcoords = 0, numtriangles = 0;
    GLMgroup* group = lookup.addGroup(model, "default");
    for (;;) {
        const std::string_view w = text.word();
        if (w.empty()) break;
        switch (w[0]) {
        case 'v':
            if (w == "v")
                ++numvertices;
            else if (w == "vn")
                ++numnormals;
            else if (w == "vt")
                ++numtexcoords;
            else
                std::printf("_glmFirstPass(): Unknown token \"%.*s\".\n",
                            static_cast<int>(w.size()), w.data());
            if (numvertices > maxVertices || numnormals > maxVertices || numtexcoords > maxVertices)
                meshFileError(filename, text.line(), "more entries than a mesh can hold");
            text.skipLine();
            break;
        case 'm': {
            const std::string_view name = text.lineWord();
            if (!name.empty()) {
                std::free(model->mtllibname);
                model->mtllibname = nullptr;
                model->mtllibname = copyString(name, "model->mtllibname");
                materialFiles.named(model, model->mtllibname, materials);
            }
            text.skipLine();
            break;
        }
        case 'g': {
            const std::string_view name = text.lineWord();
            group = lookup.addGroup(model, name.empty() ? "default" : name);
            text.skipLine();
            break;
        }
        case 'f': {
            const unsigned int n =
                readFace(text, filename, [](Corner, Corner, Corner, const char*) {});
            if (n > maxTriangles - numtriangles)
                meshFileError(filename, text.line(), "more triangles than a mesh can hold");
            numtriangles += n;
            group->numtriangles += n;
            break;
        }
        default:
            text.skipLine();
            break;
        }
    }
    if (materialFiles.inEffect) parseMaterials(model, **materialFiles.inEffect);
    model->numvertices = numvertices;
    model->numnormals = numnormals;
    model->numtexcoords = numtexcoords;
    model->numtriangles = numtriangles;
    for (GLMgroup* g = model->groups; g; g = g->next) {
        g->triangles = static_cast<unsigned int*>(
            meshAlloc(g->numtriangles, sizeof(unsigned int), "group->triangles"));
        g->numtriangles = 0;
    }
}

// Reads up to count numbers of the current line into out; returns how many were numbers.
int readNumbers(ObjText& text, float* out, int count) {
    for (int k = 0; k < count; ++k)
        if (!parseFloat(text.lineWord(), out[k])) return k;
    return count;
}

void secondPass(GLMmodel* model, ObjText& text, const char* filename) {
    Lookup lookup;
    for (GLMgroup* g = model->groups; g; g = g->next)
        lookup.groups.emplace(g->name, g);
    lookup.indexMaterials(model);
    unsigned int numvertices = 0, numnormals = 0, numtexcoords = 0, numtriangles = 0;
    GLMgroup* group = lookup.findGroup("default");
    unsigned int material = 0;
    for (;;) {
        const std::string_view w = text.word();
        if (w.empty()) break;
        switch (w[0]) {
        case 'v':
            if (w == "v") {
                float* v = &model->vertices[3 * static_cast<size_t>(++numvertices)];
                if (readNumbers(text, v, 3) != 3)
                    meshFileError(filename, text.line(), "a vertex line without its three numbers");
            } else if (w == "vn") {
                float* n = &model->normals[3 * static_cast<size_t>(++numnormals)];
                if (readNumbers(text, n, 3) != 3)
                    meshFileError(filename, text.line(), "a normal line without its three numbers");
            } else if (w == "vt") {
                float* t = &model->texcoords[2 * static_cast<size_t>(++numtexcoords)];
                t[1] = 0;
                if (readNumbers(text, t, 2) < 1)
                    meshFileError(filename, text.line(), "a texture line without its numbers");
            }
            text.skipLine();
            break;
        case 'g': {
            const std::string_view name = text.lineWord();
            group = lookup.findGroup(name.empty() ? "default" : name);
            group->material = material;
            text.skipLine();
            break;
        }
        case 'u': {
            material = lookup.findMaterial(text.lineWord());
            group->material = material;
            text.skipLine();
            break;
        }
        case 'f':
            readFace(text, filename, [&](Corner a, Corner b, Corner c, const char* face) {
                GLMtriangle& t = model->triangles[numtriangles];
                const Corner corners[3] = {a, b, c};
                for (int k = 0; k < 3; ++k) {
                    const Corner& q = corners[k];
                    t.vindices[k] = resolveIndex(q.v, numvertices, model->numvertices, filename,
                                                 text, face, "position");
                    t.tindices[k] = q.t == 0
                                        ? 0
                                        : resolveIndex(q.t, numtexcoords, model->numtexcoords,
                                                       filename, text, face, "texture coordinate");
                    t.nindices[k] = q.n == 0 ? 0
                                             : resolveIndex(q.n, numnormals, model->numnormals,
                                                            filename, text, face, "normal");
                }
                group->triangles[group->numtriangles++] = numtriangles;
                ++numtriangles;
            });
            break;
        default:
            text.skipLine();
            break;
        }
    }
}

} // namespace

void _glmFirstPass(GLMmodel* model, std::string_view bytes, const GLMmaterialSource& materials) {
    ObjText text(bytes);
    firstPass(model, text, model->pathname, materials);
}

GLMgroup* _glmFindGroup(GLMmodel* model, const char* name) {
    for (GLMgroup* g = model->groups; g; g = g->next)
        if (std::strcmp(g->name, name) == 0) return g;
    return nullptr;
}

namespace {

GLMgroup* newGroup(GLMmodel* model, std::string_view name) {
    auto* g = static_cast<GLMgroup*>(meshAlloc(1, sizeof(GLMgroup), "group"));
    *g = GLMgroup{nullptr, 0, nullptr, 0, model->groups};
    model->groups = g;
    ++model->numgroups;
    g->name = copyString(name, "group->name");
    return g;
}

void printWorkingDirectory() {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd))
        std::printf("%s\n", cwd);
    else
        std::perror("_getcwd error");
}

} // namespace

GLMgroup* _glmAddGroup(GLMmodel* model, const char* name) {
    if (GLMgroup* g = _glmFindGroup(model, name)) return g;
    return newGroup(model, name);
}

unsigned int _glmFindMaterial(GLMmodel* model, const char* name) {
    for (unsigned int i = 0; i < model->nummaterials; ++i)
        if (std::strcmp(model->materials[i].name, name) == 0) return i;
    std::printf("_glmFindMaterial():  can't find material \"%s\".\n", name);
    return 0;
}

char* _glmDirName(const char* path) {
    const char* slash = std::strrchr(path, '\\');
    if (const char* forward = std::strrchr(path, '/'); forward > slash) slash = forward;
    return copyString(slash ? std::string_view(path, static_cast<size_t>(slash - path) + 1) : "",
                      "dirname");
}

bool glmReadMaterialFile(const char* path, std::string& bytes) {
    return readWholeFile(path, bytes);
}

static void freeMaterials(GLMmodel* model) {
    for (unsigned int i = 0; i < model->nummaterials; ++i)
        std::free(model->materials[i].name);
    std::free(model->materials);
    model->materials = nullptr;
    model->nummaterials = 0;
}

void _glmReadMTL(GLMmodel* model, const char* name, const GLMmaterialSource& materials) {
    MaterialFiles files;
    files.named(model, name, materials);
    if (files.inEffect) parseMaterials(model, **files.inEffect);
}

namespace {

void parseMaterials(GLMmodel* model, std::string_view bytes) {
    unsigned int count = 1;
    for (ObjText text(bytes);;) {
        const std::string_view w = text.word();
        if (w.empty()) break;
        if (w[0] == 'n') ++count;
        text.skipLine();
    }
    freeMaterials(model);
    model->materials =
        static_cast<GLMmaterial*>(meshAlloc(count, sizeof(GLMmaterial), "model->materials"));
    for (unsigned int i = 0; i < count; ++i)
        model->materials[i] = GLMmaterial{nullptr,
                                          {0.8f, 0.8f, 0.8f, 1.0f},
                                          {0.2f, 0.2f, 0.2f, 1.0f},
                                          {0.0f, 0.0f, 0.0f, 1.0f},
                                          0.0f};
    model->nummaterials = count;
    model->materials[0].name = copyString("default", "material->name");

    unsigned int current = 0;
    for (ObjText text(bytes);;) {
        const std::string_view w = text.word();
        if (w.empty()) break;
        GLMmaterial& m = model->materials[current];
        if (w[0] == 'n') {
            if (current + 1 < count) {
                ++current;
                model->materials[current].name = copyString(text.lineWord(), "material->name");
            }
        } else if (w[0] == 'N') {
            float shininess;
            if (readNumbers(text, &shininess, 1) == 1)
                m.shininess = static_cast<float>(shininess / 1000.0 * 128.0);
        } else if (w == "Kd") {
            readNumbers(text, m.diffuse, 3);
        } else if (w == "Ka") {
            readNumbers(text, m.ambient, 3);
        } else if (w == "Ks") {
            readNumbers(text, m.specular, 3);
        }
        text.skipLine();
    }
    // Any entry without a "newmtl" name of its own (none, when the passes agree) gets an empty one,
    // so that every name can be compared.
    for (unsigned int i = 0; i < count; ++i)
        if (!model->materials[i].name) model->materials[i].name = copyString("", "material->name");
}

} // namespace

void glmDelete(GLMmodel* model) {
    if (!model) return;
    std::free(model->pathname);
    std::free(model->mtllibname);
    std::free(model->vertices);
    std::free(model->normals);
    std::free(model->texcoords);
    std::free(model->triangles);
    freeMaterials(model);
    while (GLMgroup* g = model->groups) {
        model->groups = g->next;
        std::free(g->name);
        std::free(g->triangles);
        std::free(g);
    }
    std::free(model);
}

GLMmodel* glmReadOBJFromBytes(const char* filename, std::string_view bytes,
                              const GLMmaterialSource& materials) {
    auto* raw = static_cast<GLMmodel*>(meshAlloc(1, sizeof(GLMmodel), "model"));
    std::memset(static_cast<void*>(raw), 0, sizeof(GLMmodel));
    ModelOwner model(raw);
    model->pathname = copyString(filename, "model->pathname");

    _glmFirstPass(model.get(), bytes, materials);

    model->vertices = static_cast<float*>(meshAlloc(
        3 * (static_cast<size_t>(model->numvertices) + 1), sizeof(float), "model->vertices"));
    model->triangles = static_cast<GLMtriangle*>(
        meshAlloc(model->numtriangles, sizeof(GLMtriangle), "model->triangles"));
    if (model->numnormals > 0)
        model->normals = static_cast<float*>(meshAlloc(
            3 * (static_cast<size_t>(model->numnormals) + 1), sizeof(float), "model->normals"));
    if (model->numtexcoords > 0)
        model->texcoords = static_cast<float*>(meshAlloc(
            2 * (static_cast<size_t>(model->numtexcoords) + 1), sizeof(float), "model->texcoords"));

    ObjText second(bytes);
    secondPass(model.get(), second, filename);
    return model.release();
}

GLMmodel* glmReadOBJ(const char* filename, ReadResult& result) {
    FileBytes file;
    if (!file.read(filename)) {
        result = readFailure(filename, 0, -1, "glmReadOBJ() failed: can't open data file \"%s\".",
                             filename);
        return nullptr;
    }
    GLMmodel* model = nullptr;
    result = guardedRead(
        [&] { model = glmReadOBJFromBytes(filename, file.view(), glmReadMaterialFile); });
    return model;
}
