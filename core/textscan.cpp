#include "textscan.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

namespace {

bool endsToken(const char* p, const char* end) {
    return p == end || isTextSpace(*p) || *p == '#';
}

const char* tokenEnd(const char* p, const char* end) {
    while (!endsToken(p, end))
        ++p;
    return p;
}

// strtod and strtof accept a leading '+', from_chars does not.
const char* skipPlus(const char* p, const char* end) {
    if (p != end && *p == '+' && p + 1 != end && p[1] != '-' && p[1] != '+') return p + 1;
    return p;
}

template <class F, class Fallback>
const char* scanReal(const char* p, const char* end, F& value, Fallback fallback) {
    const char* start = skipPlus(p, end);
    const auto result = std::from_chars(start, end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow and underflow: the C library's value (infinity, zero or a subnormal).
        const char* stop = tokenEnd(p, end);
        const std::string token(p, stop);
        char* after = nullptr;
        value = fallback(token.c_str(), &after);
        return after == token.c_str() + token.size() ? stop : nullptr;
    }
    if (result.ec != std::errc() || !endsToken(result.ptr, end)) return nullptr;
    return result.ptr;
}

template <class T> const char* scanInteger(const char* p, const char* end, T& value) {
    const char* start = skipPlus(p, end);
    const auto result = std::from_chars(start, end, value);
    if (result.ec != std::errc() || !endsToken(result.ptr, end)) return nullptr;
    return result.ptr;
}

template <class T, class Scan> bool parseToken(std::string_view token, T& value, Scan scan) {
    if (token.empty()) return false;
    const char* end = token.data() + token.size();
    return scan(token.data(), end, value) == end;
}

} // namespace

const char* scanDouble(const char* p, const char* end, double& value) {
    return scanReal(p, end, value, [](const char* s, char** e) { return std::strtod(s, e); });
}

const char* scanFloat(const char* p, const char* end, float& value) {
    return scanReal(p, end, value, [](const char* s, char** e) { return std::strtof(s, e); });
}

const char* scanInt(const char* p, const char* end, int& value) {
    // Up to nine digits, the usual case in a large mesh, directly; anything longer or odder
    // through from_chars.
    const char* q = p;
    const bool negative = q != end && *q == '-';
    if (q != end && (*q == '-' || *q == '+')) ++q;
    const char* digits = q;
    unsigned int v = 0;
    while (q != end && q - digits < 9 && static_cast<unsigned char>(*q - '0') < 10) {
        v = v * 10 + static_cast<unsigned int>(*q - '0');
        ++q;
    }
    if (q != digits && endsToken(q, end)) {
        value = negative ? -static_cast<int>(v) : static_cast<int>(v);
        return q;
    }
    return scanInteger(p, end, value);
}

bool parseDouble(std::string_view token, double& value) {
    return parseToken(token, value, scanDouble);
}

bool parseFloat(std::string_view token, float& value) {
    return parseToken(token, value, scanFloat);
}

bool parseInt(std::string_view token, int& value) {
    return parseToken(token, value, scanInt);
}

bool parseUnsigned(std::string_view token, unsigned int& value) {
    return parseToken(token, value, scanInteger<unsigned int>);
}

bool parseDigits(std::string_view digits, long long& value) {
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) return false;
    const char* end = digits.data() + digits.size();
    const auto result = std::from_chars(digits.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

long lineOf(std::string_view bytes, const char* at) {
    const char* begin = bytes.data();
    const char* stop = std::clamp(at, begin, begin + bytes.size());
    return 1 + static_cast<long>(std::count(begin, stop, '\n'));
}

bool WordScanner::next(std::string_view& word) {
    while (pos < bytes.size() && isTextSpace(bytes[pos])) {
        if (bytes[pos] == '\n') ++lines;
        ++pos;
    }
    if (pos == bytes.size()) return false;
    const size_t start = pos;
    while (pos < bytes.size() && !isTextSpace(bytes[pos]))
        ++pos;
    word = bytes.substr(start, pos - start);
    wordLine = lines;
    return true;
}
