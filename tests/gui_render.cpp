// The scene renderer drawn into an offscreen framebuffer of one view square (475 x 475), with
// the GL state and camera the view sets up. Pixels are read back; geometry that pixels cannot
// pin down (texture coordinates, line pieces) is read back through GL feedback mode.
#include "extTrackball.h"
#include "geometryRenderer.h"
#include "glwidget.h"
#include "textureManager.h"
#include "view_util.h"
#include "viewPath.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <GL/glu.h>

#include <cstring>

using namespace viewtest;

namespace {

constexpr int side = 475;
// World units at z = 0 per pixel: the view square spans 2 * 30 * tan(25 deg) units.
const double unitsAcross = 2 * 30 * std::tan(25 * M_PI / 180);
const double pixelsPerUnit = side / unitsAcross;

// Window position of a point of the plane z = 0 under the camera (x right, y up, from the
// bottom-left corner of the square).
double windowX(double u) {
    return side / 2.0 + u * pixelsPerUnit;
}
double windowY(double v) {
    return side / 2.0 + v * pixelsPerUnit;
}

// A mesh built in the test: owning storage behind an Smesh record.
struct TestMesh {
    std::vector<Svertex> verts;
    std::vector<Striangle> tris;
    Smesh mesh{};

    void addVertex(double x, double y, double z, double nx, double ny, double nz) {
        Svertex v{};
        v.pos[0] = static_cast<float>(x);
        v.pos[1] = static_cast<float>(y);
        v.pos[2] = static_cast<float>(z);
        v.normal[0] = static_cast<float>(nx);
        v.normal[1] = static_cast<float>(ny);
        v.normal[2] = static_cast<float>(nz);
        v.index = static_cast<int>(verts.size());
        verts.push_back(v);
    }
    void addTriangle(int a, int b, int c) {
        Striangle t{};
        t.verts[0] = reinterpret_cast<Svertex*>(static_cast<size_t>(a));
        t.verts[1] = reinterpret_cast<Svertex*>(static_cast<size_t>(b));
        t.verts[2] = reinterpret_cast<Svertex*>(static_cast<size_t>(c));
        t.index = static_cast<int>(tris.size());
        tris.push_back(t);
    }
    // Turns the corner numbers into pointers and fills the record; call once after building.
    Smesh& finish() {
        for (Striangle& t : tris)
            for (Svertex*& c : t.verts)
                c = &verts[reinterpret_cast<size_t>(c)];
        mesh.verts = verts.data();
        mesh.nverts = static_cast<int>(verts.size());
        mesh.tris = tris.data();
        mesh.ntris = static_cast<int>(tris.size());
        return mesh;
    }
};

// A square of half side h in the plane z = 0 facing +z.
TestMesh square(double h) {
    TestMesh m;
    m.addVertex(-h, -h, 0, 0, 0, 1);
    m.addVertex(h, -h, 0, 0, 0, 1);
    m.addVertex(h, h, 0, 0, 0, 1);
    m.addVertex(-h, h, 0, 0, 0, 1);
    m.addTriangle(0, 1, 2);
    m.addTriangle(0, 2, 3);
    return m;
}

// A torus around the z axis (radii R and r) with exact normals.
TestMesh torus(double R, double r, int rings, int sides) {
    TestMesh m;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < sides; ++j) {
            const double u = 2 * M_PI * i / rings, w = 2 * M_PI * j / sides;
            m.addVertex((R + r * std::cos(w)) * std::cos(u), (R + r * std::cos(w)) * std::sin(u),
                        r * std::sin(w), std::cos(w) * std::cos(u), std::cos(w) * std::sin(u),
                        std::sin(w));
        }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < sides; ++j) {
            const int a = i * sides + j, b = ((i + 1) % rings) * sides + j;
            const int c = ((i + 1) % rings) * sides + (j + 1) % sides,
                      d = i * sides + (j + 1) % sides;
            m.addTriangle(a, b, c);
            m.addTriangle(a, c, d);
        }
    return m;
}

// Rotation about y by angle, column-major.
void rotationY(double angle, double* m) {
    quatidentity(m);
    m[0] = std::cos(angle);
    m[2] = -std::sin(angle);
    m[8] = std::sin(angle);
    m[10] = std::cos(angle);
}

class RenderTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        surface = new QOffscreenSurface;
        surface->create();
        context = new QOpenGLContext;
        ASSERT_TRUE(context->create());
        ASSERT_TRUE(context->makeCurrent(surface));
        fbo = new QOpenGLFramebufferObject(side, side, QOpenGLFramebufferObject::Depth);
        ASSERT_TRUE(fbo->isValid());
        // The view's lights, set by the view's own code with this context current.
        lightsFrom = new GLWidget;
    }
    static void TearDownTestSuite() {
        delete lightsFrom;
        delete fbo;
        context->doneCurrent();
        delete context;
        delete surface;
    }

    void SetUp() override {
        ASSERT_TRUE(context->makeCurrent(surface));
        fbo->bind();
        // The state the view's initialisation leaves.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glEnable(GL_TEXTURE_2D);
        glShadeModel(GL_SMOOTH);
        glClearColor(1, 1, 1, 1);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glEnable(GL_NORMALIZE);
        lightsFrom->setupLighting();
        glViewport(0, 0, side, side);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        camera::_instance.setupCamera();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor3f(1, 1, 1);
        quatidentity(ab_quat);

        maps = &textureManager::_instance;
        savedTexture = maps->textureId;
        savedWidth = maps->mapWidth;
        savedHeight = maps->mapHeight;
        savedCtWidth = coordinateTransform::_instance.mapWidth;
        savedCtHeight = coordinateTransform::_instance.mapHeight;
        ExtTrackball::_instance.viewpointTrail.clear();
        ExtTrackball::_instance.stdDragTrail.clear();
        viewPath::_instance.pathPoints.clear();
        viewPath::_instance.turntablePoints.clear();
    }
    void TearDown() override {
        maps->textureId = savedTexture;
        maps->mapWidth = savedWidth;
        maps->mapHeight = savedHeight;
        coordinateTransform::_instance.mapWidth = savedCtWidth;
        coordinateTransform::_instance.mapHeight = savedCtHeight;
        renderer.releaseBuffers();
        for (GLuint t : textures)
            glDeleteTextures(1, &t);
        fbo->release();
    }

    // The map size seen by the renderer and the conversions.
    void setMapSize(int W, int H) {
        maps->mapWidth = W;
        maps->mapHeight = H;
        coordinateTransform::_instance.mapWidth = W;
        coordinateTransform::_instance.mapHeight = H;
    }

    // A W x H texture of the given texel colours (row 0 first), nearest filtering, repeat wrap;
    // installed as the goodness texture.
    void installTexture(int W, int H, const std::function<Rgb(int, int)>& colour) {
        std::vector<float> texels;
        for (int j = 0; j < H; ++j)
            for (int i = 0; i < W; ++i) {
                const Rgb c = colour(i, j);
                texels.push_back(c.r / 255.0f);
                texels.push_back(c.g / 255.0f);
                texels.push_back(c.b / 255.0f);
            }
        GLuint t = 0;
        glGenTextures(1, &t);
        glBindTexture(GL_TEXTURE_2D, t);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, W, H, 0, GL_RGB, GL_FLOAT, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        textures.push_back(t);
        maps->textureId = t;
        setMapSize(W, H);
    }

    QImage image() {
        glFinish();
        return fbo->toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Pixel at window coordinates (x right, y up from the bottom).
    static Rgb at(const QImage& img, double x, double y) {
        return rgbAt(img, static_cast<int>(x), side - 1 - static_cast<int>(y));
    }

    // Window position of a model point under the current matrices.
    static std::array<double, 2> project(double x, double y, double z) {
        double mv[16], pr[16];
        GLint vp[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, mv);
        glGetDoublev(GL_PROJECTION_MATRIX, pr);
        glGetIntegerv(GL_VIEWPORT, vp);
        double wx, wy, wz;
        gluProject(x, y, z, mv, pr, vp, &wx, &wy, &wz);
        return {wx, wy};
    }

    geometryRenderer renderer{9.9f};
    textureManager* maps = nullptr;
    std::vector<GLuint> textures;
    unsigned int savedTexture = 0;
    int savedWidth = 0, savedHeight = 0, savedCtWidth = 0, savedCtHeight = 0;

    static QOffscreenSurface* surface;
    static QOpenGLContext* context;
    static QOpenGLFramebufferObject* fbo;
    static GLWidget* lightsFrom;
};
QOffscreenSurface* RenderTest::surface = nullptr;
QOpenGLContext* RenderTest::context = nullptr;
QOpenGLFramebufferObject* RenderTest::fbo = nullptr;
GLWidget* RenderTest::lightsFrom = nullptr;

int nonWhite(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixel(x, y) != qRgb(255, 255, 255);
    return n;
}

} // namespace

// ---- the lit model

TEST_F(RenderTest, ModelFacingTheViewerIsLitByTheFourLightsOnWhite) {
    TestMesh quad = square(5);
    renderer.drawScene(quad.finish());
    const QImage img = image();
    const Rgb expected = litColour(0, 0, 1);
    EXPECT_TRUE(near(at(img, side / 2, side / 2), expected, 3))
        << at(img, side / 2, side / 2) << " vs " << expected;
    // The square spans 5 units each way from the centre; beyond it the background stays white.
    EXPECT_TRUE(near(at(img, windowX(4), windowY(-4)), expected, 3));
    EXPECT_TRUE(near(at(img, windowX(6), windowY(0)), white, 0));
    EXPECT_TRUE(near(at(img, 3, 3), white, 0));
}

TEST_F(RenderTest, ModelTurnsWithTheOrientationNormalsIncluded) {
    // Turned 60 degrees about y the normal becomes (sin 60, 0, cos 60) in eye space.
    rotationY(M_PI / 3, ab_quat);
    TestMesh quad = square(5);
    renderer.drawScene(quad.finish());
    const QImage img = image();
    const Rgb expected = litColour(std::sin(M_PI / 3), 0, std::cos(M_PI / 3));
    EXPECT_TRUE(near(at(img, side / 2, side / 2), expected, 3))
        << at(img, side / 2, side / 2) << " vs " << expected;
    // Foreshortened to half its width: a point 3.5 units right of the centre is background.
    EXPECT_TRUE(near(at(img, windowX(3.5), windowY(0)), white, 0));
    // The model-view matrix is left holding the orientation.
    double mv[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    // GL keeps the matrix in single precision.
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(mv[k], static_cast<double>(static_cast<float>(ab_quat[k]))) << k;
}

TEST_F(RenderTest, ModelTurnedAwayIsCulled) {
    rotationY(M_PI, ab_quat);
    TestMesh quad = square(5);
    renderer.drawScene(quad.finish());
    EXPECT_EQ(nonWhite(image()), 0);
}

TEST_F(RenderTest, ModelIsNotTintedByATextureLeftOn) {
    // At start texturing is on and the goodness texture bound; the model has no texture
    // coordinates and must show its lit colour, not that colour times one texel.
    installTexture(2, 2, [](int, int) { return Rgb{255, 0, 0}; });
    glEnable(GL_TEXTURE_2D);
    TestMesh quad = square(5);
    renderer.drawScene(quad.finish());
    const QImage img = image();
    EXPECT_TRUE(near(at(img, side / 2, side / 2), litColour(0, 0, 1), 3))
        << at(img, side / 2, side / 2);
}

TEST_F(RenderTest, BufferedModelDrawsTheSamePixelsAsCornerByCorner) {
    TestMesh shape = torus(7, 2.5, 60, 30);
    Smesh& mesh = shape.finish();
    double tilt[16];
    rotationY(0.7, tilt);
    // A general orientation: 0.7 rad about y, then 1.1 rad about x.
    quatidentity(ab_quat);
    const double c = std::cos(1.1), s = std::sin(1.1);
    double rx[16];
    quatidentity(rx);
    rx[5] = c;
    rx[6] = s;
    rx[9] = -s;
    rx[10] = c;
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row) {
            double sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += rx[4 * k + row] * tilt[4 * col + k];
            ab_quat[4 * col + row] = sum;
        }

    renderer.meshLoaded(mesh);
    renderer.drawScene(mesh);
    const QImage buffered = image();
    EXPECT_EQ(renderer.bufferCount(), 1);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    renderer.useBuffers = false;
    renderer.drawScene(mesh);
    const QImage direct = image();
    EXPECT_GT(nonWhite(direct), 20000);
    EXPECT_TRUE(buffered == direct) << "buffered and corner-by-corner frames differ";
}

TEST_F(RenderTest, BufferedModelWithScatteredTrianglesDrawsTheSamePixels) {
    // Triangles in a scattered order share few vertices with their neighbours in the list (the
    // renderer then stores a vertex per corner instead of indexing); the picture is still the
    // corner-by-corner one, drawn in the same triangle order.
    TestMesh grid = torus(7, 2.5, 60, 30);
    const size_t n = grid.tris.size();
    std::vector<Striangle> scattered(n);
    for (size_t k = 0; k < n; ++k)
        scattered[k] = grid.tris[(k * 1237) % n];
    grid.tris = scattered;
    Smesh& mesh = grid.finish();
    rotationY(0.9, ab_quat);
    renderer.meshLoaded(mesh);
    renderer.drawScene(mesh);
    const QImage buffered = image();
    EXPECT_EQ(renderer.bufferCount(), 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    renderer.useBuffers = false;
    renderer.drawScene(mesh);
    const QImage direct = image();
    EXPECT_GT(nonWhite(direct), 20000);
    EXPECT_TRUE(buffered == direct) << "buffered and corner-by-corner frames differ";
}

TEST_F(RenderTest, ReloadedMeshIsNotDrawnFromTheOldBuffer) {
    TestMesh first = torus(7, 2.5, 40, 20);
    TestMesh second = square(4);
    Smesh mesh = first.finish();
    renderer.meshLoaded(mesh);
    renderer.drawScene(mesh);
    ASSERT_EQ(renderer.bufferCount(), 1);

    // The same record now holds another mesh, as after a model change.
    mesh = second.finish();
    renderer.meshLoaded(mesh);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    renderer.drawScene(mesh);
    const QImage reloaded = image();
    EXPECT_EQ(renderer.bufferCount(), 1);
    // The square covers the centre, where the torus has its hole.
    EXPECT_TRUE(near(at(reloaded, side / 2, side / 2), litColour(0, 0, 1), 3));
    EXPECT_TRUE(near(at(reloaded, windowX(6), windowY(0)), white, 0));
}

TEST_F(RenderTest, EmptyMeshDrawsNothing) {
    Smesh empty{};
    renderer.meshLoaded(empty);
    renderer.drawScene(empty);
    EXPECT_EQ(nonWhite(image()), 0);
    EXPECT_EQ(renderer.bufferCount(), 0);
}

// ---- the flat map and the centre cross

TEST_F(RenderTest, FlatMapFillsTheSquareRowZeroAtTheTop) {
    const Rgb colours[2][4] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}},
                               {{0, 255, 255}, {255, 0, 255}, {128, 0, 0}, {0, 128, 0}}};
    installTexture(4, 2, [&](int i, int j) { return colours[j][i]; });
    renderer.drawTexture();
    const QImage img = image();
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 4; ++i) {
            // Texel (i, j): column i from the left, row j from the top.
            const double x = (i + 0.5) / 4 * side, y = side - (j + 0.5) / 2 * side;
            EXPECT_TRUE(near(at(img, x, y), colours[j][i], 0)) << i << "," << j;
        }
    // The square of half side 14 reaches just past the view's edges (13.99 units).
    EXPECT_TRUE(near(at(img, 0, 0), colours[1][0], 0));
    EXPECT_TRUE(near(at(img, side - 1, side - 1), colours[0][3], 0));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
}

TEST_F(RenderTest, CentreCrossShowsThroughWhatIsInFront) {
    // Something opaque in front of the plane z = 0 (nearer the eye) over the whole centre.
    glDisable(GL_LIGHTING);
    glColor3f(1, 0, 0);
    glBegin(GL_QUADS);
    glVertex3f(-5, -5, 5);
    glVertex3f(5, -5, 5);
    glVertex3f(5, 5, 5);
    glVertex3f(-5, 5, 5);
    glEnd();
    renderer.drawCenterIndicator();
    const QImage img = image();
    const double c = side / 2.0, arm = 0.75 * pixelsPerUnit;
    EXPECT_TRUE(near(at(img, c + arm, c), markerBlue, 1)) << at(img, c + arm, c);
    EXPECT_TRUE(near(at(img, c - arm, c), markerBlue, 1));
    EXPECT_TRUE(near(at(img, c, c + arm), markerBlue, 1));
    EXPECT_TRUE(near(at(img, c, c - arm), markerBlue, 1));
    // Open between the centre point and the arms, and nothing beyond the arms' ends.
    EXPECT_TRUE(near(at(img, c + 0.3 * pixelsPerUnit, c), Rgb{255, 0, 0}, 1));
    EXPECT_TRUE(near(at(img, c + 1.3 * pixelsPerUnit, c), Rgb{255, 0, 0}, 1));
    EXPECT_TRUE(near(at(img, c, c), markerBlue, 1) || near(at(img, c - 1, c - 1), markerBlue, 1));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

// ---- texture coordinates of the view sphere

namespace {

struct TexturedVertex {
    float x, y, s, t;
};

// Texture-coordinated vertices of the polygons drawn by draw (GL_3D_COLOR_TEXTURE feedback).
std::vector<std::vector<TexturedVertex>> capturePolygons(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    std::vector<std::vector<TexturedVertex>> polygons;
    for (GLint k = 0; k < n;) {
        const auto token = static_cast<GLint>(buffer[k++]);
        if (token != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "unexpected token " << token;
            break;
        }
        const auto count = static_cast<int>(buffer[k++]);
        std::vector<TexturedVertex> p;
        for (int i = 0; i < count; ++i, k += 11)
            p.push_back({buffer[k], buffer[k + 1], buffer[k + 7], buffer[k + 8]});
        polygons.push_back(p);
    }
    return polygons;
}

// The direction of the corner of cell (i, j) on a W x H map, scaled to radius r.
void cellCorner(TestMesh& m, int i, int j, int W, int H, double r) {
    const double theta = 2 * M_PI * i / W - M_PI, phi = M_PI * j / H;
    const double x = std::cos(theta) * std::sin(phi), y = std::sin(theta) * std::sin(phi),
                 z = std::cos(phi);
    m.addVertex(r * x, r * y, r * z, x, y, z);
}

std::vector<float> sortedS(const std::vector<TexturedVertex>& p) {
    std::vector<float> s;
    for (auto& v : p)
        s.push_back(v.s);
    std::sort(s.begin(), s.end());
    return s;
}

} // namespace

TEST(SeamRepair, ShiftsCornersAcrossTheSeamTowardsTheFirstCorner) {
    EXPECT_EQ(geometryRenderer::seamRepaired(0.95f, 0.02f), 0.02f + 1);
    EXPECT_FLOAT_EQ(geometryRenderer::seamRepaired(0.95f, 0.97f), 0.97f);
    EXPECT_EQ(geometryRenderer::seamRepaired(0.05f, 0.97f), 0.97f - 1);
    EXPECT_FLOAT_EQ(geometryRenderer::seamRepaired(0.05f, 0.5f), 0.5f);
    // A first corner in the middle is never repaired against.
    EXPECT_FLOAT_EQ(geometryRenderer::seamRepaired(0.5f, 0.02f), 0.02f);
    EXPECT_FLOAT_EQ(geometryRenderer::seamRepaired(0.5f, 0.97f), 0.97f);
}

TEST_F(RenderTest, SphereTriangleAcrossTheSeamSamplesNeighbouringTexels) {
    const int W = 72, H = 36;
    installTexture(W, H, [](int i, int) {
        return i < 3 || i > 68 ? Rgb{255, 0, 0} : Rgb{0, 255, 0};
    });
    // Corners in columns 68, 1 and 69 (first corner near the right edge): s = 68/71, 1/71 + 1,
    // 69/71 with t = 17/35, 19/35, 18/35. Seen from -x, where the triangle lies.
    TestMesh tri;
    cellCorner(tri, 68, 17, W, H, 9.9);
    cellCorner(tri, 1, 19, W, H, 9.9);
    cellCorner(tri, 69, 18, W, H, 9.9);
    tri.addTriangle(0, 1, 2);
    Smesh& mesh = tri.finish();
    rotationY(M_PI / 2, ab_quat); // turns -x onto the eye axis
    glDisable(GL_CULL_FACE);

    for (bool buffers : {false, true}) {
        renderer.useBuffers = buffers;
        renderer.meshLoaded(mesh);
        glLoadIdentity();
        const auto polygons = capturePolygons([&] { renderer.drawSphere(mesh); });
        ASSERT_EQ(polygons.size(), 1u) << buffers;
        const auto s = sortedS(polygons[0]);
        ASSERT_EQ(s.size(), 3u);
        EXPECT_FLOAT_EQ(s[0], 68.0f / 71);
        EXPECT_FLOAT_EQ(s[1], 69.0f / 71);
        EXPECT_FLOAT_EQ(s[2], 1.0f / 71 + 1);
        std::vector<float> t;
        for (auto& v : polygons[0])
            t.push_back(v.t);
        std::sort(t.begin(), t.end());
        EXPECT_FLOAT_EQ(t[0], 17.0f / 35);
        EXPECT_FLOAT_EQ(t[2], 19.0f / 35);
    }
    // The pixels: the triangle shows the red seam columns, not the green middle of the map.
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    renderer.drawSphere(mesh);
    const QImage img = image();
    const auto centre =
        project((mesh.verts[0].pos[0] + mesh.verts[1].pos[0] + mesh.verts[2].pos[0]) / 3,
                (mesh.verts[0].pos[1] + mesh.verts[1].pos[1] + mesh.verts[2].pos[1]) / 3,
                (mesh.verts[0].pos[2] + mesh.verts[1].pos[2] + mesh.verts[2].pos[2]) / 3);
    EXPECT_TRUE(near(at(img, centre[0], centre[1]), Rgb{255, 0, 0}, 0))
        << at(img, centre[0], centre[1]);
}

TEST_F(RenderTest, PolesMapToTheFirstAndLastTextureRows) {
    const int W = 72, H = 36;
    installTexture(W, H, [](int, int) { return Rgb{200, 200, 200}; });
    TestMesh tri;
    tri.addVertex(0, 0, 9.9, 0, 0, 1); // +z pole
    cellCorner(tri, 40, 2, W, H, 9.9);
    cellCorner(tri, 44, 2, W, H, 9.9);
    tri.addVertex(0, 0, -9.9, 0, 0, -1); // -z pole
    cellCorner(tri, 44, 34, W, H, 9.9);
    cellCorner(tri, 40, 34, W, H, 9.9);
    tri.addTriangle(0, 1, 2);
    tri.addTriangle(3, 4, 5);
    Smesh& mesh = tri.finish();
    glDisable(GL_CULL_FACE);
    // Looking from -y, both poles are in view, at the top and the bottom.
    quatidentity(ab_quat);
    ab_quat[5] = 0;
    ab_quat[6] = -1;
    ab_quat[9] = 1;
    ab_quat[10] = 0;
    ExtTrackball::_instance.rotate();
    const auto polygons = capturePolygons([&] { renderer.drawSphereGeometry(mesh); });
    ASSERT_EQ(polygons.size(), 2u);
    float minT = 2, maxT = -2;
    for (auto& p : polygons)
        for (auto& v : p) {
            minT = std::min(minT, v.t);
            maxT = std::max(maxT, v.t);
        }
    EXPECT_FLOAT_EQ(minT, 0.0f);
    EXPECT_FLOAT_EQ(maxT, 1.0f);
}

TEST_F(RenderTest, SphereBufferFollowsTheMapSize) {
    // Texture coordinates depend on the map size; a map of another size (a new model's maps)
    // must not be drawn with coordinates made for the old one.
    TestMesh tri;
    cellCorner(tri, 20, 10, 72, 36, 9.9);
    cellCorner(tri, 22, 10, 72, 36, 9.9);
    cellCorner(tri, 21, 12, 72, 36, 9.9);
    tri.addTriangle(0, 1, 2);
    Smesh& mesh = tri.finish();
    glDisable(GL_CULL_FACE);
    renderer.meshLoaded(mesh);
    auto sOf = [&] {
        glLoadIdentity();
        const auto polygons = capturePolygons([&] { renderer.drawSphereGeometry(mesh); });
        return polygons.size() == 1 ? sortedS(polygons[0]) : std::vector<float>{};
    };
    setMapSize(72, 36);
    EXPECT_EQ(sOf(), (std::vector<float>{20.0f / 71, 21.0f / 71, 22.0f / 71}));
    setMapSize(36, 18);
    EXPECT_EQ(sOf(), (std::vector<float>{10.0f / 35, 11.0f / 35, 11.0f / 35}));
    EXPECT_EQ(renderer.bufferCount(), 1);
}

TEST_F(RenderTest, MapOneCellWideOrHighGivesFiniteTextureCoordinates) {
    TestMesh tri;
    cellCorner(tri, 20, 10, 72, 36, 9.9);
    cellCorner(tri, 22, 10, 72, 36, 9.9);
    cellCorner(tri, 21, 12, 72, 36, 9.9);
    tri.addTriangle(0, 1, 2);
    Smesh& mesh = tri.finish();
    glDisable(GL_CULL_FACE);
    for (auto [W, H] : {std::pair{1, 36}, {72, 1}, {1, 1}}) {
        setMapSize(W, H);
        for (bool buffers : {false, true}) {
            renderer.useBuffers = buffers;
            renderer.meshLoaded(mesh);
            glLoadIdentity();
            const auto polygons = capturePolygons([&] { renderer.drawSphereGeometry(mesh); });
            ASSERT_EQ(polygons.size(), 1u);
            for (auto& v : polygons[0]) {
                EXPECT_TRUE(std::isfinite(v.s) && std::isfinite(v.t)) << W << "x" << H;
                EXPECT_TRUE(W != 1 || v.s == 0.0f) << v.s;
                EXPECT_TRUE(H != 1 || v.t == 0.0f) << v.t;
            }
        }
    }
}

// ---- path overlays on the flat map

namespace {

// A path point for cell (i, j) of a W x H map.
PathPoint cellPoint(int i, int j, int W, int H) {
    return {static_cast<float>(2 * M_PI * i / W - M_PI), static_cast<float>(M_PI * j / H)};
}

// u, v of the corner of cell (i, j) on a W x H map drawn on the square of half side 14.
double cellU(int i, int W) {
    return 28.0 * (static_cast<double>(i) / W - 0.5);
}
double cellV(int j, int H) {
    return -28.0 * (static_cast<double>(j) / H - 0.5);
}

bool segmentNear(const Primitive& p, double x1, double y1, double x2, double y2, double tol) {
    auto close = [tol](const std::array<float, 3>& v, double x, double y) {
        return std::abs(v[0] - x) <= tol && std::abs(v[1] - y) <= tol;
    };
    return (close(p.vertices[0], x1, y1) && close(p.vertices[1], x2, y2)) ||
           (close(p.vertices[0], x2, y2) && close(p.vertices[1], x1, y1));
}

} // namespace

TEST_F(RenderTest, OrbitOnTheFlatMapBreaksAtJumpsAndClosesStraightOverShortGaps) {
    const int W = 72, H = 36;
    setMapSize(W, H);
    // Columns 10, 12, 14, then a jump of 21 columns (8.2 units > 7), then 35, 37; the closing
    // step from 37 back to 10 is 10.5 units (< 14) and drawn straight.
    auto& path = viewPath::_instance.pathPoints;
    for (int i : {10, 12, 14, 35, 37})
        path.push_back(cellPoint(i, 12, W, H));
    const auto lines = captureFeedback([&] { renderer.drawPathOnQuad(); });
    ASSERT_EQ(countKind(lines, Primitive::Line), 4);
    const double y = windowY(cellV(12, H));
    EXPECT_TRUE(segmentNear(lines[0], windowX(cellU(10, W)), y, windowX(cellU(12, W)), y, 0.01));
    EXPECT_TRUE(segmentNear(lines[1], windowX(cellU(12, W)), y, windowX(cellU(14, W)), y, 0.01));
    EXPECT_TRUE(segmentNear(lines[2], windowX(cellU(35, W)), y, windowX(cellU(37, W)), y, 0.01));
    EXPECT_TRUE(segmentNear(lines[3], windowX(cellU(37, W)), y, windowX(cellU(10, W)), y, 0.01));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
}

TEST_F(RenderTest, OrbitClosingAcrossTheSeamIsSplitAtTheEdges) {
    const int W = 72, H = 36;
    setMapSize(W, H);
    auto& path = viewPath::_instance.pathPoints;
    // Columns 4, 10, ..., 70 in steps of 6 (2.3 units), rows 10 to 21; the closing step from
    // column 70 (u = 13.22) to column 4 (u = -12.44) is 25.7 units long.
    for (int k = 0; k < 12; ++k)
        path.push_back(cellPoint(4 + 6 * k, 10 + k, W, H));
    const auto lines = captureFeedback([&] { renderer.drawPathOnQuad(); });
    ASSERT_EQ(countKind(lines, Primitive::Line), 13);
    const double u1 = cellU(70, W), v1 = cellV(21, H), u2 = cellU(4, W), v2 = cellV(10, H);
    const double vc = v1 + (v2 - v1) * (14 - std::abs(u1)) / (28 - std::abs(u1) - std::abs(u2));
    // The ends on the edges lie 0.2 px outside the view and come back clipped: within 1 px.
    EXPECT_TRUE(segmentNear(lines[11], windowX(u1), windowY(v1), windowX(14), windowY(vc), 1.0));
    EXPECT_TRUE(segmentNear(lines[12], windowX(-14), windowY(vc), windowX(u2), windowY(v2), 1.0));
    // No piece spans the map.
    for (const Primitive& p : lines)
        EXPECT_LT(std::abs(p.vertices[0][0] - p.vertices[1][0]), side / 2.0);
}

TEST_F(RenderTest, TurntableOnTheFlatMapIsOneHorizontalLine) {
    const int W = 72, H = 36;
    setMapSize(W, H);
    auto& path = viewPath::_instance.turntablePoints;
    for (int k = 0; k < 24; ++k)
        path.push_back(cellPoint((30 + 3 * k) % W, 14, W, H));
    const auto lines = captureFeedback([&] { renderer.drawTurnpathOnQuad(); });
    // 23 steps (the wrap from column 69 to 0 retraces the line instead of breaking it), and the
    // closing step from column 27 back to 30.
    ASSERT_EQ(countKind(lines, Primitive::Line), 24);
    double left = side, right = 0;
    for (const Primitive& p : lines)
        for (auto& v : p.vertices) {
            EXPECT_NEAR(v[1], windowY(cellV(14, H)), 0.01);
            left = std::min<double>(left, v[0]);
            right = std::max<double>(right, v[0]);
        }
    // The square reaches 0.2 px past the view's edge, where the line is clipped.
    EXPECT_NEAR(left, 0, 0.01);
    EXPECT_NEAR(right, windowX(cellU(69, W)), 0.01);
}

TEST_F(RenderTest, EmptyPathsDrawNothing) {
    setMapSize(72, 36);
    EXPECT_TRUE(captureFeedback([&] {
                    renderer.drawPathOnQuad();
                    renderer.drawTurnpathOnQuad();
                    renderer.drawPathOnSphere();
                    renderer.drawTurnpathOnSphere();
                    renderer.drawThrowPathonSphere();
                    renderer.drawStdThrowPathonSphere();
                    renderer.drawThrowPathonTexture();
                    renderer.drawStdThrowPathonTexture();
                }).empty());
}

TEST_F(RenderTest, OrbitOnTheSphereIsAClosedLoopOnItsShell) {
    setMapSize(72, 36);
    auto& path = viewPath::_instance.pathPoints;
    path = {{0.0f, 1.0f}, {0.5f, 1.2f}, {1.0f, 1.0f}};
    const auto lines = captureFeedback([&] { renderer.drawPathOnSphere(); });
    ASSERT_EQ(countKind(lines, Primitive::Line), 3);
    // Each point at radius 9.9 + 0.2.
    const float R = static_cast<float>(9.9f + 0.2);
    auto expected = [&](const PathPoint& p) {
        return project(R * std::cos(p.theta) * std::sin(p.phi),
                       R * std::sin(p.theta) * std::sin(p.phi), R * std::cos(p.phi));
    };
    for (int k = 0; k < 3; ++k) {
        const auto a = expected(path[k]), b = expected(path[(k + 1) % 3]);
        EXPECT_TRUE(segmentNear(lines[k], a[0], a[1], b[0], b[1], 0.01)) << k;
    }
}

// ---- trails

TEST_F(RenderTest, SphereTrailBendsTheFirstPartOfEachLongStepOntoTheShell) {
    setMapSize(72, 36);
    auto& trail = ExtTrackball::_instance.viewpointTrail;
    // Two unit directions 0.05 apart: the first, five extra points at t = 0.01 .. 0.05 of the
    // chord, then the second: seven vertices, six pieces. Two points give no start marker.
    const double a = 2 * std::asin(0.025);
    trail = {vec(0, 0, 1), vec(std::sin(a), 0, std::cos(a))};
    auto prims = captureFeedback([&] { renderer.drawThrowPathonSphere(); });
    EXPECT_EQ(countKind(prims, Primitive::Line), 6);
    EXPECT_EQ(countKind(prims, Primitive::Point), 0);

    // Steps shorter than 0.01 add nothing; a third point brings the start marker.
    trail = {vec(0, 0, 1), vec(std::sin(0.005), 0, std::cos(0.005)),
             vec(std::sin(0.009), 0, std::cos(0.009))};
    prims = captureFeedback([&] { renderer.drawThrowPathonSphere(); });
    EXPECT_EQ(countKind(prims, Primitive::Line), 2);
    ASSERT_EQ(countKind(prims, Primitive::Point), 1);
    const float R = static_cast<float>(9.9f + 0.1);
    const auto start = project(0, 0, R);
    EXPECT_NEAR(prims.back().vertices[0][0], start[0], 0.01);
    EXPECT_NEAR(prims.back().vertices[0][1], start[1], 0.01);

    // The plain-drag trail has no start marker at all.
    ExtTrackball::_instance.stdDragTrail = trail;
    prims = captureFeedback([&] { renderer.drawStdThrowPathonSphere(); });
    EXPECT_EQ(countKind(prims, Primitive::Line), 2);
    EXPECT_EQ(countKind(prims, Primitive::Point), 0);
    double mv[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    EXPECT_EQ(mv[0], 1.0) << "model-view matrix restored";
}

TEST_F(RenderTest, SphereTrailStepLongerThanOneEndsAtItsNextPoint) {
    setMapSize(72, 36);
    // Directions 90 degrees apart, 1.414 apart: the extra points stop short of the next point
    // (t < 1) instead of running on past it.
    ExtTrackball::_instance.stdDragTrail = {vec(0, 0, 1), vec(1, 0, 0)};
    const auto prims = captureFeedback([&] { renderer.drawStdThrowPathonSphere(); });
    // t = 0.01 .. 0.99: 99 extra points, 101 vertices, 100 pieces (not 141 extra points with
    // t up to 1.41, which would overshoot and come back).
    EXPECT_EQ(countKind(prims, Primitive::Line), 100);
    const float R = static_cast<float>(9.9f + 0.1);
    const auto end = project(R, 0, 0);
    EXPECT_NEAR(prims.back().vertices[1][0], end[0], 0.01);
    EXPECT_NEAR(prims.back().vertices[1][1], end[1], 0.01);
}

TEST_F(RenderTest, FlatTrailCrossingTheSeamIsDrawnAsTwoPieces) {
    // On a 28 x 14 map columns 27 and 1 lie at u = 13 and u = -13.
    const int W = 28, H = 14;
    setMapSize(W, H);
    vec p, q;
    coordinateTransform::_instance.ArrayIndexToCartesian(27, 7, p);
    coordinateTransform::_instance.ArrayIndexToCartesian(1, 5, q);
    ExtTrackball::_instance.viewpointTrail = {p, q};
    const auto prims = captureFeedback([&] { renderer.drawThrowPathonTexture(); });
    ASSERT_EQ(countKind(prims, Primitive::Line), 2);
    // v1 = 0, v2 = 4; the crossing height is v1 + (v2 - v1) * (14 - 13) / (28 - 13 - 13) = 2.
    EXPECT_TRUE(segmentNear(prims[0], windowX(13), windowY(0), windowX(14), windowY(2), 0.5));
    EXPECT_TRUE(segmentNear(prims[1], windowX(-14), windowY(2), windowX(-13), windowY(4), 0.5));
    // Two points already bring the start marker on the flat map.
    ASSERT_EQ(countKind(prims, Primitive::Point), 1);
    EXPECT_NEAR(prims[2].vertices[0][0], windowX(13), 0.01);
    EXPECT_NEAR(prims[2].vertices[0][1], windowY(0), 0.01);
}

TEST(SeamCrossing, HeightWhereTheContinuationMeetsTheEdges) {
    EXPECT_FLOAT_EQ(geometryRenderer::seamCrossingHeight(13, 1, -13, 5, 14), 3);
    EXPECT_FLOAT_EQ(geometryRenderer::seamCrossingHeight(12, 0, -13, 6, 14), 4);
    // Both ends on the edges (the same meridian): a finite height, the first end's.
    EXPECT_FLOAT_EQ(geometryRenderer::seamCrossingHeight(14, 2, -14, 4, 14), 2);
    EXPECT_FLOAT_EQ(geometryRenderer::seamCrossingHeight(-14, 2, 14, 4, 14), 2);
}

TEST_F(RenderTest, OrbitClosingFromEdgeToEdgeStaysFinite) {
    const int W = 72, H = 36;
    setMapSize(W, H);
    // theta = pi lands on u = +14, theta = -pi on u = -14.
    viewPath::_instance.pathPoints = {
        {static_cast<float>(-M_PI), 1.0f}, {0.0f, 1.2f}, {static_cast<float>(M_PI), 1.4f}};
    const auto prims = captureFeedback([&] { renderer.drawPathOnQuad(); });
    for (const Primitive& p : prims)
        for (auto& v : p.vertices) {
            EXPECT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1]));
            EXPECT_GE(v[0], -0.01);
            EXPECT_LE(v[0], side + 0.01);
        }
}

TEST_F(RenderTest, MapMarkerSitsOnTheCellOfTheView) {
    const int W = 72, H = 36;
    setMapSize(W, H);
    // Viewing direction (1, 0, 0): theta 0, phi pi/2, cell (36, 18), drawn at (0, 0).
    quatidentity(ab_quat);
    ab_quat[0] = 0;
    ab_quat[2] = 1;
    ab_quat[8] = -1;
    ab_quat[10] = 0;
    auto prims = captureFeedback([&] { renderer.drawTexturePositionIndicator(); });
    ASSERT_EQ(countKind(prims, Primitive::Line), 4);
    const double c = side / 2.0, p = pixelsPerUnit;
    EXPECT_TRUE(segmentNear(prims[0], c + 0.5 * p, c, c + p, c, 0.01));
    EXPECT_TRUE(segmentNear(prims[1], c - 0.5 * p, c, c - p, c, 0.01));
    EXPECT_TRUE(segmentNear(prims[2], c, c + 0.5 * p, c, c + p, 0.01));
    EXPECT_TRUE(segmentNear(prims[3], c, c - 0.5 * p, c, c - p, 0.01));
    ASSERT_EQ(countKind(prims, Primitive::Point), 1);

    // Viewing direction (0, -1, 0): theta -pi/2, cell (18, 18), u = -7.
    quatidentity(ab_quat);
    ab_quat[5] = 0;
    ab_quat[6] = -1;
    ab_quat[9] = 1;
    ab_quat[10] = 0;
    prims = captureFeedback([&] { renderer.drawTexturePositionIndicator(); });
    ASSERT_EQ(countKind(prims, Primitive::Point), 1);
    EXPECT_NEAR(prims.back().vertices[0][0], windowX(-7), 0.01);
    EXPECT_NEAR(prims.back().vertices[0][1], windowY(0), 0.01);
}

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
