// The goodness texture in a real OpenGL context: texels read back, parameters, names released
// on reload and at destruction. Needs a display (Xvfb when headless).
#include "maps_util.h"
#include "textureManager.h"

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace mapsutil;

namespace {

class GLTexture : public testing::Test {
protected:
    void SetUp() override {
        surface = std::make_unique<QOffscreenSurface>();
        surface->create();
        context = makeContext();
        ASSERT_TRUE(context->makeCurrent(surface.get()));
    }
    void TearDown() override {
        if (context) context->doneCurrent();
    }
    std::unique_ptr<QOpenGLContext> makeContext() {
        auto c = std::make_unique<QOpenGLContext>();
        c->setFormat(QSurfaceFormat::defaultFormat());
        EXPECT_TRUE(c->create());
        return c;
    }

    static std::string load(textureManager& m, const std::string& name, const std::string& bytes) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        m.LoadPGMImageFromBytes(name.c_str(), bytes);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        return out + err;
    }

    // The texture's level 0 as bytes, rows in upload order.
    static std::vector<unsigned char> texelBytes(unsigned int name, int w, int h) {
        std::vector<unsigned char> bytes(static_cast<size_t>(w) * h * 3 + 16, 0xAB);
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
        return bytes;
    }

    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLContext> context;
};

} // namespace

TEST_F(GLTexture, TexelsAreTheJetColoursInCellOrder) {
    textureManager m;
    // 16 x 16 cells with samples 0..255: every jet entry once, row by row.
    EXPECT_EQ(load(m, "all.pgm", pgmBytes(16, 16, 255, rampSamples(256))),
              "Successfully load all.pgm\n");
    ASSERT_NE(m.textureId, 0u);
    ASSERT_TRUE(glIsTexture(m.textureId));
    glBindTexture(GL_TEXTURE_2D, m.textureId);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 16);
    const std::vector<unsigned char> bytes = texelBytes(m.textureId, 16, 16);
    for (int k = 0; k < 256; ++k) {
        const auto rgb = jetEntry(k);
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(bytes[3 * k + c], rgb[c]) << "cell " << k << " channel " << c;
    }
    EXPECT_EQ(bytes[768], 0xAB) << "nothing beyond the texture is written";

    std::vector<float> floats(256 * 3);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, floats.data());
    for (int k = 0; k < 256; ++k) {
        const auto rgb = jetEntry(k);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(floats[3 * k + c], rgb[c] / 255.0, 0.5 / 255) << k;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLTexture, RowZeroIsTheFirstTextureRow) {
    textureManager m;
    // 2 x 3: the first row is all 0 (dark blue), the last all 255 (dark red).
    load(m, "rows.pgm", pgmBytes(2, 3, 255, {0, 0, 128, 128, 255, 255}));
    const std::vector<unsigned char> bytes = texelBytes(m.textureId, 2, 3);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[2], 131);
    EXPECT_EQ(bytes[15], 128);
    EXPECT_EQ(bytes[16], 0);
    EXPECT_EQ(bytes[17], 0);
}

TEST_F(GLTexture, RepeatsAndFiltersLinearlyWithoutMipmaps) {
    textureManager m;
    load(m, "p.pgm", pgmBytes(4, 2, 255, rampSamples(8)));
    glBindTexture(GL_TEXTURE_2D, m.textureId);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    GLint width1 = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &width1);
    EXPECT_EQ(width1, 0) << "no level 1";
}

TEST_F(GLTexture, UnusualPixelStoreStateDoesNotSkewTheUpload) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 7);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 1);
    textureManager m;
    load(m, "odd.pgm", pgmBytes(3, 2, 255, {0, 51, 102, 153, 204, 255}));
    GLint rowLength = 0;
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    EXPECT_EQ(rowLength, 7) << "the caller's state is restored";
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    const std::vector<unsigned char> bytes = texelBytes(m.textureId, 3, 2);
    const int samples[6] = {0, 51, 102, 153, 204, 255};
    for (int k = 0; k < 6; ++k)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(bytes[3 * k + c], jetEntry(samples[k])[c]) << k;
}

TEST_F(GLTexture, AThousandReloadsKeepOneTextureAlive) {
    textureManager m;
    const std::string a = pgmBytes(72, 36, 255, rampSamples(72 * 36));
    std::set<unsigned int> names;
    for (int k = 0; k < 1000; ++k) {
        const unsigned int previous = m.textureId;
        load(m, "a.pgm", a);
        ASSERT_NE(m.textureId, 0u);
        names.insert(m.textureId);
        if (previous != 0 && previous != m.textureId) {
            ASSERT_FALSE(glIsTexture(previous)) << "reload " << k;
        }
    }
    int alive = 0;
    for (unsigned int name : names)
        alive += glIsTexture(name) ? 1 : 0;
    EXPECT_EQ(alive, 1);
    const std::vector<unsigned char> bytes = texelBytes(m.textureId, 72, 36);
    EXPECT_EQ(bytes[3 * 300 + 0], jetEntry(300 % 256)[0]);
}

TEST_F(GLTexture, AFailedLoadKeepsTheTexture) {
    textureManager m;
    load(m, "good.pgm", pgmBytes(2, 1, 255, {0, 255}));
    const unsigned int name = m.textureId;
    const float* data = m.mapData;
    const std::string message = load(m, "bad.pgm", pgmBytes(2, 1, 0, {0, 255}));
    EXPECT_EQ(message, "LoadPGMImage(): bad.pgm: maxval 0 is outside 1..255\n");
    EXPECT_EQ(m.textureId, name);
    EXPECT_EQ(m.mapData, data);
    ASSERT_TRUE(glIsTexture(name));
    const std::vector<unsigned char> bytes = texelBytes(name, 2, 1);
    EXPECT_EQ(bytes[2], 131);
    EXPECT_EQ(bytes[3], 128);
}

TEST_F(GLTexture, LargerThanTheLargestTextureIsRefused) {
    textureManager m;
    load(m, "good.pgm", pgmBytes(2, 1, 255, {0, 255}));
    const unsigned int name = m.textureId;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    ASSERT_GT(largest, 0);
    const std::string message =
        load(m, "wide.pgm", pgmBytes(largest + 1, 1, 255, rampSamples(largest + 1)));
    EXPECT_EQ(message, "LoadPGMImage(): wide.pgm: size " + std::to_string(largest + 1) +
                           " x 1 exceeds the largest texture, " + std::to_string(largest) + "\n");
    EXPECT_EQ(m.textureId, name);
    EXPECT_EQ(m.mapWidth, 2);
    EXPECT_TRUE(glIsTexture(name));
}

// The attribute change of the Visualizer deletes the texture itself before reloading; GL may
// then hand the same name out again, and the reload must not delete its own new texture.
TEST_F(GLTexture, ANameDeletedByTheCallerIsNotDeletedTwice) {
    textureManager m;
    load(m, "first.pgm", pgmBytes(2, 1, 255, {0, 255}));
    glDeleteTextures(1, &m.textureId);
    load(m, "second.pgm", pgmBytes(2, 1, 255, {255, 0}));
    ASSERT_TRUE(glIsTexture(m.textureId));
    const std::vector<unsigned char> bytes = texelBytes(m.textureId, 2, 1);
    EXPECT_EQ(bytes[0], 128);
    EXPECT_EQ(bytes[5], 131);
}

// A texture name belongs to its context: a reload in another, unrelated context must not
// delete whatever that context has under the same number.
TEST_F(GLTexture, AReloadInAnotherContextLeavesThatContextsTexturesAlone) {
    textureManager m;
    load(m, "first.pgm", pgmBytes(2, 1, 255, {0, 255}));
    const unsigned int firstName = m.textureId;
    std::unique_ptr<QOpenGLContext> other = makeContext();
    ASSERT_TRUE(other->makeCurrent(surface.get()));
    ASSERT_FALSE(QOpenGLContext::areSharing(other.get(), context.get()));
    std::vector<unsigned int> theirs;
    for (int k = 0; k < 8; ++k) {
        unsigned int name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        theirs.push_back(name);
    }
    load(m, "second.pgm", pgmBytes(2, 1, 255, {255, 0}));
    for (unsigned int name : theirs)
        EXPECT_TRUE(glIsTexture(name)) << name << " (first texture was " << firstName << ")";
    EXPECT_TRUE(glIsTexture(m.textureId));
    glDeleteTextures(static_cast<GLsizei>(theirs.size()), theirs.data());
    other->doneCurrent();
    ASSERT_TRUE(context->makeCurrent(surface.get()));
}

TEST_F(GLTexture, DestructorReleasesTheNameOnlyWithItsContextCurrent) {
    unsigned int name = 0;
    {
        textureManager m;
        load(m, "d.pgm", pgmBytes(2, 1, 255, {0, 255}));
        name = m.textureId;
        ASSERT_TRUE(glIsTexture(name));
    }
    EXPECT_FALSE(glIsTexture(name));

    unsigned int kept = 0;
    {
        textureManager m;
        load(m, "d.pgm", pgmBytes(2, 1, 255, {0, 255}));
        kept = m.textureId;
        context->doneCurrent();
    } // no context: the destructor makes no GL call
    ASSERT_TRUE(context->makeCurrent(surface.get()));
    EXPECT_TRUE(glIsTexture(kept));
    glDeleteTextures(1, &kept);
}

int main(int argc, char** argv) {
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
