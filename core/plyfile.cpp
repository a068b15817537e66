#include "plyfile.h"

#include "readfile.h"
#include "textscan.h"

#include <bit>
#include <cassert>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

const char* const type_names[PLY_END_TYPE] = {"invalid", "char", "short", "int",   "uchar",
                                              "ushort",  "uint", "float", "double"};
const int ply_type_size[PLY_END_TYPE] = {0, 1, 2, 4, 1, 2, 4, 4, 8};

bool bigEndian = std::endian::native == std::endian::big;

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "binary values are IEEE singles and doubles");

namespace {

const char* const kSourceName = "Src/plyfile";

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using MallocBlock = std::unique_ptr<char, FreeDeleter>;

// A value as read from the file, held in the three forms that storing may need.
struct PlyValue {
    int int_val = 0;
    unsigned int uint_val = 0;
    double double_val = 0;
};

bool validType(int type) {
    return type > PLY_INVALID && type < PLY_END_TYPE;
}

// Piece of the input quoted in a message, kept short so one bad line stays one line.
std::string excerpt(std::string_view text) {
    constexpr size_t kMax = 60;
    std::string out(text.substr(0, kMax));
    for (char& c : out)
        if (c == '\n' || c == '\r' || c == '\0') c = ' ';
    if (text.size() > kMax) out += "...";
    return out;
}

// One line of the file, split into words at runs of blanks as the words are asked for, so a
// line of any length costs no storage of its own.
struct PlyWords {
    std::string_view line; // without its line end
    size_t pos = 0;

    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
    bool next(std::string_view& word) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos == line.size()) return false;
        const size_t start = pos;
        while (pos < line.size() && !isBlank(line[pos]))
            ++pos;
        word = line.substr(start, pos - start);
        return true;
    }
    size_t remaining() const { return line.size() - pos; }
};

// Takes the next line from the file; false at end of file. A line ends at '\n'; a '\r' before
// it belongs to the line end, so files written with CRLF line ends read the same.
bool get_words(PlyCursor& fp, PlyWords& words) {
    if (fp.pos >= fp.data.size()) return false;
    const char* begin = fp.data.data() + fp.pos;
    const size_t rest = fp.remaining();
    const char* nl = static_cast<const char*>(std::memchr(begin, '\n', rest));
    const size_t len = nl ? static_cast<size_t>(nl - begin) : rest;
    fp.pos += nl ? len + 1 : len;
    std::string_view line(begin, len);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    words = PlyWords{line, 0};
    return true;
}

// Truncation toward zero, with the result x86 gives for values out of range (and NaN) instead
// of leaving it undefined.
int truncToInt(double d) {
    if (d > -2147483649.0 && d < 2147483648.0) return static_cast<int>(d);
    return std::numeric_limits<int>::min();
}

// Truncation through a 64-bit integer, keeping its low 32 bits.
unsigned int truncToUint(double d) {
    if (d >= -9223372036854775808.0 && d < 9223372036854775808.0)
        return static_cast<unsigned int>(static_cast<uint64_t>(static_cast<int64_t>(d)));
    return 0;
}

// The first header line that the format cannot mean. It is reported only once the header is
// known to be complete: a file that ends inside its header is not a PLY header at all.
struct HeaderFault {
    const char* what = nullptr;
    std::string_view line;
    void note(const char* problem, std::string_view where) {
        if (!what) {
            what = problem;
            line = where;
        }
    }
};

[[noreturn]] void tooFewValues(const PlyFile* plyfile, const PlyElement* elem) {
    abortRead(readFailure(nullptr, 0, -1, "ply_get_element: %s: too few values in a '%s' record",
                          plyfile->name.c_str(), elem->name.c_str()));
}

[[noreturn]] void badListCount(const PlyFile* plyfile, const PlyElement* elem) {
    abortRead(readFailure(nullptr, 0, -1, "ply_get_element: %s: bad list count in a '%s' record",
                          plyfile->name.c_str(), elem->name.c_str()));
}

[[noreturn]] void binaryEndOfFile(const PlyFile* plyfile, const PlyElement* elem) {
    abortRead(readFailure(nullptr, 0, -1,
                          "ply_get_element: %s: unexpected end of file in a '%s' record",
                          plyfile->name.c_str(), elem->name.c_str()));
}

[[noreturn]] void badStoreType(int type) {
    abortRead(readFailure(nullptr, 0, -1, "store_item: bad type = %d", type));
}

void ply_put_comment(PlyFile* plyfile, std::string comment) {
    plyfile->comments.push_back(std::move(comment));
    plyfile->num_comments = static_cast<int>(plyfile->comments.size());
}

void ply_put_obj_info(PlyFile* plyfile, std::string obj_info) {
    plyfile->obj_info.push_back(std::move(obj_info));
    plyfile->num_obj_info = static_cast<int>(plyfile->obj_info.size());
}

// The text after the keyword and the blanks that follow it, tabs read as spaces.
std::string textAfterKeyword(const PlyWords& words, std::string_view keyword) {
    size_t pos = static_cast<size_t>(keyword.data() - words.line.data()) + keyword.size();
    while (pos < words.line.size() && (words.line[pos] == ' ' || words.line[pos] == '\t'))
        ++pos;
    std::string text(words.line.substr(pos));
    for (char& c : text)
        if (c == '\t') c = ' ';
    return text;
}

void add_comment(PlyFile* plyfile, const PlyWords& words, std::string_view keyword) {
    ply_put_comment(plyfile, textAfterKeyword(words, keyword));
}

void add_obj_info(PlyFile* plyfile, const PlyWords& words, std::string_view keyword) {
    ply_put_obj_info(plyfile, textAfterKeyword(words, keyword));
}

// "element" name count
void add_element(PlyFile* plyfile, PlyWords words, HeaderFault& fault) {
    const std::string_view line = words.line;
    std::string_view keyword, name, countWord;
    words.next(keyword);
    int count = 0;
    const bool named = words.next(name) && words.next(countWord);
    if (named && !countWord.empty() &&
        countWord.find_first_not_of("0123456789") == std::string_view::npos &&
        !parseInt(countWord, count)) {
        fault.note("element count out of range (at most 2147483647)", line);
        return;
    }
    if (!named || !parseInt(countWord, count) || count < 0) {
        fault.note("malformed element line", line);
        return;
    }
    // Records are pulled by element name, so a second element of the same name could never be
    // read in its place in the file.
    if (find_element(plyfile, name)) {
        fault.note("element declared twice", line);
        return;
    }
    auto elem = std::make_unique<PlyElement>();
    elem->name = std::string(name);
    elem->count = count;
    plyfile->elements.push_back(std::move(elem));
    plyfile->num_elements = static_cast<int>(plyfile->elements.size());
}

// "property" type name, or "property" "list" count-type item-type name
void add_property(PlyFile* plyfile, PlyWords words, HeaderFault& fault) {
    const std::string_view line = words.line;
    if (plyfile->elements.empty()) {
        fault.note("property before any element", line);
        return;
    }
    std::string_view keyword, type, name;
    words.next(keyword);
    auto prop = std::make_unique<PlyProperty>();
    bool complete = words.next(type);
    if (complete && type == "list") {
        std::string_view countType, itemType;
        complete = words.next(countType) && words.next(itemType) && words.next(name);
        prop->is_list = 1;
        prop->count_type_in_file = get_prop_type(countType);
        prop->type_in_file = get_prop_type(itemType);
    } else if (complete) {
        complete = words.next(name);
        prop->is_list = 0;
        prop->type_in_file = get_prop_type(type);
    }
    if (!complete) {
        fault.note("malformed property line", line);
        return;
    }
    prop->name = std::string(name);
    PlyElement* elem = plyfile->elements.back().get();
    elem->props.push_back(std::move(prop));
    elem->num_props = static_cast<int>(elem->props.size());
}

// The fewest bytes one record of elem can take in the file: a binary record at least its
// scalars and list counts (and one byte, so that records of no size are not counted without
// end), an ascii record one word and one blank or line end per property (or an empty line).
uint64_t minRecordBytes(const PlyElement* elem, int file_type) {
    if (file_type == PLY_ASCII)
        return elem->props.empty() ? 1 : 2 * static_cast<uint64_t>(elem->props.size());
    uint64_t bytes = 0;
    for (const auto& prop : elem->props) {
        const int type = prop->is_list ? prop->count_type_in_file : prop->type_in_file;
        bytes += validType(type) ? ply_type_size[type] : 0;
    }
    return bytes > 0 ? bytes : 1;
}

// Every element count must fit in what follows the header, before anything is sized by it.
void checkCounts(const PlyFile* plyfile) {
    const uint64_t available = plyfile->fp.remaining() + (plyfile->file_type == PLY_ASCII ? 1 : 0);
    uint64_t needed = 0;
    for (const auto& elem : plyfile->elements) {
        uint64_t bytes = 0;
        if (__builtin_mul_overflow(static_cast<uint64_t>(elem->count),
                                   minRecordBytes(elem.get(), plyfile->file_type), &bytes) ||
            __builtin_add_overflow(needed, bytes, &needed) || needed > available) {
            abortRead(
                readFailure(nullptr, 0, -1,
                            "ply_read: %s: element '%s' has %d records, more than the file can "
                            "hold",
                            plyfile->name.c_str(), elem->name.c_str(), elem->count));
        }
    }
}

// Reads the header. False when it is not a PLY header: no "ply" first, a "format" line that is
// not exactly "format" type version with a known type, or no "format" or "end_header" line
// before the end of the file.
bool ply_read(PlyFile* plyfile, std::vector<std::string>* elem_names) {
    PlyWords words;
    std::string_view word;
    if (!get_words(plyfile->fp, words) || !words.next(word) || word != "ply") return false;
    bool formatSeen = false;
    bool endSeen = false;
    HeaderFault fault;
    while (!endSeen && get_words(plyfile->fp, words)) {
        PlyWords rest = words;
        if (!rest.next(word)) continue;
        if (word == "format") {
            std::string_view type, version, extra;
            if (!rest.next(type) || !rest.next(version) || rest.next(extra)) return false;
            if (type == "ascii")
                plyfile->file_type = PLY_ASCII;
            else if (type == "binary_big_endian")
                plyfile->file_type = PLY_BINARY_BE;
            else if (type == "binary_little_endian")
                plyfile->file_type = PLY_BINARY_LE;
            else
                return false;
            if (!parseFloat(version, plyfile->version)) return false;
            formatSeen = true;
        } else if (word == "element") {
            if (!fault.what) add_element(plyfile, words, fault);
        } else if (word == "property") {
            if (!fault.what) add_property(plyfile, words, fault);
        } else if (word == "comment") {
            add_comment(plyfile, words, word);
        } else if (word == "obj_info") {
            add_obj_info(plyfile, words, word);
        } else if (word == "end_header") {
            endSeen = true;
        }
    }
    if (!formatSeen || !endSeen) return false;
    if (fault.what) {
        abortRead(readFailure(nullptr, 0, -1, "ply_read: %s: %s: '%s'", plyfile->name.c_str(),
                              fault.what, excerpt(fault.line).c_str()));
    }
    checkCounts(plyfile);
    for (auto& elem : plyfile->elements)
        elem->store.assign(elem->props.size(), 0);
    if (elem_names) {
        elem_names->clear();
        for (const auto& elem : plyfile->elements)
            elem_names->push_back(elem->name);
    }
    return true;
}

PlyFile* openParsed(std::unique_ptr<PlyFile> plyfile, int* nelems,
                    std::vector<std::string>* elem_names, int* file_type, float* version) {
    if (!ply_read(plyfile.get(), elem_names)) return nullptr;
    if (nelems) *nelems = plyfile->num_elements;
    if (file_type) *file_type = plyfile->file_type;
    if (version) *version = plyfile->version;
    return plyfile.release();
}

PlyValue get_ascii_item(const PlyFile* plyfile, const PlyElement* elem, std::string_view word,
                        int type) {
    PlyValue v;
    bool ok = false;
    switch (type) {
    case PLY_CHAR:
    case PLY_SHORT:
    case PLY_INT:
    case PLY_UCHAR:
    case PLY_USHORT:
        ok = parseInt(word, v.int_val);
        v.uint_val = static_cast<unsigned int>(v.int_val);
        v.double_val = v.int_val;
        break;
    case PLY_UINT:
        ok = parseUnsigned(word, v.uint_val);
        v.int_val = static_cast<int>(v.uint_val);
        v.double_val = v.uint_val;
        break;
    case PLY_FLOAT:
    case PLY_DOUBLE:
        ok = parseDouble(word, v.double_val);
        v.int_val = truncToInt(v.double_val);
        v.uint_val = truncToUint(v.double_val);
        break;
    default:
        abortRead(readFailure(nullptr, 0, -1, "get_ascii_item: bad type = %d", type));
    }
    if (!ok) {
        abortRead(readFailure(nullptr, 0, -1,
                              "ply_get_element: %s: bad value '%s' in a '%s' record",
                              plyfile->name.c_str(), excerpt(word).c_str(), elem->name.c_str()));
    }
    return v;
}

// Reads size bytes of one value, in host byte order. A file that ends inside a record cannot
// be read on with anything meaningful, so it is reported and ends the read.
void freadWithErrorCheck(PlyFile* plyfile, const PlyElement* elem, unsigned char* buffer,
                         int size) {
    PlyCursor& fp = plyfile->fp;
    if (fp.remaining() < static_cast<size_t>(size)) binaryEndOfFile(plyfile, elem);
    std::memcpy(buffer, fp.data.data() + fp.pos, static_cast<size_t>(size));
    fp.pos += static_cast<size_t>(size);
    const bool swap = (plyfile->file_type == PLY_BINARY_BE && !bigEndian) ||
                      (plyfile->file_type == PLY_BINARY_LE && bigEndian);
    if (swap && size > 1)
        for (int i = 0, j = size - 1; i < j; ++i, --j)
            std::swap(buffer[i], buffer[j]);
}

template <typename T> T fromBytes(const unsigned char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

PlyValue get_binary_item(PlyFile* plyfile, const PlyElement* elem, int type) {
    if (!validType(type)) {
        abortRead(readFailure(nullptr, 0, -1, "get_binary_item: bad type = %d", type));
    }
    unsigned char bytes[8];
    freadWithErrorCheck(plyfile, elem, bytes, ply_type_size[type]);
    PlyValue v;
    switch (type) {
    case PLY_CHAR:
        v.int_val = fromBytes<int8_t>(bytes);
        break;
    case PLY_SHORT:
        v.int_val = fromBytes<int16_t>(bytes);
        break;
    case PLY_INT:
        v.int_val = fromBytes<int32_t>(bytes);
        break;
    case PLY_UCHAR:
        v.uint_val = fromBytes<uint8_t>(bytes);
        break;
    case PLY_USHORT:
        v.uint_val = fromBytes<uint16_t>(bytes);
        break;
    case PLY_UINT:
        v.uint_val = fromBytes<uint32_t>(bytes);
        break;
    case PLY_FLOAT:
        v.double_val = fromBytes<float>(bytes);
        break;
    case PLY_DOUBLE:
        v.double_val = fromBytes<double>(bytes);
        break;
    }
    if (type <= PLY_INT) {
        v.uint_val = static_cast<unsigned int>(v.int_val);
        v.double_val = v.int_val;
    } else if (type <= PLY_UINT) {
        v.int_val = static_cast<int>(v.uint_val);
        v.double_val = v.uint_val;
    } else {
        v.int_val = truncToInt(v.double_val);
        v.uint_val = truncToUint(v.double_val);
    }
    return v;
}

template <typename T> void putBytes(char* item, T value) {
    std::memcpy(item, &value, sizeof value);
}

void store_item(char* item, int type, const PlyValue& v) {
    switch (type) {
    case PLY_CHAR:
        putBytes(item, static_cast<int8_t>(v.int_val));
        break;
    case PLY_SHORT:
        putBytes(item, static_cast<int16_t>(v.int_val));
        break;
    case PLY_INT:
        putBytes(item, static_cast<int32_t>(v.int_val));
        break;
    case PLY_UCHAR:
        putBytes(item, static_cast<uint8_t>(v.uint_val));
        break;
    case PLY_USHORT:
        putBytes(item, static_cast<uint16_t>(v.uint_val));
        break;
    case PLY_UINT:
        putBytes(item, static_cast<uint32_t>(v.uint_val));
        break;
    case PLY_FLOAT:
        putBytes(item, static_cast<float>(v.double_val));
        break;
    case PLY_DOUBLE:
        putBytes(item, v.double_val);
        break;
    default:
        badStoreType(type);
    }
}

// The number of list items a count value stands for, at most maxItems (what the rest of the
// line or file can hold). A count beyond that is reported through tooLong.
template <typename TooLong>
size_t listLength(const PlyFile* plyfile, const PlyElement* elem, const PlyValue& count,
                  uint64_t maxItems, TooLong tooLong) {
    if (!(count.double_val >= 0)) badListCount(plyfile, elem);
    if (count.double_val > static_cast<double>(maxItems)) tooLong();
    return static_cast<size_t>(count.double_val);
}

// Storage for one stored list; handed to the caller's record only when the whole record has
// been read, so nothing is lost when a later value is bad.
MallocBlock allocList(size_t n, int type_in_memory) {
    if (!validType(type_in_memory)) badStoreType(type_in_memory);
    size_t bytes = 0;
    if (__builtin_mul_overflow(n, static_cast<size_t>(ply_type_size[type_in_memory]), &bytes))
        bytes = std::numeric_limits<size_t>::max();
    return MallocBlock(static_cast<char*>(my_alloc(bytes, __LINE__, kSourceName)));
}

struct PendingList {
    int offset = 0;
    MallocBlock block;
};

// The lists of one record, most often one or two: kept in place, without an allocation of
// their own per record.
class PendingLists {
public:
    void add(int offset, MallocBlock block) {
        if (used < kInline)
            inlineLists[used++] = {offset, std::move(block)};
        else
            more.push_back({offset, std::move(block)});
    }
    void handOver(char* elem_ptr) {
        for (int i = 0; i < used; ++i)
            handOverOne(elem_ptr, inlineLists[i]);
        for (PendingList& list : more)
            handOverOne(elem_ptr, list);
    }

private:
    static void handOverOne(char* elem_ptr, PendingList& list) {
        char* block = list.block.release();
        std::memcpy(elem_ptr + list.offset, &block, sizeof block);
    }
    static constexpr int kInline = 4;
    PendingList inlineLists[kInline];
    int used = 0;
    std::vector<PendingList> more;
};

void ascii_get_element(PlyFile* plyfile, PlyElement* elem, char* elem_ptr) {
    PlyWords words;
    if (!get_words(plyfile->fp, words)) {
        abortRead(readFailure(nullptr, 0, -1, "ply_get_element: unexpected end of file"));
    }
    PendingLists lists;
    for (size_t j = 0; j < elem->props.size(); ++j) {
        const PlyProperty& prop = *elem->props[j];
        const bool store = elem_ptr && elem->store[j];
        std::string_view word;
        if (!words.next(word)) tooFewValues(plyfile, elem);
        if (!prop.is_list) {
            const PlyValue v = get_ascii_item(plyfile, elem, word, prop.type_in_file);
            if (store) store_item(elem_ptr + prop.offset, prop.type_in_memory, v);
            continue;
        }
        const PlyValue count = get_ascii_item(plyfile, elem, word, prop.count_type_in_file);
        // Each item needs a blank before it and at least one character.
        const size_t n = listLength(plyfile, elem, count, words.remaining() / 2,
                                    [&] { tooFewValues(plyfile, elem); });
        MallocBlock block;
        if (store) {
            store_item(elem_ptr + prop.count_offset, prop.count_type_in_memory, count);
            if (n > 0) block = allocList(n, prop.type_in_memory);
        }
        const size_t itemSize = block ? static_cast<size_t>(ply_type_size[prop.type_in_memory]) : 0;
        for (size_t k = 0; k < n; ++k) {
            if (!words.next(word)) tooFewValues(plyfile, elem);
            const PlyValue v = get_ascii_item(plyfile, elem, word, prop.type_in_file);
            if (block) store_item(block.get() + k * itemSize, prop.type_in_memory, v);
        }
        if (store) lists.add(prop.offset, std::move(block));
    }
    if (elem_ptr) lists.handOver(elem_ptr);
}

void binary_get_element(PlyFile* plyfile, PlyElement* elem, char* elem_ptr) {
    PendingLists lists;
    for (size_t j = 0; j < elem->props.size(); ++j) {
        const PlyProperty& prop = *elem->props[j];
        const bool store = elem_ptr && elem->store[j];
        if (!prop.is_list) {
            const PlyValue v = get_binary_item(plyfile, elem, prop.type_in_file);
            if (store) store_item(elem_ptr + prop.offset, prop.type_in_memory, v);
            continue;
        }
        const PlyValue count = get_binary_item(plyfile, elem, prop.count_type_in_file);
        const int itemFileSize =
            validType(prop.type_in_file) ? ply_type_size[prop.type_in_file] : 1;
        const size_t n = listLength(plyfile, elem, count, plyfile->fp.remaining() / itemFileSize,
                                    [&] { binaryEndOfFile(plyfile, elem); });
        if (n > 0 && !validType(prop.type_in_file))
            get_binary_item(plyfile, elem, prop.type_in_file); // reports the bad type
        MallocBlock block;
        if (store) {
            store_item(elem_ptr + prop.count_offset, prop.count_type_in_memory, count);
            if (n > 0) block = allocList(n, prop.type_in_memory);
        }
        const size_t itemSize = block ? static_cast<size_t>(ply_type_size[prop.type_in_memory]) : 0;
        for (size_t k = 0; k < n; ++k) {
            const PlyValue v = get_binary_item(plyfile, elem, prop.type_in_file);
            if (block) store_item(block.get() + k * itemSize, prop.type_in_memory, v);
        }
        if (store) lists.add(prop.offset, std::move(block));
    }
    if (elem_ptr) lists.handOver(elem_ptr);
}

void readRecord(PlyFile* plyfile, PlyElement* elem, char* elem_ptr) {
    if (plyfile->file_type == PLY_ASCII)
        ascii_get_element(plyfile, elem, elem_ptr);
    else
        binary_get_element(plyfile, elem, elem_ptr);
}

} // namespace

int equal_strings(const char* s1, const char* s2) {
    return std::strcmp(s1, s2) == 0 ? 1 : 0;
}

int get_prop_type(std::string_view type_name) {
    for (int type = PLY_CHAR; type < PLY_END_TYPE; ++type)
        if (type_name == type_names[type]) return type;
    // The sized names many tools write, in the order of type_names.
    static const char* const sized_names[PLY_END_TYPE] = {
        "", "int8", "int16", "int32", "uint8", "uint16", "uint32", "float32", "float64"};
    for (int type = PLY_CHAR; type < PLY_END_TYPE; ++type)
        if (type_name == sized_names[type]) return type;
    return PLY_INVALID;
}

PlyElement* find_element(PlyFile* plyfile, std::string_view element) {
    for (auto& elem : plyfile->elements)
        if (elem->name == element) return elem.get();
    return nullptr;
}

PlyProperty* find_property(PlyElement* elem, std::string_view prop_name, int* index) {
    for (size_t i = 0; i < elem->props.size(); ++i) {
        if (elem->props[i]->name == prop_name) {
            *index = static_cast<int>(i);
            return elem->props[i].get();
        }
    }
    *index = -1;
    return nullptr;
}

void* my_alloc(size_t size, int lnum, const char* fname) {
    // A request larger than any address space can hold is a failure without asking malloc.
    void* ptr = size <= static_cast<size_t>(std::numeric_limits<ptrdiff_t>::max())
                    ? std::malloc(size > 0 ? size : 1)
                    : nullptr;
    if (!ptr) {
        abortRead(
            readFailure(nullptr, 0, -1, "Memory allocation bombed on line %d in %s", lnum, fname));
    }
    return ptr;
}

PlyFile* ply_open_for_reading(const char* filename, int* nelems,
                              std::vector<std::string>* elem_names, int* file_type,
                              float* version) {
    std::string name(filename);
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".ply") != 0) name += ".ply";
    auto plyfile = std::make_unique<PlyFile>();
    if (!readWholeFile(name.c_str(), plyfile->bytes)) return nullptr;
    plyfile->name = name;
    plyfile->fp.data = plyfile->bytes;
    return openParsed(std::move(plyfile), nelems, elem_names, file_type, version);
}

PlyFile* ply_open_for_reading_bytes(std::string_view bytes, const char* filename, int* nelems,
                                    std::vector<std::string>* elem_names, int* file_type,
                                    float* version) {
    auto plyfile = std::make_unique<PlyFile>();
    plyfile->name = filename;
    plyfile->fp.data = bytes;
    return openParsed(std::move(plyfile), nelems, elem_names, file_type, version);
}

std::optional<std::vector<PlyProperty>>
ply_get_element_description(PlyFile* plyfile, const char* elem_name, int* nelems, int* nprops) {
    const PlyElement* elem = find_element(plyfile, elem_name);
    if (!elem) return std::nullopt;
    if (nelems) *nelems = elem->count;
    if (nprops) *nprops = elem->num_props;
    std::vector<PlyProperty> props;
    props.reserve(elem->props.size());
    for (const auto& prop : elem->props)
        props.push_back(*prop);
    return props;
}

void ply_get_property(PlyFile* plyfile, const char* elem_name, const PlyProperty* prop) {
    PlyElement* elem = find_element(plyfile, elem_name);
    int index = -1;
    PlyProperty* prop_ptr = elem ? find_property(elem, prop->name, &index) : nullptr;
    if (elem) plyfile->current_element = elem;
    if (!prop_ptr) {
        std::fprintf(stderr, "Warning:  Can't find property '%s' in element '%s'\n",
                     prop->name.c_str(), elem_name);
        return;
    }
    // A list stored where a value is wanted, or the other way round, would write a value over a
    // pointer or read a pointer that was never set.
    if (prop_ptr->is_list != prop->is_list) {
        std::fprintf(stderr, "Warning:  Property '%s' in element '%s' is %s; it is left out\n",
                     prop->name.c_str(), elem_name,
                     prop_ptr->is_list ? "a list, not a value" : "a value, not a list");
        return;
    }
    prop_ptr->type_in_memory = prop->type_in_memory;
    prop_ptr->offset = prop->offset;
    prop_ptr->count_type_in_memory = prop->count_type_in_memory;
    prop_ptr->count_offset = prop->count_offset;
    elem->store[static_cast<size_t>(index)] = 1;
}

void ply_get_element(PlyFile* plyfile, void* elem_ptr) {
    assert(plyfile->current_element != nullptr);
    readRecord(plyfile, plyfile->current_element, static_cast<char*>(elem_ptr));
}

void ply_skip_element(PlyFile* plyfile, const char* elem_name) {
    PlyElement* elem = find_element(plyfile, elem_name);
    if (!elem) return;
    for (int i = 0; i < elem->count; ++i)
        readRecord(plyfile, elem, nullptr);
}

const std::vector<std::string>& ply_get_comments(PlyFile* plyfile, int* num_comments) {
    if (num_comments) *num_comments = plyfile->num_comments;
    return plyfile->comments;
}

const std::vector<std::string>& ply_get_obj_info(PlyFile* plyfile, int* num_obj_info) {
    if (num_obj_info) *num_obj_info = plyfile->num_obj_info;
    return plyfile->obj_info;
}

void ply_close(PlyFile* plyfile) {
    delete plyfile;
}

// The mesh reader.

namespace {

struct PlyVertex {
    float x, y, z;
};

struct PlyFace {
    int nverts;
    int* verts;
};

template <typename T> using MeshArray = std::unique_ptr<T, FreeDeleter>;

[[noreturn]] void cantOpen(const char* filename) {
    abortRead(readFailure(nullptr, 0, -1, "read_model(): can't open input file %s", filename));
}

[[noreturn]] void shortFace(const PlyFile* ply, int face, int corners) {
    abortRead(readFailure(nullptr, 0, -1,
                          "read_model(): %s: face %d has %d corners, fewer than three",
                          ply->name.c_str(), face, corners));
}

[[noreturn]] void cornerOutside(const PlyFile* ply, int face, int corner, int nverts) {
    abortRead(readFailure(nullptr, 0, -1,
                          "read_model(): %s: face %d refers to vertex %d, outside the %d vertices",
                          ply->name.c_str(), face, corner, nverts));
}

void readVertices(PlyFile* ply, int count, MeshArray<Svertex>& verts, MeshBounds& bounds) {
    static const char* const axes[3] = {"x", "y", "z"};
    for (int k = 0; k < 3; ++k) {
        PlyProperty want;
        want.name = axes[k];
        want.type_in_memory = PLY_FLOAT;
        want.offset = static_cast<int>(k * sizeof(float));
        ply_get_property(ply, "vertex", &want);
    }
    verts.reset(static_cast<Svertex*>(
        meshAlloc(static_cast<size_t>(count), sizeof(Svertex), "mesh->verts")));
    for (int i = 0; i < count; ++i) {
        PlyVertex record{};
        ply_get_element(ply, &record);
        Svertex* v = verts.get() + i;
        *v = Svertex{};
        resetSvertex(v);
        v->pos[0] = record.x;
        v->pos[1] = record.y;
        v->pos[2] = record.z;
        v->index = i;
        bounds.extend(v->pos);
    }
}

// Each triangle takes three incident-list entries, and every mesh count is a signed int.
constexpr size_t maxPlyTriangles = std::numeric_limits<int>::max() / 3;

// Corner indices are kept until every element is read: "face" records may come before the
// "vertex" records they refer to.
void readFaces(PlyFile* ply, int count, const std::vector<PlyProperty>& props,
               MeshArray<Striangle>& tris, std::vector<int>& corners) {
    bool asked = false;
    for (const PlyProperty& prop : props) {
        if (prop.name == "vertex_indices" || prop.name == "vertex_index") {
            PlyProperty want;
            want.name = prop.name;
            want.is_list = 1;
            want.type_in_memory = PLY_INT;
            want.offset = offsetof(PlyFace, verts);
            want.count_type_in_memory = PLY_INT;
            want.count_offset = offsetof(PlyFace, nverts);
            ply_get_property(ply, "face", &want);
            asked = true;
            break;
        }
    }
    if (!asked && count > 0) {
        abortRead(readFailure(nullptr, 0, -1,
                              "read_model(): %s: element 'face' has no vertex_indices list",
                              ply->name.c_str()));
    }
    corners.clear();
    for (int i = 0; i < count; ++i) {
        PlyFace record{0, nullptr};
        ply_get_element(ply, &record);
        const std::unique_ptr<int, FreeDeleter> list(record.verts);
        if (record.nverts < 3 || !list) shortFace(ply, i, record.nverts);
        // Polygons are fanned from their first corner, as the OFF reader does.
        const size_t fan = static_cast<size_t>(record.nverts) - 2;
        if (fan > maxPlyTriangles - corners.size() / 3) {
            abortRead(readFailure(nullptr, 0, -1,
                                  "read_model(): %s: face %d brings the triangles past the %zu a "
                                  "mesh can hold",
                                  ply->name.c_str(), i, maxPlyTriangles));
        }
        for (size_t k = 1; k <= fan; ++k)
            corners.insert(corners.end(), {list.get()[0], list.get()[k], list.get()[k + 1]});
    }
    const size_t triangles = corners.size() / 3;
    tris.reset(static_cast<Striangle*>(meshAlloc(triangles, sizeof(Striangle), "mesh->tris")));
}

void readPlyElements(Smesh* mesh, PlyFile* ply, const std::vector<std::string>& names,
                     int file_type) {
    std::printf("type %d\n", file_type);
    resetSmesh(mesh);

    // Records lie in the file in header order, so every element type up to the last one the
    // mesh needs is pulled, and those the mesh does not use are stepped over.
    size_t last = 0;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == "vertex" || names[i] == "face") last = i + 1;

    MeshArray<Svertex> verts;
    MeshArray<Striangle> tris;
    int nverts = 0;
    int ntris = 0;
    std::vector<int> corners;
    MeshBounds bounds;
    for (size_t i = 0; i < last; ++i) {
        int count = 0;
        int nprops = 0;
        const auto props = ply_get_element_description(ply, names[i].c_str(), &count, &nprops);
        if (names[i] == "vertex") {
            nverts = count;
            readVertices(ply, count, verts, bounds);
        } else if (names[i] == "face") {
            readFaces(ply, count, *props, tris, corners);
            ntris = static_cast<int>(corners.size() / 3);
        } else {
            ply_skip_element(ply, names[i].c_str());
        }
    }

    for (int t = 0; t < ntris; ++t) {
        Striangle* tri = tris.get() + t;
        *tri = Striangle{};
        tri->index = t;
        for (int k = 0; k < 3; ++k) {
            const int corner = corners[3 * static_cast<size_t>(t) + static_cast<size_t>(k)];
            if (corner < 0 || corner >= nverts) cornerOutside(ply, t, corner, nverts);
            tri->verts[k] = verts.get() + corner;
        }
    }

    mesh->verts = verts.release();
    mesh->nverts = nverts;
    mesh->tris = tris.release();
    mesh->ntris = ntris;
    if (nverts > 0) {
        bounds.store(mesh);
    } else {
        // No positions: an empty box at the origin rather than the infinite one of the
        // untouched bounds.
        mesh->center[0] = mesh->center[1] = mesh->center[2] = 0.0f;
        mesh->extent = 0.0f;
    }

    int num = 0;
    for (const std::string& comment : ply_get_comments(ply, &num))
        std::printf("comment = '%s'\n", comment.c_str());
    for (const std::string& info : ply_get_obj_info(ply, &num))
        std::printf("obj_info = '%s'\n", info.c_str());
}

} // namespace

ReadResult readPlyMesh(Smesh* mesh, const char* filename, std::string_view bytes) {
    ReadResult result = guardedRead([&] {
        int nelems = 0;
        int file_type = 0;
        float version = 0;
        std::vector<std::string> names;
        PlyFilePtr ply(
            ply_open_for_reading_bytes(bytes, filename, &nelems, &names, &file_type, &version));
        if (!ply) cantOpen(filename);
        readPlyElements(mesh, ply.get(), names, file_type);
    });
    if (!result && result.file.empty()) result.file = filename;
    return result;
}

ReadResult readPlyMeshFile(Smesh* mesh, const char* filename) {
    ReadResult result = guardedRead([&] {
        int nelems = 0;
        int file_type = 0;
        float version = 0;
        std::vector<std::string> names;
        PlyFilePtr ply(ply_open_for_reading(filename, &nelems, &names, &file_type, &version));
        if (!ply) cantOpen(filename);
        readPlyElements(mesh, ply.get(), names, file_type);
    });
    if (!result && result.file.empty()) result.file = filename;
    return result;
}
