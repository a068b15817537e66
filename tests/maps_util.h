#pragma once
// Helpers for the goodness-map, colour-map, coordinate and view-path tests: file builders and
// an independent derivation of the jet colour table.
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace mapsutil {

// The jet table derived on its own route: each channel is a trapezoid over the entry number n,
// built from its four corner entries, and the ramp value of step m (0..64) is 255 m / 64
// rounded half up, done in integers as (510 m + 64) / 128.
inline int rampValue(int m) {
    return (510 * m + 64) / 128;
}

// Steps of a trapezoid that rises from 0 at rise0 to 64 at rise0 + 64, stays at 64 until
// fall0, and falls to 0 at fall0 + 64.
inline int trapezoidStep(int n, int rise0, int fall0) {
    if (n <= rise0) return 0;
    if (n < rise0 + 64) return n - rise0;
    if (n <= fall0) return 64;
    if (n < fall0 + 64) return 64 - (n - fall0);
    return 0;
}

inline std::array<int, 3> jetEntry(int n) {
    // red rises over 95..159 and falls over 223..287, green 31..95 and 159..223, blue
    // -33..31 and 95..159.
    return {rampValue(trapezoidStep(n, 95, 223)), rampValue(trapezoidStep(n, 31, 159)),
            rampValue(trapezoidStep(n, -33, 95))};
}

inline void appendFloatLE(std::string& s, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    for (int k = 0; k < 4; ++k)
        s += static_cast<char>((bits >> (8 * k)) & 0xff);
}

// A binary goodness image with the header text given literally (comments and all) and the
// samples appended.
inline std::string pgmBytes(const std::string& header, const std::vector<unsigned char>& samples) {
    std::string s = header;
    s.append(reinterpret_cast<const char*>(samples.data()), samples.size());
    return s;
}

inline std::string pgmBytes(int w, int h, int maxval, const std::vector<unsigned char>& samples) {
    return pgmBytes("P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n" +
                        std::to_string(maxval) + "\n",
                    samples);
}

// A gradient image: header padded with spaces to 15 bytes, then (gx, gy) per cell.
inline std::string vgfBytes(int w, int h, const std::vector<std::pair<float, float>>& g,
                            const std::string& magic = "VGF") {
    std::string s = magic + "\n" + std::to_string(w) + " " + std::to_string(h);
    s.resize(14, ' ');
    s += '\n';
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

// Changes the working directory for the life of the object.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::filesystem::path& dir)
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ScopedChdir() { std::filesystem::current_path(previous); }
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;

private:
    std::filesystem::path previous;
};

} // namespace mapsutil
