#include "textureManager.h"

#include "coords.h"
#include "file.h"
#include "mapimage.h"

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
    return ::parsePGMImage(bytes, image);
}

std::string textureManager::parseVGFImage(std::string_view bytes, int width, int height,
                                          GradientImage& image) {
    return ::parseVGFImage(bytes, width, height, image);
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
