// The scene renderer's sphere texture coordinates and its path and trail overlays, drawn in a
// real view's context with the view's camera and read back through GL feedback mode: window
// positions of line pieces and points, texture coordinates of polygon corners.
#include "extTrackball.h"
#include "geometryRenderer.h"
#include "textureManager.h"
#include "view_util.h"
#include "viewPath.h"

#include <functional>
#include <optional>

using namespace viewtest;

namespace {

constexpr int side = 475;
// Window coordinate (from the bottom-left corner) of a coordinate of the plane z = 0: the square
// spans 2 * 30 * tan(25 deg) world units there.
double win(double u) {
    return side / 2.0 + u * side / (2 * 30 * std::tan(25 * M_PI / 180));
}

// Triangles whose corners lie at the directions of cells (i, j) of a 72 x 36 map, radius 9.9.
struct CellTriangles {
    std::vector<Svertex> verts;
    std::vector<Striangle> tris;
    Smesh mesh{};
    explicit CellTriangles(std::initializer_list<std::pair<int, int>> cells) {
        for (auto [i, j] : cells) {
            const double theta = 2 * M_PI * i / 72 - M_PI, phi = M_PI * j / 36;
            const double d[3] = {std::cos(theta) * std::sin(phi), std::sin(theta) * std::sin(phi),
                                 std::cos(phi)};
            Svertex v{};
            for (int k = 0; k < 3; ++k) {
                v.pos[k] = static_cast<float>(9.9 * d[k]);
                v.normal[k] = static_cast<float>(d[k]);
            }
            verts.push_back(v);
        }
        tris.resize(verts.size() / 3);
        for (size_t n = 0; n < verts.size(); ++n)
            tris[n / 3].verts[n % 3] = &verts[n];
        mesh.verts = verts.data();
        mesh.nverts = static_cast<int>(verts.size());
        mesh.tris = tris.data();
        mesh.ntris = static_cast<int>(tris.size());
    }
};

// Primitives captured in GL feedback mode, each its corners (one for a point, two for a line
// piece, three for a triangle) with window x, y, texture s, t and colour r, g, b.
using Primitive = std::vector<std::array<float, 7>>;
std::vector<Primitive> capture(const std::function<void()>& draw) {
    std::vector<GLfloat> buf(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D_COLOR_TEXTURE, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    std::vector<Primitive> out;
    for (GLint k = 0; k < n;) {
        const auto token = static_cast<GLint>(buf[k++]);
        const bool polygon = token == GL_POLYGON_TOKEN;
        if (!polygon && token != GL_POINT_TOKEN && token != GL_LINE_TOKEN &&
            token != GL_LINE_RESET_TOKEN) {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
        out.emplace_back(polygon ? static_cast<size_t>(buf[k++]) : token == GL_POINT_TOKEN ? 1 : 2);
        for (auto& c : out.back()) {
            c = {buf[k], buf[k + 1], buf[k + 7], buf[k + 8], buf[k + 3], buf[k + 4], buf[k + 5]};
            k += 11;
        }
    }
    return out;
}
// The number of primitives with that many corners, each of them wholly in colour rgb if given.
int count(const std::vector<Primitive>& ps, size_t corners,
          std::optional<std::array<float, 3>> rgb = {}) {
    return static_cast<int>(std::count_if(ps.begin(), ps.end(), [&](const Primitive& p) {
        return p.size() == corners && std::all_of(p.begin(), p.end(), [&](auto& c) {
                   return !rgb || (c[4] == (*rgb)[0] && c[5] == (*rgb)[1] && c[6] == (*rgb)[2]);
               });
    }));
}
// Texture coordinate c (2: s, 3: t) of the corners of a polygon, sorted.
std::vector<float> sorted(const Primitive& p, int c) {
    std::vector<float> out;
    for (auto& v : p)
        out.push_back(v[static_cast<size_t>(c)]);
    std::sort(out.begin(), out.end());
    return out;
}
// A line piece from (u1, v1) to (u2, v2) of the plane z = 0, in either direction, within tol px.
bool segment(const Primitive& p, double u1, double v1, double u2, double v2, double tol) {
    auto at = [&](size_t k, double u, double v) {
        return std::abs(p[k][0] - win(u)) <= tol && std::abs(p[k][1] - win(v)) <= tol;
    };
    return p.size() == 2 && ((at(0, u1, v1) && at(1, u2, v2)) || (at(0, u2, v2) && at(1, u1, v1)));
}

class RenderTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        view = new GLWidget;
        view->resize(2 * side, side);
        view->show();
        ASSERT_TRUE(waitUntil([] { return view->framesPainted() > 0; }));
    }
    static void TearDownTestSuite() { delete view; }

    // The left view's camera and orientation.
    void SetUp() override {
        view->makeCurrent();
        glViewport(0, 0, side, side);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        camera::_instance.setupCamera();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        quatidentity(ab_quat);
        setMapSize(72, 36);
    }
    void TearDown() override { renderer.releaseBuffers(); }

    // The map size seen by the renderer and the conversions.
    static void setMapSize(int W, int H) {
        textureManager::_instance.mapWidth = coordinateTransform::_instance.mapWidth = W;
        textureManager::_instance.mapHeight = coordinateTransform::_instance.mapHeight = H;
    }

    geometryRenderer renderer{9.9f};
    static GLWidget* view;
};
GLWidget* RenderTest::view = nullptr;

} // namespace

TEST(SeamHelpers, RepairTowardsTheFirstCornerAndCrossingHeight) {
    EXPECT_EQ(geometryRenderer::seamRepaired(0.95f, 0.02f), 0.02f + 1);
    EXPECT_EQ(geometryRenderer::seamRepaired(0.05f, 0.97f), 0.97f - 1);
    // Same side, or a first corner in the middle: unchanged.
    for (auto [s0, s] : {std::pair{0.95f, 0.97f}, {0.05f, 0.5f}, {0.5f, 0.02f}, {0.5f, 0.97f}})
        EXPECT_EQ(geometryRenderer::seamRepaired(s0, s), s) << s0 << " " << s;
    EXPECT_FLOAT_EQ(geometryRenderer::seamCrossingHeight(13, 1, -13, 5, 14), 3);
    EXPECT_FLOAT_EQ(geometryRenderer::seamCrossingHeight(12, 0, -13, 6, 14), 4);
    // Both ends on the edges (the same meridian): a finite height, the first end's.
    EXPECT_FLOAT_EQ(geometryRenderer::seamCrossingHeight(14, 2, -14, 4, 14), 2);
    EXPECT_FLOAT_EQ(geometryRenderer::seamCrossingHeight(-14, 2, 14, 4, 14), 2);
}

TEST_F(RenderTest, SphereTextureCoordinatesRepairTheSeamFollowTheMapSizeAndFitOneCellMaps) {
    // s = i / (W - 1), t = j / (H - 1) of each corner's cell. A triangle across the seam (first
    // corner near the right edge) takes its left corner one map width on. A buffer built for one
    // map size is not reused for another; a map one cell wide or high has the single coordinate 0.
    const CellTriangles tris({{20, 10}, {22, 10}, {21, 12}, {68, 17}, {1, 19}, {69, 18}});
    const Smesh& mesh = tris.mesh;
    glDisable(GL_CULL_FACE);
    renderer.meshLoaded(mesh);
    struct Case {
        int W, H, s[3], t[3];
    };
    for (const Case& c :
         {Case{72, 36, {20, 21, 22}, {10, 10, 12}}, Case{36, 18, {10, 11, 11}, {5, 5, 6}},
          Case{1, 36, {0, 0, 0}, {10, 10, 12}}, Case{72, 1, {20, 21, 22}, {0, 0, 0}},
          Case{1, 1, {0, 0, 0}, {0, 0, 0}}})
        for (bool buffers : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " buffers " << buffers);
            setMapSize(c.W, c.H);
            renderer.useBuffers = buffers;
            const auto ps = capture([&] { renderer.drawSphereGeometry(mesh); });
            ASSERT_EQ(ps.size(), 2u);
            auto expected = [](const int* k, int n) {
                std::vector<float> out;
                for (int i = 0; i < 3; ++i)
                    out.push_back(n > 1 ? static_cast<float>(k[i]) / static_cast<float>(n - 1)
                                        : 0.0f);
                return out;
            };
            EXPECT_EQ(sorted(ps[0], 2), expected(c.s, c.W));
            EXPECT_EQ(sorted(ps[0], 3), expected(c.t, c.H));
            if (c.W != 72 || c.H != 36) continue;
            EXPECT_EQ(sorted(ps[1], 2),
                      (std::vector<float>{68.0f / 71, 69.0f / 71, 1.0f / 71 + 1}));
            EXPECT_EQ(sorted(ps[1], 3), (std::vector<float>{17.0f / 35, 18.0f / 35, 19.0f / 35}));
        }
    EXPECT_EQ(renderer.bufferCount(), 1);
}

TEST_F(RenderTest, PathsOnTheFlatMapBreakAtJumpsAndSplitAtTheSeamAndCloseOnTheSphere) {
    auto cell = [](int i, int j) {
        return PathPoint{static_cast<float>(2 * M_PI * i / 72 - M_PI),
                         static_cast<float>(M_PI * j / 36)};
    };
    auto u = [](int i) { return 28.0 * (i / 72.0 - 0.5); };
    auto v = [](int j) { return -28.0 * (j / 36.0 - 0.5); };
    auto& path = viewPath::_instance.pathPoints;
    // Columns 10, 12, 14, a jump of 21 columns (8.2 units > 7), 35, 37; the closing step from 37
    // back to 10 is 10.5 units (< 14) and drawn straight. The turntable never breaks.
    for (int i : {10, 12, 14, 35, 37})
        path.push_back(cell(i, 12));
    viewPath::_instance.turntablePoints = path;
    auto lines = capture([&] { renderer.drawPathOnQuad(); });
    ASSERT_EQ(count(lines, 2), 4);
    for (auto [k, a, b] : {std::tuple{0, 10, 12}, {1, 12, 14}, {2, 35, 37}, {3, 37, 10}})
        EXPECT_TRUE(segment(lines[size_t(k)], u(a), v(12), u(b), v(12), 0.01)) << k;
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) && glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(count(capture([&] { renderer.drawTurnpathOnQuad(); }), 2), 5);
    // On the sphere every path is a closed loop.
    EXPECT_EQ(count(capture([&] { renderer.drawPathOnSphere(); }), 2), 5);

    // Columns 4, 10, ..., 70 in steps of 6, rows 10 to 21; the closing step from column 70
    // (u = 13.22) to column 4 (u = -12.44) crosses the seam and is split at the edges.
    path.clear();
    for (int k = 0; k < 12; ++k)
        path.push_back(cell(4 + 6 * k, 10 + k));
    lines = capture([&] { renderer.drawPathOnQuad(); });
    ASSERT_EQ(count(lines, 2), 13);
    const double u1 = u(70), v1 = v(21), u2 = u(4), v2 = v(10);
    const double vc = v1 + (v2 - v1) * (14 - std::abs(u1)) / (28 - std::abs(u1) - std::abs(u2));
    // The ends on the edges lie 0.2 px outside the view and come back clipped: within 1 px.
    EXPECT_TRUE(segment(lines[11], u1, v1, 14, vc, 1.0));
    EXPECT_TRUE(segment(lines[12], -14, vc, u2, v2, 1.0));
}

// A path of a million points (a long recording played as an orbit) is drawn from thinned,
// buffered strips; the pixels match those of every point drawn one by one, but for a handful.
TEST_F(RenderTest, AMillionPointPathLooksTheSameAsEveryPointDrawn) {
    auto& path = viewPath::_instance.pathPoints;
    path.clear();
    const int n = 1000000;
    for (int k = 0; k < n; ++k)
        path.push_back({static_cast<float>(2.5 * std::sin(k * 10 * M_PI / n)),
                        static_cast<float>(0.3 + 2.5 * k / n)});
    coordinateTransform& ct = coordinateTransform::_instance;
    auto pixels = [&](const std::function<void()>& draw) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor3f(1, 1, 1);
        draw();
        std::vector<unsigned char> rgba(4 * side * side);
        glReadPixels(0, 0, side, side, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    };
    auto everyPoint = [&](bool sphere) {
        glDisable(GL_LIGHTING);
        glLineWidth(1.5f);
        glBegin(GL_LINE_STRIP);
        for (size_t k = 0; k <= path.size(); ++k) {
            const PathPoint& p = path[k % path.size()];
            vec out(0, 0, 0);
            float u, v;
            ct.sphericalToDrawPos(p.theta, p.phi, u, v);
            if (sphere) ct.sphericalToCartesian(out, vec(10.1f, p.theta, p.phi));
            glVertex3f(sphere ? float(out.x) : u, sphere ? float(out.y) : v, float(out.z));
        }
        glEnd();
    };
    for (const bool sphere : {false, true}) {
        const auto thinned =
            pixels([&] { sphere ? renderer.drawPathOnSphere() : renderer.drawPathOnQuad(); });
        const auto reference = pixels([&] { everyPoint(sphere); });
        int lit = 0, differ = 0;
        for (size_t k = 0; k < thinned.size(); k += 4) {
            lit += reference[k] > 0;
            differ += std::abs(int(thinned[k]) - int(reference[k])) > 64;
        }
        EXPECT_GT(lit, 3000) << sphere;
        EXPECT_LT(differ, lit / 200) << sphere << ": " << differ << " of " << lit;
    }
    path.clear();
}

TEST_F(RenderTest, TrailsBendOntoTheSphereAndSplitAtTheFlatMapSeam) {
    ExtTrackball& t = ExtTrackball::_instance;
    // Steps shorter than 0.01 add nothing; three points bring the start marker.
    t.viewpointTrail = {vec(0, 0, 1), vec(std::sin(0.005), 0, std::cos(0.005)),
                        vec(std::sin(0.009), 0, std::cos(0.009))};
    auto ps = capture([&] { renderer.drawThrowPathonSphere(); });
    // The thrown view's trail is magenta with a black start marker, the plain drag's black.
    constexpr std::array<float, 3> magenta{1, 0, 1}, black{0, 0, 0};
    EXPECT_EQ(count(ps, 2, magenta), 2);
    EXPECT_EQ(count(ps, 1, black), 1);
    // The plain-drag trail has no start marker. Directions 90 degrees (1.414) apart: the first,
    // extra points at t = 0.01 .. 0.99 of the chord (not running on past the next point), then
    // the second: 100 pieces.
    t.stdDragTrail = {vec(0, 0, 1), vec(1, 0, 0)};
    ps = capture([&] { renderer.drawStdThrowPathonSphere(); });
    EXPECT_EQ(count(ps, 1), 0);
    EXPECT_EQ(count(ps, 2, black), 100);

    // On a 28 x 14 map columns 27 and 1 lie at u = 13 and -13, rows 7 and 5 at v = 0 and 4; the
    // step between them crosses the seam at v = 0 + 4 * (14 - 13) / (28 - 13 - 13) = 2.
    setMapSize(28, 14);
    vec p, q;
    coordinateTransform::_instance.ArrayIndexToCartesian(27, 7, p);
    coordinateTransform::_instance.ArrayIndexToCartesian(1, 5, q);
    t.viewpointTrail = {p, q};
    ps = capture([&] { renderer.drawThrowPathonTexture(); });
    ASSERT_EQ(count(ps, 2, magenta), 2);
    EXPECT_TRUE(segment(ps[0], 13, 0, 14, 2, 0.5));
    EXPECT_TRUE(segment(ps[1], -14, 2, -13, 4, 0.5));
    // Two points already bring the start marker on the flat map, at the trail's start.
    ASSERT_EQ(count(ps, 1, black), 1);
    EXPECT_NEAR(ps[2][0][0], win(13), 0.01);
    EXPECT_NEAR(ps[2][0][1], win(0), 0.01);
}

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
