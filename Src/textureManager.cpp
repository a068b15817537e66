#include "textureManager.h"

#include "coords.h"
#include "file.h"

#include <QCoreApplication>
#include <QOpenGLContext>

#include <GL/gl.h>

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Gradient floats start here whatever the length of the text header before them.
constexpr size_t vgfFloatOffset = 15;
// Header tokens and comment remainders are read into a line buffer of this size.
constexpr size_t lineBufferSize = 512;
// Others index the cell array as 3 * (row * width + column) in int.
constexpr long long maxCells = INT_MAX / 3;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

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
        while (pos < bytes.size() && !isSpace(bytes[pos]))
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
        if (end == firstDigit || (delimited && end < bytes.size() && !isSpace(bytes[end]))) {
            error = std::string(name) + " is not a number";
            return false;
        }
        const char* first = bytes.data() + firstDigit;
        auto [ptr, ec] = std::from_chars(first, bytes.data() + end, value);
        if (ec != std::errc() || ptr != bytes.data() + end) {
            error = std::string(name) + " is out of range";
            return false;
        }
        if (bytes[start] == '-') value = -value;
        pos = end;
        return true;
    }

private:
    void skipSpace() {
        while (pos < bytes.size() && isSpace(bytes[pos]))
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

// A context in which GL calls may be made now. Without an application object there is none,
// and at process exit Qt's own bookkeeping may already be gone, so it is not asked then.
QOpenGLContext* usableContext() {
    if (!QCoreApplication::instance()) return nullptr;
    return QOpenGLContext::currentContext();
}

} // namespace

textureManager::~textureManager() {
    delete[] mapData;
    mapData = nullptr;
    if (textureId != 0 && textureContext && usableContext() == textureContext)
        glDeleteTextures(1, &textureId);
    textureId = 0;
}

void textureManager::jetColor(float x, std::vector<int>& colour) {
    // clang-format off
    assert(x >= 0 && x <= 1);
    // clang-format on
    const std::array<int, 3> rgb = ::jetColor(x);
    colour.assign(rgb.begin(), rgb.end());
}

std::string textureManager::parsePGMImage(std::string_view bytes, GoodnessImage& image) {
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
    std::vector<int> colour(3);
    for (int sample = 0; sample < 256; ++sample) {
        // A sample above maxval would leave the colour map's domain; it counts as the best.
        const float g = std::min(static_cast<float>(sample) / range, 1.0f);
        goodnessOf[sample] = g;
        jetColor(g, colour);
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

std::string textureManager::parseVGFImage(std::string_view bytes, int mapW, int mapH,
                                          GradientImage& image) {
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

bool textureManager::uploadTexture(const char* path, const GoodnessImage& image,
                                   unsigned int& name) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (image.width > largest || image.height > largest) {
        std::fprintf(stderr, "LoadPGMImage(): %s: size %d x %d exceeds the largest texture, %d\n",
                     path, image.width, image.height, largest);
        return false;
    }
    // Errors left by earlier calls would be taken for ours.
    for (int k = 0; k < 64 && glGetError() != GL_NO_ERROR; ++k) {
    }
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, image.width, image.height, 0, GL_RGB, GL_FLOAT,
                 image.texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPopClientAttrib();
    const GLenum status = glGetError();
    if (status != GL_NO_ERROR) {
        glDeleteTextures(1, &name);
        name = 0;
        std::fprintf(stderr, "LoadPGMImage(): %s: OpenGL error 0x%04x while creating the texture\n",
                     path, status);
        return false;
    }
    return true;
}

void textureManager::LoadPGMImage(const char* path) {
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        std::fprintf(stderr, "LoadPGMImage(): can't open input file %s\n", path);
        return;
    }
    LoadPGMImageFromBytes(path, bytes);
}

void textureManager::LoadPGMImageFromBytes(const char* path, std::string_view bytes) {
    GoodnessImage image;
    const std::string reason = parsePGMImage(bytes, image);
    if (!reason.empty()) {
        std::fprintf(stderr, "LoadPGMImage(): %s: %s\n", path, reason.c_str());
        return;
    }
    QOpenGLContext* context = usableContext();
    unsigned int name = 0;
    if (context && !uploadTexture(path, image, name)) return;

    delete[] mapData;
    mapData = image.cells.release();
    mapWidth = image.width;
    mapHeight = image.height;
    if (context) {
        // A caller may have deleted the old name already, and GL may have handed it out again
        // just now: only a different, still owned name is released.
        if (textureId != 0 && textureId != name && textureContext &&
            (textureContext == context || QOpenGLContext::areSharing(textureContext, context)))
            glDeleteTextures(1, &textureId);
        textureId = name;
        textureContext = context;
    } else {
        std::fprintf(stderr, "LoadPGMImage(): %s: no current GL context, texture not updated\n",
                     path);
    }
    std::printf("Successfully load %s\n", path);
}

void textureManager::LoadVGFImageB(const char* path) {
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        std::fprintf(stderr, "LoadVGFImage(): can't open input file %s\n", path);
        return;
    }
    LoadVGFImageBFromBytes(path, bytes);
}

void textureManager::LoadVGFImageBFromBytes(const char* path, std::string_view bytes) {
    GradientImage image;
    const std::string reason =
        parseVGFImage(bytes, mapData ? mapWidth : 0, mapData ? mapHeight : 0, image);
    if (!reason.empty()) {
        std::fprintf(stderr, "LoadVGFImage(): %s: %s\n", path, reason.c_str());
        return;
    }
    const size_t cells = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    for (size_t k = 0; k < cells; ++k) {
        mapData[3 * k + 1] = image.magnitudeAngle[2 * k];
        mapData[3 * k + 2] = image.magnitudeAngle[2 * k + 1];
    }
    mapWidth = image.width;
    mapHeight = image.height;
    std::printf("Successfully load %s\n", path);
}
