#include "ply_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string>

using namespace plytest;

namespace {

struct Opened {
    std::unique_ptr<std::string> bytes; // what ply reads from; kept at one address
    PlyFilePtr ply;
    int nelems = -1;
    std::vector<std::string> names;
    int fileType = -1;
    float version = -1;
};

Opened open(const std::string& bytes) {
    Opened o;
    o.bytes = std::make_unique<std::string>(bytes);
    o.ply.reset(ply_open_for_reading_bytes(*o.bytes, "lib.ply", &o.nelems, &o.names, &o.fileType,
                                           &o.version));
    return o;
}

// One record holding every memory type, for value conversion.
struct Sample {
    unsigned char a;
    int b;
    int c;
    short d;
    double e;
    unsigned int f;
    unsigned int g;
    signed char h;
    float i;
    float j;
    unsigned short k;
    unsigned int l;
    int m;
};

PlyProperty want(const char* name, int type, size_t offset) {
    PlyProperty p;
    p.name = name;
    p.type_in_memory = type;
    p.offset = static_cast<int>(offset);
    return p;
}

} // namespace

TEST(PlyLibrary, EqualStringsAndTypeNames) {
    EXPECT_EQ(equal_strings("vertex", "vertex"), 1);
    EXPECT_EQ(equal_strings("vertex", "Vertex"), 0);
    EXPECT_EQ(equal_strings("vertex", "vertex_"), 0);
    EXPECT_EQ(equal_strings("", ""), 1);
    const char* names[] = {"char", "short", "int", "uchar", "ushort", "uint", "float", "double"};
    const int sizes[] = {1, 2, 4, 1, 2, 4, 4, 8};
    for (int code = 1; code <= 8; ++code) {
        EXPECT_EQ(get_prop_type(names[code - 1]), code);
        EXPECT_STREQ(type_names[code], names[code - 1]);
        EXPECT_EQ(ply_type_size[code], sizes[code - 1]);
    }
    for (const char* unknown : {"invalid", "float32", "uint8", "int32", "Float", ""})
        EXPECT_EQ(get_prop_type(unknown), 0) << unknown;
}

TEST(PlyLibrary, TheHeaderGivesElementsPropertiesCommentsAndObjInfo) {
    const std::string bytes = "ply\n"
                              "format binary_little_endian 1.5\n"
                              "comment first  comment\n"
                              "element vertex 2\n"
                              "property float x\n"
                              "obj_info   scanner 7\n"
                              "property list uchar int tags\n"
                              "unknown words are ignored\n"
                              "element face 0\n"
                              "property list ushort uint vertex_indices\n"
                              "comment\n"
                              "end_header\n" +
                              std::string(10, '\0');
    Opened o = open(bytes);
    ASSERT_TRUE(o.ply);
    EXPECT_EQ(o.nelems, 2);
    EXPECT_EQ(o.names, (std::vector<std::string>{"vertex", "face"}));
    EXPECT_EQ(o.fileType, PLY_BINARY_LE);
    EXPECT_EQ(o.version, 1.5f);

    int count = -1, nprops = -1;
    auto props = ply_get_element_description(o.ply.get(), "vertex", &count, &nprops);
    ASSERT_TRUE(props);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(nprops, 2);
    ASSERT_EQ(props->size(), 2u);
    EXPECT_EQ((*props)[0].name, "x");
    EXPECT_EQ((*props)[0].type_in_file, PLY_FLOAT);
    EXPECT_EQ((*props)[0].is_list, 0);
    EXPECT_EQ((*props)[1].name, "tags");
    EXPECT_EQ((*props)[1].is_list, 1);
    EXPECT_EQ((*props)[1].count_type_in_file, PLY_UCHAR);
    EXPECT_EQ((*props)[1].type_in_file, PLY_INT);
    props = ply_get_element_description(o.ply.get(), "face", &count, &nprops);
    ASSERT_TRUE(props);
    EXPECT_EQ(count, 0);
    EXPECT_EQ((*props)[0].count_type_in_file, PLY_USHORT);
    EXPECT_EQ((*props)[0].type_in_file, PLY_UINT);
    EXPECT_FALSE(ply_get_element_description(o.ply.get(), "Vertex", &count, &nprops));

    // The description is a copy: changing it changes nothing in the file's record.
    (*props)[0].name = "changed";
    int index = 0;
    EXPECT_NE(find_property(find_element(o.ply.get(), "face"), "vertex_indices", &index), nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(find_property(find_element(o.ply.get(), "face"), "changed", &index), nullptr);
    EXPECT_EQ(index, -1);

    int n = -1;
    EXPECT_EQ(ply_get_comments(o.ply.get(), &n), (std::vector<std::string>{"first  comment", ""}));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(ply_get_obj_info(o.ply.get(), &n), (std::vector<std::string>{"scanner 7"}));
    EXPECT_EQ(n, 1);
}

TEST(PlyLibrary, HeadersThatAreNotPlyHeaders) {
    const char* headers[] = {
        "",
        "plyx\nformat ascii 1.0\nend_header\n",
        "PLY\nformat ascii 1.0\nend_header\n",
        "\nply\nformat ascii 1.0\nend_header\n",
        "ply\nformat ascii 1.0 extra\nend_header\n",
        "ply\nformat ascii\nend_header\n",
        "ply\nformat binary 1.0\nend_header\n",
        "ply\nformat ASCII 1.0\nend_header\n",
        "ply\nformat ascii one\nend_header\n",
        "ply\nelement vertex 0\nend_header\n",
        "ply\nformat ascii 1.0\nelement vertex 0\n",
        "ply\nformat ascii 1.0\nend_head\n",
    };
    for (const char* header : headers) {
        const LoadOutcome r = capture([&] { EXPECT_FALSE(open(header).ply) << header; });
        EXPECT_FALSE(r.exited);
        EXPECT_EQ(r.err, "");
    }
    // The smallest header that is one.
    Opened o = open("ply\nformat ascii 1.0\nend_header");
    ASSERT_TRUE(o.ply);
    EXPECT_EQ(o.nelems, 0);
    EXPECT_EQ(o.fileType, PLY_ASCII);
}

TEST(PlyLibrary, ValuesAreConvertedBetweenFileAndMemoryTypes) {
    // file type, value in the file, memory type, and the stored value worked out by hand.
    Elem sample{"sample",
                {{"a", "int", ""},     // -1 as uchar: 255
                 {"b", "uint", ""},    // 4294967295 as int: same bits, -1
                 {"c", "float", ""},   // 3.9 as int: truncated, 3
                 {"d", "double", ""},  // -3.9 as short: -3
                 {"e", "uint", ""},    // 4000000000 as double
                 {"f", "char", ""},    // -5 as uint: 2^32 - 5
                 {"g", "float", ""},   // 1e10 as uint: low 32 bits of 10^10 = 10^10 - 2 * 2^32
                 {"h", "short", ""},   // 300 as char: 300 - 256
                 {"i", "double", ""},  // 0.1 as float
                 {"j", "uchar", ""},   // 200 as float
                 {"k", "int", ""},     // -7 as ushort: 65536 - 7
                 {"l", "float", ""},   // -2.5 as uint: -2 through 64 bits, 2^32 - 2
                 {"m", "double", ""}}, // 3e9 as int: out of range, INT_MIN as on x86
                {{{-1},
                  {4294967295.0},
                  {3.9},
                  {-3.9},
                  {4000000000.0},
                  {-5},
                  {1e10},
                  {300},
                  {0.1},
                  {200},
                  {-7},
                  {-2.5},
                  {3e9}}}};
    for (Encoding enc : {Encoding::Ascii, Encoding::BinaryLE, Encoding::BinaryBE}) {
        SCOPED_TRACE(formatName(enc));
        Doc doc;
        doc.enc = enc;
        doc.elems = {sample};
        Opened o = open(write(doc));
        ASSERT_TRUE(o.ply);
        const PlyProperty wanted[] = {
            want("a", PLY_UCHAR, offsetof(Sample, a)),  want("b", PLY_INT, offsetof(Sample, b)),
            want("c", PLY_INT, offsetof(Sample, c)),    want("d", PLY_SHORT, offsetof(Sample, d)),
            want("e", PLY_DOUBLE, offsetof(Sample, e)), want("f", PLY_UINT, offsetof(Sample, f)),
            want("g", PLY_UINT, offsetof(Sample, g)),   want("h", PLY_CHAR, offsetof(Sample, h)),
            want("i", PLY_FLOAT, offsetof(Sample, i)),  want("j", PLY_FLOAT, offsetof(Sample, j)),
            want("k", PLY_USHORT, offsetof(Sample, k)), want("l", PLY_UINT, offsetof(Sample, l)),
            want("m", PLY_INT, offsetof(Sample, m))};
        for (const PlyProperty& p : wanted)
            ply_get_property(o.ply.get(), "sample", &p);
        Sample s{};
        ply_get_element(o.ply.get(), &s);
        EXPECT_EQ(s.a, 255);
        EXPECT_EQ(s.b, -1);
        EXPECT_EQ(s.c, 3);
        EXPECT_EQ(s.d, -3);
        EXPECT_EQ(s.e, 4000000000.0);
        EXPECT_EQ(s.f, 4294967291u);
        EXPECT_EQ(s.g, 1410065408u);
        EXPECT_EQ(s.h, 44);
        EXPECT_EQ(s.i, 0.1f);
        EXPECT_EQ(s.j, 200.0f);
        EXPECT_EQ(s.k, 65529);
        EXPECT_EQ(s.l, 4294967294u);
        EXPECT_EQ(s.m, INT_MIN);
    }
}

TEST(PlyLibrary, ListsAreAllocatedForTheCallerAndEmptyListsAreNull) {
    struct Record {
        unsigned short n;
        double* items;
        int after;
    };
    Elem e{"poly", {{"items", "short", "uint"}, {"after", "char", ""}}, {}};
    e.rows = {{{-3, 4, 5}, {9}}, {{}, {-1}}};
    for (Encoding enc : {Encoding::Ascii, Encoding::BinaryLE, Encoding::BinaryBE}) {
        SCOPED_TRACE(formatName(enc));
        Doc doc;
        doc.enc = enc;
        doc.elems = {e};
        Opened o = open(write(doc));
        ASSERT_TRUE(o.ply);
        PlyProperty list = want("items", PLY_DOUBLE, offsetof(Record, items));
        list.is_list = 1;
        list.count_type_in_memory = PLY_USHORT;
        list.count_offset = offsetof(Record, n);
        ply_get_property(o.ply.get(), "poly", &list);
        const PlyProperty after = want("after", PLY_INT, offsetof(Record, after));
        ply_get_property(o.ply.get(), "poly", &after);
        Record r{77, nullptr, 0};
        ply_get_element(o.ply.get(), &r);
        ASSERT_EQ(r.n, 3);
        EXPECT_EQ(r.items[0], -3.0);
        EXPECT_EQ(r.items[2], 5.0);
        EXPECT_EQ(r.after, 9);
        std::free(r.items);
        double sentinel = 0;
        r.items = &sentinel; // anything but null, to see it replaced
        ply_get_element(o.ply.get(), &r);
        EXPECT_EQ(r.n, 0);
        EXPECT_EQ(r.items, nullptr);
        EXPECT_EQ(r.after, -1);
    }
}

TEST(PlyLibrary, PropertiesThatCannotBeStoredAsAskedAreWarnedAboutAndLeftOut) {
    Doc doc;
    doc.elems = {Elem{"vertex", {{"x", "float", ""}, {"tags", "int", "uchar"}}, {{{2}, {1, 2}}}}};
    Opened o = open(write(doc));
    ASSERT_TRUE(o.ply);
    struct Record {
        float x;
        float tags;
        float y;
    } r{-1, -1, -1};
    const LoadOutcome out = capture([&] {
        PlyProperty y = want("y", PLY_FLOAT, offsetof(Record, y));
        ply_get_property(o.ply.get(), "vertex", &y);
        // A list asked for as one value would put a count where a value is wanted.
        PlyProperty tags = want("tags", PLY_FLOAT, offsetof(Record, tags));
        ply_get_property(o.ply.get(), "vertex", &tags);
        PlyProperty x = want("x", PLY_FLOAT, offsetof(Record, x));
        x.is_list = 1;
        ply_get_property(o.ply.get(), "vertex", &x);
        PlyProperty w = want("w", PLY_FLOAT, 0);
        ply_get_property(o.ply.get(), "nothing", &w);
    });
    EXPECT_FALSE(out.exited);
    EXPECT_EQ(out.err, "Warning:  Can't find property 'y' in element 'vertex'\n"
                       "Warning:  Property 'tags' in element 'vertex' is a list, not a value; it "
                       "is left out\n"
                       "Warning:  Property 'x' in element 'vertex' is a value, not a list; it is "
                       "left out\n"
                       "Warning:  Can't find property 'w' in element 'nothing'\n");
    ply_get_element(o.ply.get(), &r);
    EXPECT_EQ(r.x, -1.0f);
    EXPECT_EQ(r.tags, -1.0f);
    EXPECT_EQ(r.y, -1.0f);
}

TEST(PlyLibrary, ByteOrderFollowsTheFileAndTheHostFlag) {
    const std::string header = "element v 1\nproperty short s\nproperty uint u\nproperty double "
                               "d\nend_header\n";
    // s = 0x0102, u = 0x01020304, d = 1.0 (0x3FF0000000000000), as a big-endian file holds them.
    const std::string beData("\x01\x02\x01\x02\x03\x04\x3f\xf0\0\0\0\0\0\0", 14);
    std::string leData(beData);
    std::reverse(leData.begin(), leData.begin() + 2);
    std::reverse(leData.begin() + 2, leData.begin() + 6);
    std::reverse(leData.begin() + 6, leData.end());
    struct Record {
        short s;
        unsigned int u;
        double d;
    };
    auto read = [&](const std::string& format, const std::string& data) {
        Opened o = open("ply\nformat " + format + " 1.0\n" + header + data);
        EXPECT_TRUE(o.ply);
        Record r{};
        if (!o.ply) return r;
        for (const PlyProperty& p :
             {want("s", PLY_SHORT, offsetof(Record, s)), want("u", PLY_UINT, offsetof(Record, u)),
              want("d", PLY_DOUBLE, offsetof(Record, d))})
            ply_get_property(o.ply.get(), "v", &p);
        ply_get_element(o.ply.get(), &r);
        return r;
    };
    ASSERT_FALSE(bigEndian);
    for (const Record& r :
         {read("binary_big_endian", beData), read("binary_little_endian", leData)}) {
        EXPECT_EQ(r.s, 0x0102);
        EXPECT_EQ(r.u, 0x01020304u);
        EXPECT_EQ(r.d, 1.0);
    }
    // On a big-endian host the little-endian file is the one whose values are reversed.
    bigEndian = true;
    const Record swapped = read("binary_little_endian", beData);
    const Record kept = read("binary_big_endian", leData);
    bigEndian = false;
    for (const Record& r : {swapped, kept}) {
        EXPECT_EQ(r.s, 0x0102);
        EXPECT_EQ(r.u, 0x01020304u);
        EXPECT_EQ(r.d, 1.0);
    }
}

TEST(PlyLibrary, SkippedElementsLeaveTheNextElementInPlace) {
    Doc doc;
    doc.enc = Encoding::BinaryBE;
    doc.elems = {Elem{"first", {{"a", "double", ""}, {"l", "int", "short"}}, {{{1}, {1, 2}}}},
                 Elem{"second", {{"b", "ushort", ""}}, {{{7}}, {{65535}}}}};
    Opened o = open(write(doc));
    ASSERT_TRUE(o.ply);
    ply_skip_element(o.ply.get(), "first");
    const PlyProperty b = want("b", PLY_INT, 0);
    ply_get_property(o.ply.get(), "second", &b);
    int values[2] = {0, 0};
    ply_get_element(o.ply.get(), &values[0]);
    ply_get_element(o.ply.get(), &values[1]);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(values[1], 65535);
}

TEST(PlyLibrary, AFailedLibraryAllocationIsReportedWithItsSite) {
    const LoadOutcome r = capture([] {
        void* p = my_alloc(static_cast<size_t>(PTRDIFF_MAX) + 1, 123, "Src/plyfile");
        std::free(p);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, "Memory allocation bombed on line 123 in Src/plyfile\n");
    void* small = my_alloc(16, 1, "Src/plyfile");
    EXPECT_NE(small, nullptr);
    std::free(small);
}

TEST(PlyLibrary, OpeningByNameReadsTheFileWithTheSuffixRule) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "a.ply", "ply\nformat ascii 1.0\nelement e 0\nend_header\n");
    for (const char* name : {"a.ply", "a"}) {
        int n = 0, type = 0;
        float version = 0;
        std::vector<std::string> names;
        PlyFilePtr ply(
            ply_open_for_reading((dir / name).string().c_str(), &n, &names, &type, &version));
        ASSERT_TRUE(ply) << name;
        EXPECT_EQ(names, std::vector<std::string>{"e"});
        EXPECT_EQ(ply->name, (dir / "a.ply").string());
    }
    testsupport::writeFile(dir / "b.Ply", "ply\nformat ascii 1.0\nend_header\n");
    int n = 0, type = 0;
    float version = 0;
    std::vector<std::string> names;
    EXPECT_EQ(ply_open_for_reading((dir / "b.Ply").string().c_str(), &n, &names, &type, &version),
              nullptr);
    EXPECT_EQ(
        ply_open_for_reading((dir / "missing.ply").string().c_str(), &n, &names, &type, &version),
        nullptr);
}
