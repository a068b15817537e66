#include "Geometry.h"
#include "ply_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

using namespace plytest;

namespace {

const std::string kCorpus = std::string(ORVALIS_SOURCE_DIR) + "/tests/corpus/ply/";

struct Fault {
    const char* file;
    const char* line; // "%s" stands for the file's path
    int type;         // the "type" line printed before the fault; 0 when the file did not open
};

// One file per fault, each with the one line it must give. Every one ends with status -1.
const Fault kFaults[] = {
    {"empty_file.ply", "read_model(): can't open input file %s", 0},
    {"not_ply_magic.ply", "read_model(): can't open input file %s", 0},
    {"format_four_words.ply", "read_model(): can't open input file %s", 0},
    {"format_unknown.ply", "read_model(): can't open input file %s", 0},
    {"format_missing.ply", "read_model(): can't open input file %s", 0},
    {"end_header_missing.ply", "read_model(): can't open input file %s", 0},
    {"property_before_element.ply", "ply_read: %s: property before any element: 'property float x'",
     0},
    {"element_count_negative.ply", "ply_read: %s: malformed element line: 'element vertex -3'", 0},
    {"element_count_not_a_number.ply", "ply_read: %s: malformed element line: 'element vertex 3x'",
     0},
    {"element_line_short.ply", "ply_read: %s: malformed element line: 'element vertex'", 0},
    {"element_declared_twice.ply", "ply_read: %s: element declared twice: 'element vertex 3'", 0},
    {"property_line_short.ply", "ply_read: %s: malformed property line: 'property float'", 0},
    {"list_property_line_short.ply",
     "ply_read: %s: malformed property line: 'property list uchar int'", 0},
    {"vertex_count_exceeds_file.ply",
     "ply_read: %s: element 'vertex' has 1000000000 records, more than the file can hold", 0},
    {"binary_face_count_exceeds_file.ply",
     "ply_read: %s: element 'face' has 2000000000 records, more than the file can hold", 0},
    {"unknown_type_name_ascii.ply", "get_ascii_item: bad type = 0", 1},
    {"unknown_type_name_binary.ply", "get_binary_item: bad type = 0", 3},
    {"unknown_list_count_type.ply", "get_ascii_item: bad type = 0", 1},
    {"record_too_few_values.ply", "ply_get_element: %s: too few values in a 'vertex' record", 1},
    {"record_blank_line.ply", "ply_get_element: %s: too few values in a 'vertex' record", 1},
    {"record_bad_number.ply", "ply_get_element: %s: bad value '1.5.2' in a 'vertex' record", 1},
    {"record_number_with_letters.ply", "ply_get_element: %s: bad value '2abc' in a 'face' record",
     1},
    {"record_int_out_of_range.ply",
     "ply_get_element: %s: bad value '99999999999' in a 'face' record", 1},
    {"record_uint_negative.ply", "ply_get_element: %s: bad value '-1' in a 'face' record", 1},
    {"ascii_ends_inside_vertices.ply", "ply_get_element: unexpected end of file", 1},
    {"binary_ends_inside_faces.ply",
     "ply_get_element: %s: unexpected end of file in a 'face' record", 3},
    {"binary_list_count_exceeds_file.ply",
     "ply_get_element: %s: unexpected end of file in a 'face' record", 3},
    {"face_list_count_exceeds_line.ply", "ply_get_element: %s: too few values in a 'face' record",
     1},
    {"list_count_negative.ply", "ply_get_element: %s: bad list count in a 'face' record", 1},
    {"face_index_out_of_range.ply",
     "read_model(): %s: face 0 refers to vertex 3, outside the 3 vertices", 1},
    {"face_index_negative.ply",
     "read_model(): %s: face 0 refers to vertex -1, outside the 3 vertices", 1},
    {"binary_face_index_out_of_range_big_endian.ply",
     "read_model(): %s: face 0 refers to vertex 70000, outside the 3 vertices", 2},
    {"face_two_corners.ply", "read_model(): %s: face 0 has 2 corners, fewer than three", 1},
    {"faces_without_vertex_element.ply",
     "read_model(): %s: face 0 refers to vertex 0, outside the 0 vertices", 1},
    {"face_without_index_list.ply", "read_model(): %s: element 'face' has no vertex_indices list",
     1},
};

std::string expectedLine(const char* pattern, const std::string& path) {
    std::string line(pattern);
    const size_t at = line.find("%s");
    if (at != std::string::npos) line.replace(at, 2, path);
    return line + "\n";
}

// A mesh with a comment, used whole and cut.
Doc sweepDoc(Encoding enc) {
    const Shape shape{{{0.5, -1, 2}, {3, 4.25, -5}, {6, 7, 8.125}, {-9, 10, 11}},
                      {{0, 1, 2}, {0, 2, 3, 1}, {3, 2, 1}}};
    Doc doc;
    doc.enc = enc;
    doc.headerExtra = {"comment cut at every byte"};
    doc.elems = {vertexElem(shape, "float"), faceElem(shape, "int")};
    return doc;
}

// Every corner of a loaded mesh lies in its vertex array.
void expectCornersInside(const LoadedMesh& m) {
    for (int t = 0; t < m.mesh.ntris; ++t)
        for (int k = 0; k < 3; ++k) {
            const int c = m.corner(t, k);
            ASSERT_TRUE(c >= 0 && c < m.mesh.nverts) << "triangle " << t << " corner " << c;
        }
}

} // namespace

TEST(PlyCorpus, EachMalformedFileGivesItsOneLineAndStatusMinusOne) {
    std::set<std::string> listed;
    Geometry geometry;
    for (const Fault& fault : kFaults) {
        const std::string path = kCorpus + fault.file;
        listed.insert(fault.file);
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        LoadedMesh m;
        const LoadOutcome r = capture([&] { geometry.readPlyModel(&m.mesh, path.c_str()); });
        EXPECT_TRUE(r.exited) << fault.file;
        EXPECT_EQ(r.status, -1) << fault.file;
        EXPECT_EQ(r.err, expectedLine(fault.line, path)) << fault.file;
        EXPECT_EQ(r.out, fault.type ? "type " + std::to_string(fault.type) + "\n" : "")
            << fault.file;
        EXPECT_EQ(m.mesh.verts, nullptr) << fault.file;
        EXPECT_EQ(m.mesh.tris, nullptr) << fault.file;
    }
    // Every file of the corpus is in the table.
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus))
        EXPECT_EQ(listed.count(entry.path().filename().string()), 1u) << entry.path();
}

TEST(PlyCorpus, EveryPrefixOfAValidFileEndsInOneLine) {
    for (Encoding enc : {Encoding::Ascii, Encoding::BinaryLE, Encoding::BinaryBE}) {
        SCOPED_TRACE(formatName(enc));
        const std::string whole = write(sweepDoc(enc));
        LoadedMesh full;
        ASSERT_FALSE(loadBytes(full, whole).exited);
        ASSERT_EQ(full.mesh.ntris, 3);
        int openFailures = 0;
        for (size_t len = 0; len < whole.size(); ++len) {
            const std::string prefix = whole.substr(0, len);
            LoadedMesh m;
            const LoadOutcome r = loadBytes(m, prefix, "cut.ply");
            // An ascii file whose last line lost only its line end is still whole (its last
            // word is a one-digit index, so no shorter cut can pass for a complete value).
            if (enc == Encoding::Ascii && len == whole.size() - 1) {
                ASSERT_FALSE(r.exited) << r.err;
                expectShape(m, Shape{{{0.5, -1, 2}, {3, 4.25, -5}, {6, 7, 8.125}, {-9, 10, 11}},
                                     {{0, 1, 2}, {0, 2, 3}, {3, 2, 1}}});
                continue;
            }
            ASSERT_TRUE(r.exited) << "prefix of " << len << " bytes loaded";
            EXPECT_EQ(r.status, -1) << len;
            EXPECT_EQ(countLines(r.err), 1) << len << ": " << r.err;
            EXPECT_EQ(m.mesh.verts, nullptr);
            openFailures += r.err == "read_model(): can't open input file cut.ply\n";
        }
        // Cuts inside the header (up to the end of "end_header") are not PLY headers.
        const size_t headerEnd = whole.find("end_header") + 10;
        EXPECT_EQ(openFailures, int(headerEnd));
    }
}

TEST(PlyCorpus, DamagedBytesNeverBreakTheReader) {
    // Deterministic damage: overwrite, drop or repeat single bytes, many times over. Every
    // outcome is either a mesh whose corners lie inside it or a reported end with status -1.
    uint32_t state = 12345;
    auto random = [&state](uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    const char interesting[] = {'0', '9', '-', ' ', '\n', '\t', 'e', '.', '\xff', '\0', '\x7f'};
    for (Encoding enc : {Encoding::Ascii, Encoding::BinaryLE, Encoding::BinaryBE}) {
        SCOPED_TRACE(formatName(enc));
        const std::string whole = write(sweepDoc(enc));
        int loaded = 0, ended = 0;
        for (int trial = 0; trial < 1500; ++trial) {
            std::string bytes = whole;
            for (uint32_t edits = 1 + random(3); edits > 0; --edits) {
                const size_t at = random(uint32_t(bytes.size()));
                switch (random(3)) {
                case 0:
                    bytes[at] = random(2) ? interesting[random(sizeof interesting)]
                                          : static_cast<char>(random(256));
                    break;
                case 1:
                    bytes.erase(at, 1);
                    break;
                default:
                    bytes.insert(at, 1, bytes[at]);
                }
            }
            LoadedMesh m;
            const LoadOutcome r = loadBytes(m, bytes, "damaged.ply");
            if (r.exited) {
                ++ended;
                ASSERT_EQ(r.status, -1) << r.err;
                ASSERT_GE(countLines(r.err), 1);
            } else {
                ++loaded;
                expectCornersInside(m);
            }
        }
        // Both outcomes occur, so the damage reaches the data as well as the header.
        EXPECT_GT(loaded, 0);
        EXPECT_GT(ended, 0);
    }
}
