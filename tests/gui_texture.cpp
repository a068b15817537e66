// The goodness texture in a real OpenGL context. Needs a display (Xvfb when headless).
#include "textureManager.h"
#include "view_util.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>

#include <cstdlib>
#include <set>

using namespace mapsutil;

namespace {

std::string load(textureManager& m, const std::string& bytes) {
    const Output o = captured([&] { m.LoadPGMImageFromBytes("t.pgm", bytes); });
    return o.out + o.err;
}

// Level 0 read back must hold the jet colours of the samples in cell order, and nothing more.
void expectTexels(unsigned int name, const std::vector<unsigned char>& samples) {
    std::vector<unsigned char> bytes(samples.size() * 3 + 1, 0xAB), expected;
    for (unsigned char s : samples)
        for (int c : jetEntry(s))
            expected.push_back(static_cast<unsigned char>(c));
    expected.push_back(0xAB);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
    EXPECT_EQ(bytes, expected);
}

const std::string twoCells = pgmBytes(2, 1, 255, {0, 255});

class GLTexture : public testing::Test {
protected:
    void SetUp() override {
        surface.create();
        ASSERT_TRUE(context.create() && context.makeCurrent(&surface));
    }
    void TearDown() override { context.doneCurrent(); }
    QOffscreenSurface surface;
    QOpenGLContext context;
};

} // namespace

// Samples 0..255 on 16 x 16 cells: every jet entry once, cell row 0 the first texture row,
// whatever unpack state the caller left, which is put back afterwards.
TEST_F(GLTexture, TexelsAreTheJetColoursInCellOrderRepeatedAndLinear) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 7);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 1);
    textureManager m;
    EXPECT_EQ(load(m, pgmBytes(16, 16, 255, rampSamples(256))), "Successfully load t.pgm\n");
    ASSERT_TRUE(m.textureId != 0 && glIsTexture(m.textureId));
    expectTexels(m.textureId, rampSamples(256));
    GLint value[6] = {};
    const GLenum names[4] = {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_MIN_FILTER,
                             GL_TEXTURE_MAG_FILTER};
    for (int k = 0; k < 4; ++k)
        glGetTexParameteriv(GL_TEXTURE_2D, names[k], &value[k]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &value[4]); // no mipmaps
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &value[5]);
    EXPECT_EQ(std::vector<GLint>(value, value + 6),
              (std::vector<GLint>{GL_REPEAT, GL_REPEAT, GL_LINEAR, GL_LINEAR, 0, 7}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A size beyond the largest texture is refused and the texture kept.
TEST_F(GLTexture, ARefusedLoadKeepsTheTexture) {
    textureManager m;
    load(m, twoCells);
    const unsigned int name = m.textureId;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    EXPECT_EQ(load(m, pgmBytes(largest + 1, 1, 255, rampSamples(largest + 1))),
              "LoadPGMImage(): t.pgm: size " + std::to_string(largest + 1) +
                  " x 1 exceeds the largest texture, " + std::to_string(largest) + "\n");
    EXPECT_TRUE(m.textureId == name && m.mapWidth == 2 && glIsTexture(name));
    expectTexels(name, {0, 255});
}

// Of all the names reloads hand out only the last stays alive, until the destructor releases it.
// The Visualizer deletes the texture itself before some reloads; GL may then hand the same name
// out again, and the reload must not delete its own new texture.
TEST_F(GLTexture, ReloadsKeepOneTextureAliveAndTheDestructorReleasesIt) {
    std::set<unsigned int> names;
    auto alive = [&] { return std::count_if(names.begin(), names.end(), glIsTexture); };
    {
        textureManager m;
        for (int k = 0; k < 50; ++k) {
            if (k % 3 == 1) glDeleteTextures(1, &m.textureId);
            load(m, pgmBytes(2, 1, 255, {static_cast<unsigned char>(k), 255}));
            names.insert(m.textureId);
        }
        EXPECT_EQ(alive(), 1);
        expectTexels(m.textureId, {49, 255});
    }
    EXPECT_EQ(alive(), 0);
}

// A name belongs to its context: a reload in an unrelated one must leave that context's own
// textures of the same numbers alone, and so must a destructor that runs there.
TEST_F(GLTexture, NamesAreReleasedOnlyInTheirOwnContext) {
    QOpenGLContext other;
    ASSERT_TRUE(other.create());
    ASSERT_FALSE(QOpenGLContext::areSharing(&other, &context));
    unsigned int theirs[8];
    {
        textureManager m, n;
        load(m, twoCells);
        load(n, twoCells);
        ASSERT_TRUE(other.makeCurrent(&surface));
        glGenTextures(8, theirs);
        for (unsigned int name : theirs)
            glBindTexture(GL_TEXTURE_2D, name);
        load(m, twoCells);
        EXPECT_TRUE(glIsTexture(m.textureId));
    }
    for (unsigned int name : theirs)
        EXPECT_TRUE(glIsTexture(name)) << name;
    ASSERT_TRUE(context.makeCurrent(&surface));
}

int main(int argc, char** argv) {
    // Mesa hands a deleted name out again only when asked to; the viewer must cope with both.
    setenv("force_gl_names_reuse", "true", 0);
    return viewtest::runGuiTests(argc, argv);
}
