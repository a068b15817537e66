#pragma once
// Shared by the map, colour, coordinate and path tests: file builders, output capture and a
// derivation of the jet colour table.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <utility>
#include <vector>

namespace mapsutil {

// Each channel is a trapezoid over the entry number n: 64 steps up from rise0, flat for 64
// entries, 64 steps down; step m is 255 m / 64 rounded half up, worked in integers.
inline std::array<int, 3> jetEntry(int n) {
    auto channel = [n](int rise0) {
        const int m = std::clamp(std::min(n - rise0, rise0 + 192 - n), 0, 64);
        return (510 * m + 64) / 128;
    };
    return {channel(95), channel(31), channel(-33)};
}

// What a call printed on standard output and standard error.
struct Output {
    std::string out, err;
};

template <class F> Output captured(F&& f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

static_assert(std::endian::native == std::endian::little, "floats are appended as stored");
inline void appendFloatLE(std::string& s, float value) {
    s.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A goodness image: the header given literally (comments and all) or made from the sizes,
// then the samples.
inline std::string pgmBytes(int w, int h, int maxval, const std::vector<unsigned char>& samples,
                            std::string header = {}) {
    if (header.empty())
        header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n" +
                 std::to_string(maxval) + "\n";
    return header + std::string(samples.begin(), samples.end());
}

// The header padded with spaces to 15 bytes, then (gx, gy) per cell.
inline std::string vgfBytes(int w, int h, const std::vector<std::pair<float, float>>& g) {
    std::string s = "VGF\n" + std::to_string(w) + " " + std::to_string(h);
    s.resize(15, ' ');
    for (auto [gx, gy] : g) {
        appendFloatLE(s, gx);
        appendFloatLE(s, gy);
    }
    return s;
}

// Samples 0, 1, 2, ... wrapping at 256.
inline std::vector<unsigned char> rampSamples(int count) {
    std::vector<unsigned char> v(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        v[static_cast<size_t>(k)] = static_cast<unsigned char>(k % 256);
    return v;
}

} // namespace mapsutil
