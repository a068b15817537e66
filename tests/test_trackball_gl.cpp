// The trackball's two GL touch points with a real context: setzoom captures the projection and
// viewport the view has set up, and rotate multiplies the orientation onto the current matrix.
// Needs a display (the test command runs under Xvfb); without one the test is skipped.
#include "trackball_util.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <GL/gl.h>

#include <cstdlib>

using namespace tbtest;
using TrackballGl = TrackballTest;

TEST_F(TrackballGl, SetzoomCapturesTheViewAndRotateMultipliesOntoTheCurrentMatrix) {
    if (std::getenv("DISPLAY") == nullptr || *std::getenv("DISPLAY") == '\0')
        GTEST_SKIP() << "no display for an OpenGL context";
    int argc = 1;
    char name[] = "test_trackball_gl";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();
    QOpenGLContext context;
    context.setFormat(format);
    ASSERT_TRUE(context.create() && context.makeCurrent(&surface));

    glViewport(0, 250, 450, 450); // the left square of a 900 x 700 widget
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    camera::_instance.setupCamera();
    std::fill(ab_glp, ab_glp + 16, 0.0);
    tb.setzoom(-0.5f, camera::_instance.eye, camera::_instance.up);
    const int viewport[] = {0, 250, 450, 450};
    const std::array<double, 16> want = cameraProjection();
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(ab_glv[k % 4], viewport[k % 4]);
        EXPECT_NEAR(ab_glp[k], want[k], 1e-5 * (1 + std::fabs(want[k]))) << k;
    }

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslated(1, 2, 3);
    tb.init();
    tb.rotate();
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    for (int k = 0; k < 16; ++k) // the orientation, after the translation
        EXPECT_NEAR(m[k], k < 12 ? ab_quat[k] : k == 15 ? 1 : k - 11, 1e-7) << k;
    context.doneCurrent();
}
