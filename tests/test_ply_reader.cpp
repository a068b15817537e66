// Tests of the PLY library and mesh reader. The files they read are laid out by a small writer
// of their own that shares no code with the reader, so a fault in the reader cannot be mirrored
// by the writer.
#include "geom_util.h"
#include "plyfile.h"
#include "support.h"

#include <gtest/gtest.h>

#include <array>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <map>
#include <sstream>
#include <tuple>

namespace {

const char* const kFormats[] = {"ascii", "binary_little_endian", "binary_big_endian"};
const char* const kTypes[] = {"char", "short", "int", "uchar", "ushort", "uint", "float", "double"};

// An element: its name, its property lines ("float x", "list uchar int vertex_indices") and its
// records with the values as they stand in the file, list counts included.
struct Elem {
    std::string name;
    std::vector<std::string> props;
    std::vector<std::vector<double>> rows;
};

void appendValue(std::string& out, const std::string& format, const std::string& type, double v) {
    const bool f = type == "float", d = type == "double";
    if (format == "ascii") {
        char text[40];
        out.append(text, std::snprintf(text, 40, f ? " %.9g" : " %.17g", f ? float(v) : v));
        return;
    }
    const uint64_t bits = d   ? std::bit_cast<uint64_t>(v)
                          : f ? std::bit_cast<uint32_t>(float(v))
                              : uint64_t(int64_t(v));
    const int size = d ? 8 : f || type.ends_with("int") ? 4 : type.ends_with("short") ? 2 : 1;
    for (int i = 0; i < size; ++i)
        out.push_back(char(bits >> 8 * (format == "binary_big_endian" ? size - 1 - i : i)));
}

// A file of the given format holding elems, with the header lines after the format line.
std::string write(const std::string& format, const std::vector<Elem>& elems,
                  const std::vector<std::string>& header = {}) {
    std::string out = "ply\nformat " + format + " 1.0\n", data;
    for (const std::string& line : header)
        out += line + "\n";
    for (const Elem& e : elems) {
        out += "element " + e.name + " " + std::to_string(e.rows.size()) + "\n";
        std::vector<std::vector<std::string>> types; // per property: its type, or count and items
        for (const std::string& p : e.props) {
            out += "property " + p + "\n";
            std::istringstream in(p);
            std::string a, b, c;
            in >> a >> b >> c;
            types.push_back(a == "list" ? std::vector{b, c} : std::vector{a});
        }
        for (const std::vector<double>& row : e.rows) {
            std::string line;
            size_t k = 0;
            for (const auto& t : types) {
                const size_t n = t.size() > 1 ? size_t(row.at(k)) : 1;
                if (t.size() > 1) appendValue(line, format, t[0], row.at(k++));
                for (size_t i = 0; i < n; ++i)
                    appendValue(line, format, t.back(), row.at(k++));
            }
            data += format == "ascii" ? line.substr(!line.empty()) + "\n" : line;
        }
    }
    return out + "end_header\n" + data;
}

// A mesh as plain numbers, for building files and checking loads.
struct Shape {
    std::vector<std::vector<double>> pos, faces; // faces: corner indices, any number per face
};

std::vector<Elem> meshElems(const Shape& shape, const std::string& posType,
                            const std::string& indexType, const std::string& countType = "uchar") {
    Elem v{"vertex", {posType + " x", posType + " y", posType + " z"}, shape.pos};
    Elem f{"face", {"list " + countType + " " + indexType + " vertex_indices"}, shape.faces};
    for (auto& row : f.rows)
        row.insert(row.begin(), double(row.size()));
    return {v, f};
}

// A pyramid on a square base whose coordinates fit every PLY type, with the base as one quad
// (fanned from its first corner into two triangles).
const Shape kPyramid{{{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}, {50, 50, 120}},
                     {{0, 3, 2, 1}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}}};

using geomtest::corners;
using LoadedMesh = geomtest::OwnedMesh;

using LoadOutcome = geomtest::Outcome;
using geomtest::trapped;

LoadOutcome loadBytes(LoadedMesh& m, const std::string& bytes, const char* name = "mesh.ply") {
    return geomtest::captured([&] { return readPlyMesh(&m, name, bytes); });
}

LoadOutcome loadFile(LoadedMesh& m, const std::string& path) {
    return geomtest::captured([&] { return readPlyMeshFile(&m, path.c_str()); });
}

// The positions (as floats) and the fan of every face of a load.
void expectShape(const LoadedMesh& m, const Shape& shape) {
    ASSERT_EQ(m.nverts, int(shape.pos.size()));
    std::vector<std::array<int, 3>> fanned;
    for (const auto& f : shape.faces)
        for (size_t k = 1; k + 1 < f.size(); ++k)
            fanned.push_back({int(f[0]), int(f[k]), int(f[k + 1])});
    ASSERT_EQ(m.ntris, int(fanned.size()));
    for (int i = 0; i < m.nverts; ++i) {
        EXPECT_EQ(m.verts[i].index, i);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(m.verts[i].pos[k], float(shape.pos[i][k])) << "vertex " << i;
    }
    for (int t = 0; t < m.ntris; ++t)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(corners(m)[t][k], fanned[t][k]) << "triangle " << t << " corner " << k;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != text.npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Opens bytes that are kept for the rest of the run, as the PlyFile reads them in place.
PlyFilePtr open(std::string bytes, int* nelems = nullptr, std::vector<std::string>* names = nullptr,
                int* fileType = nullptr, float* version = nullptr) {
    static std::list<std::string> kept;
    kept.push_back(std::move(bytes));
    return PlyFilePtr(
        ply_open_for_reading_bytes(kept.back(), "lib.ply", nelems, names, fileType, version));
}

// Asks for a property of elem to be stored as type at offset (a list when countType is given).
void ask(const PlyFilePtr& ply, const char* elem, const char* name, int type, size_t offset,
         int countType = 0, size_t countOffset = 0) {
    const PlyProperty p{name, 0, type, int(offset), countType != 0, 0, countType, int(countOffset)};
    ply_get_property(ply.get(), elem, &p);
}

// A stored value of each memory type, read back as a double.
template <typename T> double as(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return double(v);
}
double (*const kStored[])(const char*) = {nullptr,      as<int8_t>,  as<int16_t>,
                                          as<int32_t>,  as<uint8_t>, as<uint16_t>,
                                          as<uint32_t>, as<float>,   as<double>};

// One file per fault and the one line it gives, "%s" standing for the file's path.
const std::map<std::string, std::string> kFaults = {
    {"empty_file", "read_model(): can't open input file %s"},
    {"property_before_element", "ply_read: %s: property before any element: 'property float x'"},
    {"element_count_negative", "ply_read: %s: malformed element line: 'element vertex -3'"},
    {"element_count_not_a_number", "ply_read: %s: malformed element line: 'element vertex 3x'"},
    {"element_count_out_of_range", "ply_read: %s: element count out of range (at most "
                                   "2147483647): 'element vertex 3000000000'"},
    {"element_declared_twice", "ply_read: %s: element declared twice: 'element vertex 3'"},
    {"property_line_short", "ply_read: %s: malformed property line: 'property float'"},
    {"list_property_short", "ply_read: %s: malformed property line: 'property list uchar int'"},
    {"vertex_count_exceeds_file",
     "ply_read: %s: element 'vertex' has 1000000000 records, more than the file can hold"},
    {"binary_face_count_exceeds_file",
     "ply_read: %s: element 'face' has 2000000000 records, more than the file can hold"},
    {"unknown_type_name_ascii", "get_ascii_item: bad type = 0"},
    {"unknown_type_name_binary", "get_binary_item: bad type = 0"},
    {"record_too_few_values", "ply_get_element: %s: too few values in a 'vertex' record"},
    {"record_bad_number", "ply_get_element: %s: bad value '1.5.2' in a 'vertex' record"},
    {"record_number_with_letters", "ply_get_element: %s: bad value '2abc' in a 'face' record"},
    {"record_int_out_of_range", "ply_get_element: %s: bad value '99999999999' in a 'face' record"},
    {"record_uint_negative", "ply_get_element: %s: bad value '-1' in a 'face' record"},
    {"bad_value_after_list", "ply_get_element: %s: bad value 'x' in a 'face' record"},
    {"ascii_ends_inside_vertices", "ply_get_element: unexpected end of file"},
    {"binary_ends_inside_faces", "ply_get_element: %s: unexpected end of file in a 'face' record"},
    {"binary_list_too_long", "ply_get_element: %s: unexpected end of file in a 'face' record"},
    {"face_list_count_exceeds_line", "ply_get_element: %s: too few values in a 'face' record"},
    {"list_count_negative", "ply_get_element: %s: bad list count in a 'face' record"},
    {"index_out_of_range", "read_model(): %s: face 0 refers to vertex 3, outside the 3 vertices"},
    {"index_negative", "read_model(): %s: face 0 refers to vertex -1, outside the 3 vertices"},
    {"face_two_corners", "read_model(): %s: face 0 has 2 corners, fewer than three"},
    {"face_without_index_list", "read_model(): %s: element 'face' has no vertex_indices list"},
};

} // namespace

TEST(PlyLibrary, TheHeaderGivesElementsPropertiesCommentsAndObjInfo) {
    int nelems = -1, type = -1, count = -1, nprops = -1;
    float version = -1;
    std::vector<std::string> names;
    const PlyFilePtr ply =
        open("ply\nformat binary_little_endian 1.5\ncomment first  comment\n"
             "element vertex 2\nproperty float x\nobj_info   scanner 7\n"
             "property list uchar int tags\nunknown words are ignored\nelement face 0\n"
             "comment\nend_header\n" +
                 std::string(10, '\0'),
             &nelems, &names, &type, &version);
    ASSERT_TRUE(ply);
    EXPECT_EQ(std::tie(nelems, type, version), std::tuple(2, PLY_BINARY_LE, 1.5f));
    EXPECT_EQ(names, (std::vector<std::string>{"vertex", "face"}));
    auto props = ply_get_element_description(ply.get(), "vertex", &count, &nprops);
    ASSERT_TRUE(props && props->size() == 2);
    const PlyProperty& tags = (*props)[1];
    EXPECT_EQ(std::tie(count, nprops, tags.name, tags.count_type_in_file, tags.type_in_file),
              std::tuple(2, 2, "tags", PLY_UCHAR, PLY_INT));
    EXPECT_FALSE(ply_get_element_description(ply.get(), "Vertex", &count, &nprops));
    // The description is a copy: changing it changes nothing in the file's record.
    (*props)[1].name = "changed";
    EXPECT_EQ(ply_get_element_description(ply.get(), "vertex", nullptr, nullptr)->at(1).name,
              "tags");
    EXPECT_EQ(ply_get_comments(ply.get(), &count),
              (std::vector<std::string>{"first  comment", ""}));
    EXPECT_EQ(ply_get_obj_info(ply.get(), &nprops), std::vector<std::string>{"scanner 7"});
    EXPECT_EQ(std::tie(count, nprops), std::tuple(2, 1));
}

TEST(PlyLibrary, HeadersThatAreNotPlyHeadersOpenAsNullWithoutAWord) {
    for (const char* header :
         {"", "plyx\nformat ascii 1.0\nend_header\n", "PLY\nformat ascii 1.0\nend_header\n",
          "\nply\nformat ascii 1.0\nend_header\n", "ply\nformat ascii 1.0 extra\nend_header\n",
          "ply\nformat ascii\nend_header\n", "ply\nformat binary 1.0\nend_header\n",
          "ply\nformat ASCII 1.0\nend_header\n", "ply\nformat ascii one\nend_header\n",
          "ply\nelement vertex 0\nend_header\n", "ply\nformat ascii 1.0\nelement vertex 0\n",
          "ply\nformat ascii 1.0\nend_head\n"}) {
        const LoadOutcome r = trapped([&] { EXPECT_FALSE(open(header)) << header; });
        EXPECT_TRUE(!r.ended && r.err.empty()) << header;
    }
    int nelems = -1, type = -1; // the smallest header that is one:
    ASSERT_TRUE(open("ply\nformat ascii 1.0\nend_header", &nelems, nullptr, &type));
    EXPECT_EQ(std::tie(nelems, type), std::tuple(0, PLY_ASCII));
}

TEST(PlyLibrary, ValuesAreConvertedBetweenFileAndMemoryTypes) {
    // File type, value in the file, memory type, and the stored value worked out by hand.
    const std::tuple<const char*, double, int, double> cases[] = {
        {"int", -1, PLY_UCHAR, 255},
        {"uint", 4294967295.0, PLY_INT, -1}, // same bits
        {"float", 3.9, PLY_INT, 3},          // truncated toward zero
        {"double", -3.9, PLY_SHORT, -3},
        {"uint", 4e9, PLY_DOUBLE, 4e9},
        {"char", -5, PLY_UINT, 4294967291.0},    // 2^32 - 5
        {"float", 1e10, PLY_UINT, 1410065408.0}, // low 32 bits: 10^10 - 2 * 2^32
        {"short", 300, PLY_CHAR, 44},            // 300 - 256
        {"double", 0.1, PLY_FLOAT, double(0.1f)},
        {"uchar", 200, PLY_FLOAT, 200},
        {"int", -7, PLY_USHORT, 65529},          // 65536 - 7
        {"float", -2.5, PLY_UINT, 4294967294.0}, // -2 through 64 bits: 2^32 - 2
        {"double", 3e9, PLY_INT, INT_MIN},       // out of range: what x86 gives
    };
    Elem e{"sample", {}, {{}}};
    for (const auto& [fileType, value, memType, expected] : cases) {
        e.props.push_back(fileType + std::string(" ") + char('a' + e.props.size()));
        e.rows[0].push_back(value);
    }
    for (const char* format : kFormats) {
        const PlyFilePtr ply = open(write(format, {e}));
        ASSERT_TRUE(ply) << format;
        for (size_t j = 0; j < std::size(cases); ++j) // the name is the last letter
            ask(ply, "sample", &e.props[j].back(), std::get<2>(cases[j]), 8 * j);
        alignas(8) char record[8 * std::size(cases)] = {};
        ply_get_element(ply.get(), record);
        for (size_t j = 0; j < std::size(cases); ++j)
            EXPECT_EQ(kStored[std::get<2>(cases[j])](record + 8 * j), std::get<3>(cases[j]))
                << format << " case " << j;
    }
}

TEST(PlyLibrary, ListsAreAllocatedForTheCallerAndWhatCannotBeStoredAsAskedIsLeftOut) {
    struct Record {
        unsigned short n;
        double* items;
        int after;
    };
    const Elem e{"poly", {"list uint short items", "char after"}, {{3, -3, 4, 5, 9}, {0, -1}}};
    for (const char* format : kFormats) {
        const PlyFilePtr ply = open(write(format, {e}));
        ASSERT_TRUE(ply) << format;
        ask(ply, "poly", "items", PLY_DOUBLE, offsetof(Record, items), PLY_USHORT,
            offsetof(Record, n));
        ask(ply, "poly", "after", PLY_INT, offsetof(Record, after));
        Record r{77, nullptr, 0};
        ply_get_element(ply.get(), &r);
        ASSERT_EQ(r.n, 3) << format;
        EXPECT_EQ(std::tie(r.items[0], r.items[2], r.after), std::tuple(-3.0, 5.0, 9)) << format;
        std::free(r.items);
        r.items = reinterpret_cast<double*>(&r); // anything but null, to see it replaced
        ply_get_element(ply.get(), &r);
        EXPECT_EQ(std::tie(r.n, r.items, r.after), std::tuple(0, nullptr, -1)) << format;
    }
    // A list asked for as one value would put a count where a value is wanted, and the other way
    // round a value would be taken for a list's address.
    const PlyFilePtr ply = open(write("ascii", {e}));
    float r[2] = {-1, -1};
    const LoadOutcome out = trapped([&] {
        ask(ply, "poly", "items", PLY_FLOAT, 4);
        ask(ply, "poly", "after", PLY_FLOAT, 0, PLY_INT, 4);
        ply_get_element(ply.get(), r);
    });
    EXPECT_EQ(out.err, "Warning:  Property 'items' in element 'poly' is a list, not a value; it "
                       "is left out\n"
                       "Warning:  Property 'after' in element 'poly' is a value, not a list; it is "
                       "left out\n");
    EXPECT_EQ(std::tie(r[0], r[1]), std::tuple(-1.0f, -1.0f));
}

TEST(PlyLibrary, ByteOrderFollowsTheFileAndTheHostFlag) {
    // s = 0x0102 and d = 1.0 (0x3FF0000000000000) as a big-endian file holds them. On a
    // big-endian host the little-endian file is the one whose values are reversed.
    for (bool host : {false, true}) {
        bigEndian = host;
        const PlyFilePtr ply = open(
            std::string("ply\nformat ") + (host ? "binary_little_endian" : "binary_big_endian") +
            " 1.0\nelement v 1\nproperty short s\nproperty double d\nend_header\n\x01\x02\x3f\xf0" +
            std::string(6, '\0'));
        ASSERT_TRUE(ply);
        ask(ply, "v", "s", PLY_SHORT, 0);
        ask(ply, "v", "d", PLY_DOUBLE, 8);
        alignas(8) char r[16] = {};
        ply_get_element(ply.get(), r);
        bigEndian = false;
        EXPECT_EQ(std::tuple(as<int16_t>(r), as<double>(r + 8)), std::tuple(0x0102, 1.0)) << host;
    }
}

TEST(PlyLibrary, AFailedLibraryAllocationIsReportedWithItsSite) {
    const LoadOutcome r =
        trapped([] { std::free(my_alloc(size_t(PTRDIFF_MAX) + 1, 123, "Src/plyfile")); });
    EXPECT_TRUE(r.ended && r.status == -1);
    EXPECT_EQ(r.err, "Memory allocation bombed on line 123 in Src/plyfile\n");
}

TEST(PlyReader, EveryFormatAndEveryTypeForPositionsCountsAndIndices) {
    for (int n = 0; n < 3 * 8 * 8; ++n) {
        const int p = n / 8 % 8, i = n % 8;
        const char *format = kFormats[n / 64], *countType = kTypes[(p + i) % 8];
        SCOPED_TRACE(std::string(format) + " " + kTypes[p] + " " + kTypes[i] + " " + countType);
        // Where the type holds them, fractional coordinates 0.3 c + 0.1 (exact neither in float
        // nor in double), each rounded to float once.
        auto at = [&](double c) { return p < 6 ? c : c * 0.3 + 0.1; };
        Shape shape = kPyramid;
        for (auto& q : shape.pos)
            q = {at(q[0]), at(q[1]), at(q[2])};
        LoadedMesh m;
        // Every other case names its types by size (int8 ... float64), which reads the same.
        static const char* const kSized[] = {"int8",   "int16",  "int32",   "uint8",
                                             "uint16", "uint32", "float32", "float64"};
        std::string bytes = write(format, meshElems(shape, kTypes[p], kTypes[i], countType));
        if (n % 2) {
            const size_t header = bytes.find("end_header");
            std::string head = bytes.substr(0, header);
            for (int t = 0; t < 8; ++t)
                head = replaceAll(head, std::string(" ") + kTypes[t] + " ",
                                  std::string(" ") + kSized[t] + " ");
            bytes = head + bytes.substr(header);
        }
        const LoadOutcome r = loadBytes(m, bytes);
        ASSERT_TRUE(!r.ended && r.err.empty()) << r.err;
        expectShape(m, shape);
        // The box from the stored floats, in double; 0..100 x 0..100 x 0..120 unchanged.
        const double lo = float(at(0)), hi = float(at(100)), top = float(at(120));
        EXPECT_EQ(m.center[0], float((lo + hi) * 0.5));
        EXPECT_EQ(m.extent, float((top - lo) * 0.5));
    }
}

TEST(PlyReader, TabsCrlfLineEndsPlusSignsExtraWordsAndLongLines) {
    const std::string text = "ply\nformat ascii 1.0\ncomment from another system\n"
                             "element vertex 3\nproperty float x\nproperty float y\n"
                             "property float z\nelement face 1\n"
                             "property list uchar int vertex_indices\nend_header\n"
                             "+1.5 -2 +3e1\n0 0 0 7 7\n1 1 1\n3 2 1 0 255 0 0\n";
    // Lines beyond 4095 characters: a long comment and a long record.
    const std::string longText = replaceAll(replaceAll(text, "system", std::string(5000, 'c')),
                                            " 7 7", replaceAll(std::string(3000, '#'), "#", " 7"));
    for (const auto& [bytes, comment] : std::map<std::string, std::string>{
             {text, "from another system"},
             {replaceAll(text, "\n", "\r\n"), "from another system"},
             {replaceAll(text, " ", "\t \t"), "from   another   system"},
             {longText, "from another " + std::string(5000, 'c')}}) {
        LoadedMesh m;
        const LoadOutcome r = loadBytes(m, bytes);
        ASSERT_FALSE(r.ended) << r.err;
        EXPECT_EQ(r.out, "type 1\ncomment = '" + comment + "'\n");
        expectShape(m, {{{1.5, -2, 30}, {0, 0, 0}, {1, 1, 1}}, {{2, 1, 0}}});
    }
}

TEST(PlyReader, ExtraPropertiesAndElementsAreSteppedOverAndCommentsPrintedInOrder) {
    Elem v{"vertex", {"double c", "float x", "short y", "list uchar int t", "uint z"}, {}};
    for (const auto& p : kPyramid.pos)
        v.rows.push_back({0.5, p[0], p[1], 2, 7, p[2], p[2]});
    Elem f{"face", {"uchar flags", "list uchar float uv", "list uchar int vertex_index"}, {}};
    for (auto c : kPyramid.faces) {
        c.insert(c.begin(), {7, 1, 0.5, double(c.size())});
        f.rows.push_back(c);
    }
    // Faces come before vertices; an element of a type the library does not know after both is
    // never read.
    const Elem material{"material", {"double s", "list int uchar n"}, {{0.5, 2, 65, 66}, {2, 0}}};
    for (int code = 1; code <= 3; ++code) {
        LoadedMesh m;
        const LoadOutcome r = loadBytes(
            m, write(kFormats[(4 - code) % 3], {material, f, v, {"grid", {"uint8 i"}, {{1}}}},
                     {"comment   made by hand", "obj_info first info", "comment second\tone",
                      "obj_info\t\tsecond info"}));
        ASSERT_TRUE(!r.ended && r.err.empty()) << r.err;
        expectShape(m, kPyramid);
        EXPECT_EQ(r.out, "type " + std::to_string(code) +
                             "\ncomment = 'made by hand'\ncomment = 'second one'\n"
                             "obj_info = 'first info'\nobj_info = 'second info'\n");
    }
}

TEST(PlyReader, AMissingCoordinateReadsAsZeroAndNoVertexElementLeavesAnEmptyMesh) {
    LoadedMesh m, e;
    LoadOutcome r =
        loadBytes(m, write("ascii", {{"vertex", {"float x", "float y"}, {{1, 2}, {3, -4}}}}));
    ASSERT_FALSE(r.ended) << r.err;
    EXPECT_EQ(r.err, "Warning:  Can't find property 'z' in element 'vertex'\n");
    expectShape(m, {{{1, 2, 0}, {3, -4, 0}}, {}});
    // Box 1..3 x -4..2 x 0..0: the y half side 3 is the greatest.
    EXPECT_EQ(std::tie(m.center[1], m.extent), std::tuple(-1.0f, 3.0f));
    e.center[0] = e.extent = 9;
    r = loadBytes(e, write("ascii", {{"camera", {"float px"}, {{1}, {2}}},
                                     {"face", {"list uchar int vertex_indices"}, {}}}));
    ASSERT_FALSE(r.ended) << r.err;
    EXPECT_TRUE(!e.verts && !e.tris && e.nverts == 0 && e.ntris == 0);
    EXPECT_EQ(std::tie(e.center[0], e.extent), std::tuple(0.0f, 0.0f));
}

TEST(PlyReader, FilesOnDiskAndTheSuffixRule) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "model.ply",
                           write("binary_big_endian", meshElems(kPyramid, "double", "short")));
    testsupport::writeFile(dir / "model.PLY", write("ascii", meshElems(kPyramid, "float", "int")));
    for (const char* name : {"model.ply", "model"}) {
        LoadedMesh m;
        const LoadOutcome r = loadFile(m, (dir / name).string());
        ASSERT_FALSE(r.ended) << name << ": " << r.err;
        EXPECT_EQ(r.out, "type 2\n");
        expectShape(m, kPyramid);
    }
    // model.PLY does not end in exactly ".ply", so model.PLY.ply is looked for, and is missing.
    const std::string upper = (dir / "model.PLY").string();
    LoadedMesh m;
    const LoadOutcome r = loadFile(m, upper);
    EXPECT_TRUE(r.ended && r.status == -1 && r.out.empty());
    EXPECT_EQ(r.err, "read_model(): can't open input file " + upper + "\n");
}

// A cube of quads and one polygon of 255 corners whose header names its types by size (uint8,
// int32, float32, float64): every polygon is fanned from its first corner.
TEST(PlyCorpus, PolygonsAreFannedAndSizedTypeNamesRead) {
    const std::string dir = testsupport::corpusPath("ply/");
    for (const auto& [file, nverts, ntris] :
         {std::tuple{"cube_of_quads.ply", 8, 12},
          std::tuple{"polygon_255_sized_types.ply", 255, 253}}) {
        LoadedMesh m;
        const LoadOutcome r = loadBytes(m, testsupport::readFile(dir + file));
        ASSERT_TRUE(!r.ended && r.err.empty()) << r.err;
        ASSERT_EQ(std::make_pair(m.nverts, m.ntris), std::make_pair(nverts, ntris));
        // The last triangle of the fan of the last face.
        const int last[2][3] = {{1, 7, 5}, {0, 253, 254}};
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(corners(m).back()[k], last[nverts == 255][k]) << file;
    }
}

TEST(PlyCorpus, EachMalformedFileGivesItsOneLineAndStatusMinusOne) {
    const std::string dir = testsupport::corpusPath("ply/");
    // Besides the faults, two sound files (see PolygonsAreFannedAndSizedTypeNamesRead).
    EXPECT_EQ(size_t(std::distance(std::filesystem::directory_iterator(dir), {})),
              kFaults.size() + 2);
    for (const auto& [name, message] : kFaults) {
        const std::string path = dir + name + ".ply";
        std::string line = message + "\n";
        if (const size_t at = line.find("%s"); at != line.npos) line.replace(at, 2, path);
        // The file type is printed once the header is read and found sound.
        const bool opened = line.find("can't open") == line.npos && line.find("ply_read") != 0;
        const bool ascii = testsupport::readFile(path).find("format ascii") != std::string::npos;
        LoadedMesh m;
        const LoadOutcome r = loadFile(m, path);
        EXPECT_TRUE(r.ended && r.status == -1) << name;
        EXPECT_EQ(r.err, line) << name;
        EXPECT_EQ(r.out, !opened ? "" : ascii ? "type 1\n" : "type 3\n") << name;
        EXPECT_TRUE(m.verts == nullptr && m.tris == nullptr) << name;
    }
}

TEST(PlyCorpus, EveryPrefixOfAValidFileEndsInOneLine) {
    for (const char* format : kFormats) {
        const std::string whole =
            write(format, meshElems(kPyramid, "float", "int"), {"comment cut at every byte"});
        LoadedMesh full;
        ASSERT_FALSE(loadBytes(full, whole).ended) << format;
        // An ascii file whose last line lost only its line end is still whole (its last word is
        // a one-digit index, so no shorter cut can pass for a complete value).
        const size_t cuts = whole.size() - (format == std::string("ascii") ? 1 : 0);
        size_t openFailures = 0;
        for (size_t len = 0; len < cuts; ++len) {
            LoadedMesh m;
            const LoadOutcome r = loadBytes(m, whole.substr(0, len), "cut.ply");
            ASSERT_TRUE(r.ended) << format << ": prefix of " << len << " bytes loaded";
            EXPECT_TRUE(r.status == -1 && !m.verts) << len;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << len << r.err;
            openFailures += r.err == "read_model(): can't open input file cut.ply\n";
        }
        // Exactly the cuts inside the header (up to the end of "end_header") are not PLY headers.
        EXPECT_EQ(openFailures, whole.find("end_header") + 10) << format;
    }
}
