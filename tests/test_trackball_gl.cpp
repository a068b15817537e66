// The trackball's two GL touch points with a real context: setzoom captures the projection and
// viewport the view has set up, and rotate multiplies the orientation onto the current matrix.
// Needs a display (the test command runs under Xvfb); without one the tests are skipped.
#include "trackball_util.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace tbtest;

namespace {

class TrackballGl : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == '\0') return;
        static int argc = 1;
        static char name[] = "test_trackball_gl";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
        QSurfaceFormat format;
        format.setProfile(QSurfaceFormat::CompatibilityProfile);
        surface = std::make_unique<QOffscreenSurface>();
        surface->setFormat(format);
        surface->create();
        context = std::make_unique<QOpenGLContext>();
        context->setFormat(format);
        if (!context->create() || !context->makeCurrent(surface.get())) context.reset();
    }
    static void TearDownTestSuite() {
        if (context) context->doneCurrent();
        context.reset();
        surface.reset();
        app.reset();
    }
    void SetUp() override {
        if (!context) GTEST_SKIP() << "no display for an OpenGL context";
        resetEngine();
    }
    void TearDown() override { resetEngine(); }

    static std::unique_ptr<QGuiApplication> app;
    static std::unique_ptr<QOffscreenSurface> surface;
    static std::unique_ptr<QOpenGLContext> context;
    ExtTrackball& tb = ExtTrackball::_instance;
};

std::unique_ptr<QGuiApplication> TrackballGl::app;
std::unique_ptr<QOffscreenSurface> TrackballGl::surface;
std::unique_ptr<QOpenGLContext> TrackballGl::context;

} // namespace

TEST_F(TrackballGl, SetzoomCapturesTheViewsProjectionAndViewport) {
    // The left square of a 900 x 700 widget: half = 450 at (0, 700 - 450).
    glViewport(0, 250, 450, 450);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    camera::_instance.setupCamera();
    tb.setzoom(-0.5f, camera::_instance.eye, camera::_instance.up);
    EXPECT_EQ(ab_glv[0], 0);
    EXPECT_EQ(ab_glv[1], 250);
    EXPECT_EQ(ab_glv[2], 450);
    EXPECT_EQ(ab_glv[3], 450);
    const std::array<double, 16> want = cameraProjection();
    for (int k = 0; k < 16; ++k)
        EXPECT_NEAR(ab_glp[k], want[k], 1e-5 * (1 + std::fabs(want[k]))) << k;
    EXPECT_EQ(tb.eyeDistance, 30.0f);
    EXPECT_EQ(tb.planeDistance, 15.0f);
    EXPECT_EQ(tb.out, vec(-1, 0, 0));
    // The centre of the viewport lies on the eye axis.
    const vec c = tb.planar_coords(225, 250 + 225);
    EXPECT_NEAR(c.x, 0, 1e-5);
    EXPECT_NEAR(c.y, 0, 1e-5);
    const vec r = tb.planar_coords(400, 250 + 225);
    EXPECT_LT(r.y, -5);
}

TEST_F(TrackballGl, RotateShowsTheInitialModelUpright) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    tb.init();
    tb.rotate();
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    for (int k = 0; k < 16; ++k)
        EXPECT_NEAR(m[k], ab_quat[k], 1e-7) << k;
    // Model +z goes to screen up (column 2), model -y faces the viewer (row 2 is (0, -1, 0)).
    EXPECT_NEAR(m[8], 0, 1e-7);
    EXPECT_NEAR(m[9], 1, 1e-7);
    EXPECT_NEAR(m[10], 0, 1e-7);
    EXPECT_NEAR(m[6], -1, 1e-7);

    // rotate multiplies: on top of a translation the translation stays.
    glLoadIdentity();
    glTranslated(1, 2, 3);
    tb.rotate();
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    EXPECT_NEAR(m[12], 1, 1e-7);
    EXPECT_NEAR(m[13], 2, 1e-7);
    EXPECT_NEAR(m[14], 3, 1e-7);
    EXPECT_NEAR(m[9], 1, 1e-7);
}
