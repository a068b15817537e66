#pragma once
// A small PLY writer and load helpers for the PLY tests. The writer shares no code with the
// reader: it lays out header text and value bytes by hand, so a fault in the reader cannot be
// mirrored by the writer.

#include "file.h"
#include "geom.h"
#include "plyfile.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace plytest {

enum class Encoding { Ascii, BinaryLE, BinaryBE };

inline const char* formatName(Encoding enc) {
    switch (enc) {
    case Encoding::Ascii:
        return "ascii";
    case Encoding::BinaryLE:
        return "binary_little_endian";
    case Encoding::BinaryBE:
        return "binary_big_endian";
    }
    return "";
}

inline const std::vector<std::string>& allTypes() {
    static const std::vector<std::string> types = {"char",   "short", "int",   "uchar",
                                                   "ushort", "uint",  "float", "double"};
    return types;
}

struct Prop {
    std::string name;
    std::string type;      // of the value or of each list item
    std::string countType; // non-empty for a list
};

// One record: one cell per property; a scalar cell holds one value, a list cell its items.
using Row = std::vector<std::vector<double>>;

struct Elem {
    std::string name;
    std::vector<Prop> props;
    std::vector<Row> rows;
    int declaredCount = -1; // the count written in the header; -1 for rows.size()
};

struct Doc {
    Encoding enc = Encoding::Ascii;
    std::vector<std::string> headerExtra; // lines written right after the format line
    std::vector<Elem> elems;
    std::string sep = " ";  // between ascii values
    std::string eol = "\n"; // every line end
};

inline void appendBytes(std::string& out, uint64_t bits, int size, bool bigEndianFile) {
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (bigEndianFile ? size - 1 - i : i);
        out.push_back(static_cast<char>((bits >> shift) & 0xff));
    }
}

inline void appendValue(std::string& out, Encoding enc, const std::string& type, double value) {
    if (enc == Encoding::Ascii) {
        char text[64];
        if (type == "float")
            std::snprintf(text, sizeof text, "%.9g",
                          static_cast<double>(static_cast<float>(value)));
        else if (type == "double")
            std::snprintf(text, sizeof text, "%.17g", value);
        else
            std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
        out += text;
        return;
    }
    const bool be = enc == Encoding::BinaryBE;
    if (type == "float") {
        const float f = static_cast<float>(value);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        appendBytes(out, bits, 4, be);
    } else if (type == "double") {
        uint64_t bits;
        std::memcpy(&bits, &value, 8);
        appendBytes(out, bits, 8, be);
    } else {
        const uint64_t bits = static_cast<uint64_t>(static_cast<int64_t>(value));
        const int size = (type == "char" || type == "uchar")     ? 1
                         : (type == "short" || type == "ushort") ? 2
                                                                 : 4;
        appendBytes(out, bits, size, be);
    }
}

inline std::string write(const Doc& doc) {
    std::string out = "ply" + doc.eol + "format " + formatName(doc.enc) + " 1.0" + doc.eol;
    for (const std::string& line : doc.headerExtra)
        out += line + doc.eol;
    for (const Elem& elem : doc.elems) {
        const int count = elem.declaredCount >= 0 ? elem.declaredCount : int(elem.rows.size());
        out += "element " + elem.name + " " + std::to_string(count) + doc.eol;
        for (const Prop& prop : elem.props) {
            if (prop.countType.empty())
                out += "property " + prop.type + " " + prop.name + doc.eol;
            else
                out +=
                    "property list " + prop.countType + " " + prop.type + " " + prop.name + doc.eol;
        }
    }
    out += "end_header" + doc.eol;
    for (const Elem& elem : doc.elems) {
        for (const Row& row : elem.rows) {
            bool first = true;
            auto put = [&](const std::string& type, double value) {
                if (doc.enc == Encoding::Ascii && !first) out += doc.sep;
                first = false;
                appendValue(out, doc.enc, type, value);
            };
            for (size_t j = 0; j < elem.props.size(); ++j) {
                const Prop& prop = elem.props[j];
                if (!prop.countType.empty())
                    put(prop.countType, static_cast<double>(row[j].size()));
                for (double v : row[j])
                    put(prop.type, v);
            }
            if (doc.enc == Encoding::Ascii) out += doc.eol;
        }
    }
    return out;
}

// A mesh as plain numbers, for building files and checking loads.
struct Shape {
    std::vector<std::vector<double>> pos;
    std::vector<std::vector<double>> faces; // corner indices, any number per face
};

inline Elem vertexElem(const Shape& shape, const std::string& type) {
    Elem e{"vertex", {{"x", type, ""}, {"y", type, ""}, {"z", type, ""}}, {}};
    for (const auto& p : shape.pos)
        e.rows.push_back({{p[0]}, {p[1]}, {p[2]}});
    return e;
}

inline Elem faceElem(const Shape& shape, const std::string& indexType,
                     const std::string& countType = "uchar",
                     const std::string& name = "vertex_indices") {
    Elem e{"face", {{name, indexType, countType}}, {}};
    for (const auto& f : shape.faces)
        e.rows.push_back({f});
    return e;
}

// Owns what the reader put into a mesh (the reader allocates with malloc).
struct LoadedMesh {
    Smesh mesh{};
    LoadedMesh() { resetSmesh(&mesh); }
    ~LoadedMesh() {
        std::free(mesh.verts);
        std::free(mesh.tris);
    }
    LoadedMesh(const LoadedMesh&) = delete;
    LoadedMesh& operator=(const LoadedMesh&) = delete;
    int corner(int t, int k) const { return int(mesh.tris[t].verts[k] - mesh.verts); }
};

struct LoadOutcome {
    bool exited = false;
    int status = 0;
    std::string out;
    std::string err;
};

// Runs a reader call with endProcess trapped and both streams captured.
template <typename Fn> LoadOutcome capture(Fn fn) {
    LoadOutcome r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        testsupport::ExitTrap trap;
        try {
            fn();
        } catch (const testsupport::ProcessExit& e) {
            r.exited = true;
            r.status = e.status;
        }
    }
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

inline LoadOutcome loadBytes(LoadedMesh& m, const std::string& bytes,
                             const char* name = "mesh.ply") {
    return capture([&] { readPlyModelFromBytes(&m.mesh, name, bytes); });
}

inline int countLines(const std::string& text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

// The positions and corners of a load, against a shape (faces checked by their first three).
inline void expectShape(const LoadedMesh& m, const Shape& shape) {
    ASSERT_EQ(m.mesh.nverts, int(shape.pos.size()));
    ASSERT_EQ(m.mesh.ntris, int(shape.faces.size()));
    for (int i = 0; i < m.mesh.nverts; ++i) {
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(m.mesh.verts[i].pos[k], static_cast<float>(shape.pos[i][k]))
                << "vertex " << i << " axis " << k;
        EXPECT_EQ(m.mesh.verts[i].index, i);
        EXPECT_EQ(m.mesh.verts[i].tris, nullptr);
        EXPECT_EQ(m.mesh.verts[i].ntris, 0);
    }
    for (int t = 0; t < m.mesh.ntris; ++t)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(m.corner(t, k), int(shape.faces[t][k])) << "face " << t << " corner " << k;
}

} // namespace plytest
