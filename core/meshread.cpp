#include "meshread.h"

#include "plyfile.h"
#include "readfile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

void normalizeMesh(Smesh* mesh, float size) {
    MeshBounds bounds;
    for (int i = 0; i < mesh->nverts; ++i)
        bounds.extend(mesh->verts[i].pos);
    double mid[3], half[3];
    for (int k = 0; k < 3; ++k) {
        mid[k] = (bounds.lo[k] + bounds.hi[k]) * 0.5;
        half[k] = (bounds.hi[k] - bounds.lo[k]) * 0.5;
    }
    double e = half[0] >= half[1] ? half[0] : half[1];
    if (half[2] > e) e = half[2];
    for (int k = 0; k < 3; ++k)
        mesh->center[k] = static_cast<float>(mid[k]);
    mesh->extent = static_cast<float>(e);

    for (int i = 0; i < mesh->nverts; ++i) {
        float* p = mesh->verts[i].pos;
        for (int k = 0; k < 3; ++k) {
            // All positions equal (a single vertex, say): there is nothing to scale, and dividing
            // by the zero extent would turn every coordinate into NaN.
            const double moved = p[k] - mid[k];
            p[k] = static_cast<float>(e == 0 ? moved : moved / e * size);
        }
    }
    mesh->center[0] = mesh->center[1] = mesh->center[2] = 0;
    mesh->extent = 1.0f;
}

// ---- OFF ----------------------------------------------------------------------------------------

namespace {

// Reading position in OFF text. '#' starts a comment that runs to the end of its line.
struct OffText {
    std::string_view bytes;
    const char* p;
    const char* end;

    explicit OffText(std::string_view b) : bytes(b), p(b.data()), end(b.data() + b.size()) {}

    void skipSpace() {
        for (;;) {
            while (p != end && isTextSpace(*p))
                ++p;
            if (p == end || *p != '#') return;
            while (p != end && !isLineEnd(*p))
                ++p;
        }
    }
    // Moves to the next token on the current line; false at the line's end (or a comment).
    bool nextOnLine() {
        while (p != end && !isLineEnd(*p) && isTextSpace(*p))
            ++p;
        return p != end && !isLineEnd(*p) && *p != '#';
    }
    std::string_view token() const {
        const char* e = p;
        while (e != end && !isTextSpace(*e) && *e != '#')
            ++e;
        return {p, static_cast<size_t>(e - p)};
    }
    void skipToken() { p += token().size(); }
    void skipLine() {
        while (p != end && !isLineEnd(*p))
            ++p;
    }
    // Tokens from here to the end of the line (a comment ends it), without moving.
    int tokensOnLine() const {
        OffText probe = *this;
        int count = 0;
        while (probe.nextOnLine()) {
            probe.skipToken();
            ++count;
        }
        return count;
    }
    // Only white space stands between the start of the line and here.
    bool startsLine() const {
        for (const char* q = p; q != bytes.data();) {
            --q;
            if (isLineEnd(*q)) return true;
            if (!isTextSpace(*q)) return false;
        }
        return true;
    }
    size_t remaining() const { return static_cast<size_t>(end - p); }
    long line() const { return lineOf(bytes, p); }
};

// A token quoted in a message: at most 40 characters of it, with NUL and other control bytes
// shown as \xNN so that the quote holds the whole token.
class Quoted {
public:
    explicit Quoted(std::string_view token) {
        for (const char c : token.substr(0, 40)) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7f) {
                char escaped[5];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
                shown += escaped;
            } else {
                shown += c;
            }
        }
    }
    int length() const { return static_cast<int>(shown.size()); }
    const char* text() const { return shown.c_str(); }

private:
    std::string shown;
};

// A face colour from the rest of its line: three integers keep their low eight bits, three
// numbers between 0 and 1 are scaled to 0..255. Returns false when the line does not hold one.
bool readFaceColor(OffText& text, unsigned char color[3]) {
    std::string_view tokens[3];
    for (auto& t : tokens) {
        if (!text.nextOnLine()) return false;
        t = text.token();
        text.skipToken();
    }
    int ints[3];
    if (parseInt(tokens[0], ints[0]) && parseInt(tokens[1], ints[1]) &&
        parseInt(tokens[2], ints[2])) {
        for (int k = 0; k < 3; ++k)
            color[k] = static_cast<unsigned char>(static_cast<unsigned int>(ints[k]) & 0xffu);
        return true;
    }
    double reals[3];
    if (!parseDouble(tokens[0], reals[0]) || !parseDouble(tokens[1], reals[1]) ||
        !parseDouble(tokens[2], reals[2]))
        return false;
    for (int k = 0; k < 3; ++k) {
        const double c = reals[k] > 0 ? std::min(reals[k], 1.0) : 0.0; // NaN too becomes 0
        color[k] = static_cast<unsigned char>(std::lround(c * 255.0));
    }
    return true;
}

constexpr int maxTriangles = INT_MAX / 3;

// Digits with an optional sign: a number, whether or not it fits an int.
bool isWholeNumber(std::string_view token) {
    if (!token.empty() && (token[0] == '-' || token[0] == '+')) token.remove_prefix(1);
    return !token.empty() &&
           std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A fresh triangle of corners a, b, c of the vertex array v: no normal, colour or area yet.
void setTriangle(Striangle& t, Svertex* v, int a, int b, int c, int index) {
    t.verts[0] = &v[a];
    t.verts[1] = &v[b];
    t.verts[2] = &v[c];
    t.normal[0] = t.normal[1] = t.normal[2] = 0;
    t.color[0] = t.color[1] = t.color[2] = 0;
    t.area = 0;
    t.index = index;
}

// The OFF reader's state from the header to the last face; each step reads one part of the file.
struct OffReader {
    const char* filename;
    OffText text;
    bool hasNormals = false;
    int nverts = 0;
    int nfaces = 0;
    MeshBlock<Svertex> verts;
    MeshBounds bounds;
    MeshBlock<Striangle> tris;
    size_t capacity = 0;
    int ntris = 0;

    OffReader(const char* name, std::string_view bytes) : filename(name), text(bytes) {}

    int numbersPerVertex() const { return hasNormals ? 6 : 3; }
    [[noreturn]] void refuseToken(const char* format, int record) {
        const Quoted q(text.token());
        meshFileError(filename, text.line(), format, record, q.length(), q.text());
    }

    void readHeader();
    void checkVertexLayout(std::string_view keyword);
    void readVertices();
    void readVertex(int i, bool skipExtras);
    void readFaces();
    void readFace(int f, bool colored);
    void addTriangle(int a, int b, int c);
    void store(Smesh* mesh);
};

// The keyword ("N" in it asks for normals) and the vertex, face and edge counts.
void OffReader::readHeader() {
    text.skipSpace();
    const std::string_view keyword = text.token();
    if (keyword.empty())
        meshFileError(filename, text.line(), "no OFF header: the file holds no words");
    hasNormals = keyword.find('N') != std::string_view::npos;
    text.skipToken();

    int counts[3];
    static const char* const countNames[3] = {"vertex", "face", "edge"};
    for (int k = 0; k < 3; ++k) {
        text.skipSpace();
        const char* after = text.p == text.end ? nullptr : scanInt(text.p, text.end, counts[k]);
        if (!after && isWholeNumber(text.token()))
            meshFileError(filename, text.line(),
                          "the header's %s count %s is out of range (at most 2147483647)",
                          countNames[k], Quoted(text.token()).text());
        if (!after)
            meshFileError(filename, text.line(), "the header lacks its %s count", countNames[k]);
        if (k < 2 && counts[k] < 0)
            meshFileError(filename, text.line(), "the header announces %d %s records", counts[k],
                          countNames[k]);
        text.p = after;
    }
    nverts = counts[0];
    nfaces = counts[1];
    checkVertexLayout(keyword);
}

// A header that asks for normals over vertex lines of three numbers, or counts that the bytes
// left cannot hold, are refused before anything is allocated.
void OffReader::checkVertexLayout(std::string_view keyword) {
    OffText firstVertex = text;
    firstVertex.skipSpace();
    if (hasNormals && nverts > 0 && firstVertex.startsLine() && firstVertex.tokensOnLine() == 3)
        meshFileError(filename, firstVertex.line(),
                      "the header says %s, so every vertex needs a position and a normal (six "
                      "numbers), but the first vertex line holds three",
                      Quoted(keyword).text());
    // Every vertex takes at least one character per number and a separator after each.
    if (static_cast<long long>(nverts) * 2 * numbersPerVertex() - 1 >
        static_cast<long long>(text.remaining()))
        meshFileError(filename, text.line(),
                      "the header announces %d vertices, more than the %zu bytes after it can "
                      "hold",
                      nverts, text.remaining());
}

void OffReader::readVertices() {
    verts.reset(static_cast<Svertex*>(
        meshAlloc(static_cast<size_t>(nverts), sizeof(Svertex), "mesh->verts")));
    bool skipExtras = false;
    for (int i = 0; i < nverts; ++i) {
        text.skipSpace();
        if (i == 0)
            // Some files add a colour or other values to each vertex line (COFF). A first
            // vertex that starts a line of its own and is followed there by more numbers tells,
            // and then the rest of every vertex line is passed over.
            skipExtras = text.startsLine() && text.tokensOnLine() > numbersPerVertex();
        readVertex(i, skipExtras);
    }
}

void OffReader::readVertex(int i, bool skipExtras) {
    double values[6];
    for (int k = 0; k < numbersPerVertex(); ++k) {
        text.skipSpace();
        if (text.p == text.end)
            meshFileError(filename, text.line(),
                          "the file ends inside the vertex list (vertex %d of %d)", i, nverts);
        const char* after = scanDouble(text.p, text.end, values[k]);
        if (!after) refuseToken("vertex %d: \"%.*s\" is not a number", i);
        text.p = after;
    }
    Svertex& v = verts.get()[i];
    for (int k = 0; k < 3; ++k) {
        v.pos[k] = static_cast<float>(values[k]);
        v.normal[k] = hasNormals ? static_cast<float>(values[3 + k]) : 0.0f;
    }
    v.index = i;
    resetSvertex(&v);
    v.area = 0;
    bounds.extend(v.pos);
    if (skipExtras) text.skipLine();
}

void OffReader::readFaces() {
    text.skipSpace();
    if (static_cast<size_t>(nfaces) > text.remaining())
        meshFileError(filename, text.line(),
                      "the header announces %d faces, more than the %zu bytes after the vertices "
                      "can hold",
                      nfaces, text.remaining());

    // The first face line tells whether faces carry a colour: more tokens than its count, its
    // indices and one more.
    bool colored = false;
    if (nfaces > 0 && text.p != text.end) {
        int n = 0;
        if (scanInt(text.p, text.end, n))
            colored = text.tokensOnLine() > static_cast<long long>(n) + 2;
    }

    // Room for one triangle per face, as far as the bytes left can hold faces of at least eight
    // characters each; polygons fanned into several triangles grow it.
    capacity = std::min(static_cast<size_t>(nfaces), (text.remaining() + 1) / 8);
    tris.reset(static_cast<Striangle*>(meshAlloc(capacity, sizeof(Striangle), "mesh->tris")));
    for (int f = 0; f < nfaces; ++f) {
        text.skipSpace();
        if (text.p == text.end) break;
        readFace(f, colored);
    }
}

// One face line: its corner count, the corners fanned from the first, and its colour if faces
// carry one.
void OffReader::readFace(int f, bool colored) {
    int n;
    const char* after = scanInt(text.p, text.end, n);
    if (!after) refuseToken("face %d: \"%.*s\" is not a corner count", f);
    if (n < 3)
        meshFileError(filename, text.line(), "face %d has %d corners; a face needs three", f, n);
    if (static_cast<size_t>(n) > text.remaining())
        meshFileError(filename, text.line(),
                      "face %d announces %d corners, more than the file holds", f, n);
    text.p = after;
    const int firstTriangle = ntris;
    int first = 0, previous = 0;
    for (int c = 0; c < n; ++c) {
        text.skipSpace();
        if (text.p == text.end)
            meshFileError(filename, text.line(), "the file ends inside face %d", f);
        int index;
        after = scanInt(text.p, text.end, index);
        if (!after) refuseToken("face %d: \"%.*s\" is not a vertex index", f);
        if (index < 0 || index >= nverts)
            meshFileError(filename, text.line(), "face %d: vertex index %d is outside 0..%d", f,
                          index, nverts - 1);
        text.p = after;
        if (c == 0)
            first = index;
        else if (c >= 2)
            addTriangle(first, previous, index);
        previous = index;
    }
    unsigned char color[3];
    if (colored && readFaceColor(text, color))
        for (int t = firstTriangle; t < ntris; ++t)
            std::memcpy(tris.get()[t].color, color, 3);
    // Whatever else the line holds (an alpha value, a comment) never shifts the next face.
    text.skipLine();
}

void OffReader::addTriangle(int a, int b, int c) {
    if (static_cast<size_t>(ntris) == capacity) {
        if (ntris == maxTriangles)
            meshFileError(filename, text.line(), "more triangles than a mesh can hold");
        const size_t grown = std::min<size_t>(capacity + capacity / 2 + 16, maxTriangles);
        MeshBlock<Striangle> larger(
            static_cast<Striangle*>(meshAlloc(grown, sizeof(Striangle), "mesh->tris")));
        if (ntris > 0)
            std::memcpy(static_cast<void*>(larger.get()), tris.get(),
                        static_cast<size_t>(ntris) * sizeof(Striangle));
        tris = std::move(larger);
        capacity = grown;
    }
    setTriangle(tris.get()[ntris], verts.get(), a, b, c, ntris);
    ++ntris;
}

void OffReader::store(Smesh* mesh) {
    bounds.store(mesh);
    mesh->verts = verts.release();
    mesh->nverts = nverts;
    mesh->tris = tris.release();
    mesh->ntris = ntris;
    std::printf("      Read %d Triangles;  %d Vertices\n", mesh->ntris, mesh->nverts);
    std::printf("      the range of volume is:\n");
}

void readOff(Smesh* mesh, const char* filename, std::string_view bytes, bool& hasNormals) {
    freeSmesh(mesh);
    OffReader reader(filename, bytes);
    reader.readHeader();
    hasNormals = reader.hasNormals;
    reader.readVertices();
    reader.readFaces();
    reader.store(mesh);
}

// ---- SMF ----------------------------------------------------------------------------------------

// One line of SMF text: the character that classifies it and the tokens after it.
struct SmfLine {
    const char* start;     // first character of the line
    char kind;             // first character that is not white space; '\0' for a blank line
    std::string_view rest; // what follows that character, up to the line end
};

template <class Visit> void forEachSmfLine(std::string_view bytes, Visit visit) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p != end) {
        const char* stop = p;
        while (stop != end && !isLineEnd(*stop))
            ++stop;
        const char* q = p;
        while (q != stop && isTextSpace(*q))
            ++q;
        SmfLine line{p, q == stop ? '\0' : *q,
                     q == stop ? std::string_view() : std::string_view(q + 1, stop - q - 1)};
        visit(line);
        p = stop == end ? end : stop + 1;
    }
}

// Splits a line's rest into its white-space separated tokens.
template <class Visit> void forEachToken(std::string_view rest, Visit visit) {
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && isTextSpace(rest[i]))
            ++i;
        const size_t start = i;
        while (i < rest.size() && !isTextSpace(rest[i]))
            ++i;
        if (i > start) visit(rest.substr(start, i - start));
    }
}

void readSmf(Smesh* mesh, const char* filename, std::string_view bytes) {
    freeSmesh(mesh);

    // Counting pass. A face line of n indices becomes n - 2 triangles (a fan).
    long long nverts = 0, ntris = 0;
    forEachSmfLine(bytes, [&](const SmfLine& line) {
        if (line.kind == 'v') {
            ++nverts;
        } else if (line.kind == 'f') {
            int tokens = 0;
            forEachToken(line.rest, [&](std::string_view) { ++tokens; });
            ntris += std::max(tokens - 2, 0);
        }
        if (nverts > INT_MAX || ntris > maxTriangles)
            meshFileError(filename, lineOf(bytes, line.start), "more records than a mesh can hold");
    });

    MeshBlock<Svertex> verts(static_cast<Svertex*>(
        meshAlloc(static_cast<size_t>(nverts), sizeof(Svertex), "mesh->verts")));
    MeshBlock<Striangle> tris(static_cast<Striangle*>(
        meshAlloc(static_cast<size_t>(ntris), sizeof(Striangle), "mesh->tris")));
    Svertex* const v = verts.get();
    Striangle* const t = tris.get();

    // Reading pass.
    int vi = 0, ti = 0;
    MeshBounds bounds;
    forEachSmfLine(bytes, [&](const SmfLine& line) {
        if (line.kind == 'v') {
            double values[3];
            int count = 0;
            bool numbers = true;
            forEachToken(line.rest, [&](std::string_view token) {
                if (count < 3 && numbers) numbers = parseDouble(token, values[count++]);
            });
            if (count < 3 || !numbers)
                meshFileError(filename, lineOf(bytes, line.start),
                              "vertex %d: a vertex line needs three numbers", vi);
            Svertex& x = v[vi];
            for (int k = 0; k < 3; ++k) {
                x.pos[k] = static_cast<float>(values[k]);
                x.normal[k] = 0;
            }
            x.index = vi;
            resetSvertex(&x);
            x.area = 0;
            bounds.extend(x.pos);
            ++vi;
        } else if (line.kind == 'f') {
            int count = 0, first = 0, previous = 0;
            forEachToken(line.rest, [&](std::string_view token) {
                int index;
                if (!parseInt(token, index)) {
                    const Quoted q(token);
                    meshFileError(filename, lineOf(bytes, line.start),
                                  "\"%.*s\" is not a vertex number", q.length(), q.text());
                }
                if (index < 1 || index > nverts)
                    meshFileError(filename, lineOf(bytes, line.start),
                                  "vertex number %d is outside 1..%lld", index, nverts);
                --index;
                if (count == 0) {
                    first = index;
                } else if (count >= 2) {
                    setTriangle(t[ti], v, first, previous, index, ti);
                    ++ti;
                }
                previous = index;
                ++count;
            });
            if (count < 3)
                meshFileError(filename, lineOf(bytes, line.start),
                              "a face line needs three vertex numbers");
        }
    });

    bounds.store(mesh);
    mesh->verts = verts.release();
    mesh->nverts = static_cast<int>(nverts);
    mesh->tris = tris.release();
    mesh->ntris = static_cast<int>(ntris);
}

// ---- Conversion into a mesh -------------------------------------------------------------------

} // namespace

int findNormal(ClinkedList<Svector3>* normalLists, Svector3* key) {
    ClinkedList<Svector3>& list = normalLists[key->vindex];
    for (Svector3* entry = list.first(); entry; entry = list.next())
        if (entry->nindex == key->nindex) return entry->vindex;
    return -1;
}

namespace {

// One list per OBJ position, alive for one conversion.
class NormalLists {
public:
    explicit NormalLists(unsigned int count) : n(count) {
        lists = static_cast<ClinkedList<Svector3>*>(
            meshAlloc(count, sizeof(ClinkedList<Svector3>), "normals"));
        for (unsigned int i = 0; i < n; ++i)
            new (&lists[i]) ClinkedList<Svector3>();
    }
    ~NormalLists() {
        for (unsigned int i = 0; i < n; ++i)
            lists[i].~ClinkedList();
        std::free(lists);
    }
    NormalLists(const NormalLists&) = delete;
    NormalLists& operator=(const NormalLists&) = delete;
    void clear() {
        for (unsigned int i = 0; i < n; ++i)
            lists[i].clear();
    }
    ClinkedList<Svector3>* get() { return lists; }

private:
    ClinkedList<Svector3>* lists = nullptr;
    unsigned int n;
};

// Lists longer than this are searched through a hash index as well, so that a file that uses
// one position with very many normals costs no more than a linear walk over its corners.
constexpr int longList = 32;

// Which mesh vertex stands for each position and normal index pair: the lists of the
// positions, and for the long ones a hash index holding the same entries.
struct CornerVertices {
    ClinkedList<Svector3>* lists;
    std::unordered_map<uint64_t, int> index;

    static uint64_t pair(int v, int n) {
        return (static_cast<uint64_t>(static_cast<uint32_t>(v)) << 32) | static_cast<uint32_t>(n);
    }
    void clear(NormalLists& normalLists) {
        normalLists.clear();
        index.clear();
    }

    // The mesh vertex for one triangle corner: position v used with normal n. A position met
    // with a second normal index gets a new mesh vertex, numbered next (which then advances), so
    // that the normals derived later stay apart across the seam.
    int find(int v, int n, int& next, bool& isNew, const char* filename) {
        Svector3 key;
        key.vindex = v;
        key.nindex = n;
        isNew = false;
        ClinkedList<Svector3>& list = lists[v];
        if (list.isEmpty()) {
            list.append(key);
            return v;
        }
        if (list.size() < longList) {
            const int found = findNormal(lists, &key);
            if (found >= 0) return found;
        } else {
            const auto it = index.find(pair(v, n));
            if (it != index.end()) return it->second;
        }
        if (next == INT_MAX) meshFileError(filename, 0, "more vertices than a mesh can hold");
        key.vindex = next++;
        list.append(key);
        isNew = true;
        if (list.size() == longList) {
            for (Svector3* e = list.first(); e; e = list.next())
                index.emplace(pair(v, e->nindex), e->vindex);
        } else if (list.size() > longList) {
            index.emplace(pair(v, n), key.vindex);
        }
        return key.vindex;
    }
};

void convertObj(Smesh* mesh, GLMmodel* model, const char* filename) {
    NormalLists normalLists(model->numvertices);
    CornerVertices cornerVertex{normalLists.get(), {}};
    const int numvertices = static_cast<int>(model->numvertices);

    // A first walk counts the split copies, so that the vertex array holds every position (used
    // by a face or not) plus exactly those copies.
    int total = numvertices;
    bool isNew;
    for (unsigned int t = 0; t < model->numtriangles; ++t)
        for (int k = 0; k < 3; ++k)
            cornerVertex.find(static_cast<int>(model->triangles[t].vindices[k]) - 1,
                              static_cast<int>(model->triangles[t].nindices[k]) - 1, total, isNew,
                              filename);
    cornerVertex.clear(normalLists);

    MeshBlock<Svertex> verts(static_cast<Svertex*>(
        meshAlloc(static_cast<size_t>(total), sizeof(Svertex), "mesh->verts")));
    Svertex* v = verts.get();
    MeshBounds bounds(8e30);
    for (int k = 0; k < numvertices; ++k) {
        const float* p = &model->vertices[3 * (static_cast<size_t>(k) + 1)];
        v[k] = Svertex{{p[0], p[1], p[2]}, {0, 0, 0}, k, nullptr, 0, nullptr, 0, 0};
        bounds.extend(v[k].pos);
        if (k < 10)
            std::cout << static_cast<double>(p[0]) << ", " << static_cast<double>(p[1]) << ", "
                      << static_cast<double>(p[2]) << std::endl;
    }

    MeshBlock<Striangle> tris(
        static_cast<Striangle*>(meshAlloc(model->numtriangles, sizeof(Striangle), "mesh->tris")));
    int nverts = numvertices;
    for (unsigned int t = 0; t < model->numtriangles; ++t) {
        const GLMtriangle& src = model->triangles[t];
        Striangle& tri = tris.get()[t];
        tri = Striangle{};
        for (int k = 0; k < 3; ++k) {
            const int position = static_cast<int>(src.vindices[k]) - 1;
            const int m = cornerVertex.find(position, static_cast<int>(src.nindices[k]) - 1, nverts,
                                            isNew, filename);
            if (isNew) {
                const float* p = v[position].pos;
                v[m] = Svertex{{p[0], p[1], p[2]}, {0, 0, 0}, m, nullptr, 0, nullptr, 0, 0};
            }
            tri.verts[k] = &v[m];
        }
        tri.index = static_cast<int>(t);
    }

    bounds.store(mesh);
    mesh->verts = verts.release();
    mesh->nverts = nverts;
    mesh->tris = tris.release();
    mesh->ntris = static_cast<int>(model->numtriangles);
}

} // namespace

ReadResult readOffMesh(Smesh* mesh, const char* filename, std::string_view bytes,
                       bool* hasNormals) {
    bool normals = false;
    ReadResult result = guardedRead([&] { readOff(mesh, filename, bytes, normals); });
    if (hasNormals) *hasNormals = normals;
    return result;
}

ReadResult readSmfMesh(Smesh* mesh, const char* filename, std::string_view bytes) {
    return guardedRead([&] { readSmf(mesh, filename, bytes); });
}

ReadResult readObjMesh(Smesh* mesh, const char* filename, std::string_view bytes,
                       const GLMmaterialSource& materials) {
    return guardedRead([&] {
        freeSmesh(mesh);
        ModelOwner obj(glmReadOBJFromBytes(filename, bytes, materials));
        convertObj(mesh, obj.get(), filename);
    });
}

ReadResult convertObjModel(Smesh* mesh, GLMmodel* model, const char* filename) {
    return guardedRead([&] {
        freeSmesh(mesh);
        convertObj(mesh, model, filename);
    });
}

namespace {

// The characters after the last '.' of the last path component, upper-cased.
std::string upperExtension(const char* path) {
    std::string_view name(path);
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const size_t dot = name.rfind('.');
    std::string extension(dot == std::string_view::npos ? std::string_view()
                                                        : name.substr(dot + 1));
    for (char& c : extension)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return extension;
}

} // namespace

ReadResult readModelFile(Smesh* mesh, const char* path) {
    const std::string format = upperExtension(path);
    if (format != "OFF" && format != "OBJ" && format != "PLY" && format != "SMF") {
        ReadResult result = readFailure(path, 0, -1, "# Unknown file format: %s", format.c_str());
        result.toStdout = true;
        return result;
    }
    ReadResult result;
    if (format == "PLY") {
        result = readPlyMeshFile(mesh, path);
    } else {
        FileBytes file;
        if (!file.read(path))
            return format == "OBJ"
                       ? readFailure(path, 0, -1,
                                     "glmReadOBJ() failed: can't open data file \"%s\".", path)
                       : readFailure(path, 0, -1, "read_model(): can't open input file %s", path);
        if (format == "OFF")
            result = readOffMesh(mesh, path, file.view());
        else if (format == "SMF")
            result = readSmfMesh(mesh, path, file.view());
        else
            result = readObjMesh(mesh, path, file.view(), glmReadMaterialFile);
    }
    if (!result) return result;
    const float size = format == "OFF" ? 10.9f : 9.9f;
    if (size > mesh->extent) normalizeMesh(mesh, size);
    for (int t = 0; t < mesh->ntris; ++t)
        mesh->tris[t].index = t;
    return result;
}
