#pragma once
#include <string_view>

// The one scanner under every text format the system reads (OFF, SMF, OBJ, PLY headers and
// values, PGM and VGF headers, orbit files, name lists): character classes, numbers and lines.
//
// Numbers come out as strtod / strtof / strtol would give them for the same token (correctly
// rounded; a leading '+' and "inf" / "nan" accepted), and the whole token must be the number.

// Space, tab, line feed, carriage return, vertical tab, form feed: C's isspace in the C locale.
inline bool isTextSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A line ends at a line feed or a carriage return (CR LF, LF and CR files alike).
inline bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool parseDouble(std::string_view token, double& value);
bool parseFloat(std::string_view token, float& value);
bool parseInt(std::string_view token, int& value);
bool parseUnsigned(std::string_view token, unsigned int& value);
// Decimal digits only, no sign: false when there are none or the value does not fit.
bool parseDigits(std::string_view digits, long long& value);

// The same for a number that starts at p and ends at white space, '#' or end (the comment mark
// of OFF and orbit text ends a token): the position after it, or nullptr when the characters
// there are not one such number.
const char* scanDouble(const char* p, const char* end, double& value);
const char* scanFloat(const char* p, const char* end, float& value);
const char* scanInt(const char* p, const char* end, int& value);

// 1-based number of the line that holds at, counted from the start of bytes.
long lineOf(std::string_view bytes, const char* at);

// White-space separated words of text, in order.
class WordScanner {
public:
    explicit WordScanner(std::string_view text) : bytes(text) {}
    // The next word; false at the end. line() is then the line the word starts on.
    bool next(std::string_view& word);
    long line() const { return wordLine; }

private:
    std::string_view bytes;
    size_t pos = 0;
    long lines = 1;
    long wordLine = 1;
};
