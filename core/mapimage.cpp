#include "mapimage.h"

#include "coords.h"
#include "textscan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Gradient floats start here whatever the length of the text header before them.
constexpr size_t vgfFloatOffset = 15;
// Header tokens and comment remainders are read into a line buffer of this size.
constexpr size_t lineBufferSize = 512;
// Others index the cell array as 3 * (row * width + column) in int.
constexpr long long maxCells = INT_MAX / 3;

// Reads the text header shared by both image formats: a magic token, comment lines starting
// with '#' (only between the magic and the first number), then decimal numbers.
class HeaderScanner {
public:
    explicit HeaderScanner(std::string_view b) : bytes(b) {}

    size_t position() const { return pos; }

    // The next whitespace-delimited token; empty at the end of the bytes.
    bool token(std::string_view& out, std::string& error) {
        skipSpace();
        const size_t start = pos;
        while (pos < bytes.size() && !isTextSpace(bytes[pos]))
            ++pos;
        out = bytes.substr(start, pos - start);
        if (out.size() >= lineBufferSize) {
            error =
                "header token longer than " + std::to_string(lineBufferSize - 1) + " characters";
            return false;
        }
        return true;
    }

    bool skipComments(std::string& error) {
        for (;;) {
            const size_t remembered = pos;
            std::string_view next;
            if (!token(next, error)) return false;
            if (next.empty() || next[0] != '#') {
                pos = remembered;
                return true;
            }
            // The rest of the line goes into the line buffer: at most 511 characters, newline
            // included; a longer comment line continues as the next token.
            size_t taken = 0;
            while (pos < bytes.size() && taken < lineBufferSize - 1) {
                ++taken;
                if (bytes[pos++] == '\n') break;
            }
        }
    }

    // A decimal integer. When delimited, the byte after its last digit must be whitespace (or
    // the end of the bytes).
    bool number(const char* name, long long& value, bool delimited, std::string& error) {
        skipSpace();
        const size_t start = pos;
        size_t end = start;
        if (end < bytes.size() && (bytes[end] == '-' || bytes[end] == '+')) ++end;
        const size_t firstDigit = end;
        while (end < bytes.size() && isDigit(bytes[end]))
            ++end;
        if (end - start >= lineBufferSize) {
            error =
                "header token longer than " + std::to_string(lineBufferSize - 1) + " characters";
            return false;
        }
        if (end == firstDigit || (delimited && end < bytes.size() && !isTextSpace(bytes[end]))) {
            error = std::string(name) + " is not a number";
            return false;
        }
        if (!parseDigits(bytes.substr(firstDigit, end - firstDigit), value)) {
            error = std::string(name) + " is out of range";
            return false;
        }
        if (bytes[start] == '-') value = -value;
        pos = end;
        return true;
    }

private:
    void skipSpace() {
        while (pos < bytes.size() && isTextSpace(bytes[pos]))
            ++pos;
    }

    std::string_view bytes;
    size_t pos = 0;
};

bool readSize(HeaderScanner& scan, long long& width, long long& height, bool heightDelimited,
              std::string& error) {
    if (!scan.number("width", width, true, error) ||
        !scan.number("height", height, heightDelimited, error))
        return false;
    if (width <= 0 || height <= 0) {
        error =
            "size " + std::to_string(width) + " x " + std::to_string(height) + " is not positive";
        return false;
    }
    if (width > maxCells / height) {
        error = "size " + std::to_string(width) + " x " + std::to_string(height) + " is too large";
        return false;
    }
    return true;
}

float littleEndianFloat(const char* p) {
    std::uint32_t bits = 0;
    for (int k = 3; k >= 0; --k)
        bits = (bits << 8) | static_cast<unsigned char>(p[k]);
    return std::bit_cast<float>(bits);
}

} // namespace

std::string parsePGMImage(std::string_view bytes, GoodnessImage& image) {
    HeaderScanner scan(bytes);
    std::string error;
    std::string_view magic;
    if (!scan.token(magic, error)) return error;
    if (magic.empty()) return "no magic number";
    if (magic != "P5") return "magic number is not P5";
    long long width = 0, height = 0, maxval = 0;
    if (!scan.skipComments(error) || !readSize(scan, width, height, true, error) ||
        !scan.number("maxval", maxval, true, error))
        return error;
    if (maxval < 1 || maxval > 255)
        return "maxval " + std::to_string(maxval) + " is outside 1..255";
    // The raster follows the single whitespace byte after maxval.
    const size_t rasterStart = scan.position() + 1;
    const long long cells = width * height;
    const size_t available = bytes.size() > rasterStart ? bytes.size() - rasterStart : 0;
    if (static_cast<unsigned long long>(cells) > available)
        return "raster holds " + std::to_string(available) + " bytes, the header promises " +
               std::to_string(cells);

    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.cells = std::make_unique<float[]>(static_cast<size_t>(cells) * 3);
    image.texels.assign(static_cast<size_t>(cells) * 3, 0.0f);
    const unsigned char* raster =
        reinterpret_cast<const unsigned char*>(bytes.data() + rasterStart);
    // A sample is one of 256 byte values, so goodness and colour are worked out once per value.
    const float range = static_cast<float>(maxval);
    float goodnessOf[256];
    float texelOf[256][3];

    for (int sample = 0; sample < 256; ++sample) {
        // A sample above maxval would leave the colour map's domain; it counts as the best.
        const float g = std::min(static_cast<float>(sample) / range, 1.0f);
        goodnessOf[sample] = g;
        const std::array<int, 3> colour = jetColor(g);
        for (int c = 0; c < 3; ++c)
            texelOf[sample][c] = static_cast<float>(colour[c] / 255.0);
    }
    float* cellOut = image.cells.get();
    float* texelOut = image.texels.data();
    for (long long k = 0; k < cells; ++k) {
        const unsigned char sample = raster[k];
        cellOut[3 * k] = goodnessOf[sample];
        texelOut[3 * k] = texelOf[sample][0];
        texelOut[3 * k + 1] = texelOf[sample][1];
        texelOut[3 * k + 2] = texelOf[sample][2];
    }
    return {};
}

std::string parseVGFImage(std::string_view bytes, int mapW, int mapH, GradientImage& image) {
    HeaderScanner scan(bytes);
    std::string error;
    std::string_view magic;
    if (!scan.token(magic, error)) return error;
    if (magic.empty()) return "no magic token";
    if (std::all_of(magic.begin(), magic.end(), isDigit)) return "no magic token before the size";
    long long width = 0, height = 0;
    if (!scan.skipComments(error) || !readSize(scan, width, height, false, error)) return error;
    if (scan.position() > vgfFloatOffset)
        return "text header runs past byte " + std::to_string(vgfFloatOffset);
    if (mapW <= 0 || mapH <= 0) return "no goodness map is loaded for this gradient";
    if (width != mapW || height != mapH)
        return "size " + std::to_string(width) + " x " + std::to_string(height) +
               " differs from the goodness map's " + std::to_string(mapW) + " x " +
               std::to_string(mapH);
    const long long cells = width * height;
    const size_t available = bytes.size() > vgfFloatOffset ? bytes.size() - vgfFloatOffset : 0;
    if (static_cast<unsigned long long>(cells) * 8 > available)
        return "float data holds " + std::to_string(available) + " bytes, the header promises " +
               std::to_string(cells * 8);

    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.magnitudeAngle.assign(static_cast<size_t>(cells) * 2, 0.0f);
    const char* data = bytes.data() + vgfFloatOffset;
    for (long long k = 0; k < cells; ++k) {
        const float gx = littleEndianFloat(data + 8 * k);
        const float gy = littleEndianFloat(data + 8 * k + 4);
        const float magnitude = std::sqrt(gx * gx + gy * gy);
        // NaN or infinite gradients would poison every nudge that samples them.
        if (!std::isfinite(gx) || !std::isfinite(gy) || !std::isfinite(magnitude))
            return "gradient of cell " + std::to_string(k) + " is not finite";
        image.magnitudeAngle[2 * k] = magnitude;
        // Rows count downwards in the image; the angle is taken with the row axis turned up.
        image.magnitudeAngle[2 * k + 1] = std::atan2(-gy, gx);
    }
    return {};
}

std::string pgmImageBytes(int width, int height, const std::vector<double>& goodness,
                          const std::string& comment) {
    std::string s = "P5\n# " + comment + "\n" + std::to_string(width) + " " +
                    std::to_string(height) + "\n255\n";
    const size_t header = s.size();
    const size_t cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    s.resize(header + cells);
    for (size_t k = 0; k < cells; ++k) {
        const double g = std::min(1.0, std::max(0.0, goodness[k]));
        s[header + k] = static_cast<char>(static_cast<unsigned char>(std::lround(g * 255)));
    }
    return s;
}

std::string vgfImageBytes(int width, int height, const std::vector<float>& gx,
                          const std::vector<float>& gy) {
    std::string s = "VGF\n" + std::to_string(width) + " " + std::to_string(height);
    if (s.size() > vgfFloatOffset - 1) return {};
    s.resize(vgfFloatOffset - 1, ' ');
    s += '\n';
    const size_t cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    s.reserve(vgfFloatOffset + 8 * cells);
    auto append = [&](float value) {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        for (int k = 0; k < 4; ++k)
            s += static_cast<char>((bits >> (8 * k)) & 0xff);
    };
    for (size_t k = 0; k < cells; ++k) {
        append(gx[k]);
        append(gy[k]);
    }
    return s;
}
