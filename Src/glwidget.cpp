#include "glwidget.h"

#include "Geometry.h"
#include "RenderingSetting.h"
#include "extTrackball.h"
#include "geometryRenderer.h"
#include "meshOpener.h"
#include "textureManager.h"
#include "viewPath.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QTimer>

#include <GL/gl.h>

#include <climits>
#include <cmath>

GLWidget* GLWidget::active = nullptr;

namespace {
// A release this long after the last motion of the pointer throws nothing.
constexpr qint64 restMs = 100;
} // namespace

GLWidget::GLWidget(QWidget* parent) : QOpenGLWidget(parent) {
    idleTimer = new QTimer(this);
    connect(idleTimer, &QTimer::timeout, this, &GLWidget::idle);
    idleTimer->start(20);
    geometry = new Geometry;
    renderer = new geometryRenderer(geometry->sphereRadius);
    active = this;
}

GLWidget::~GLWidget() {
    if (active == this) active = nullptr;
    // The base class destroys the context after this body; by then there is no renderer to
    // release buffers from.
    if (context()) disconnect(context(), nullptr, this, nullptr);
    makeCurrent();
    renderer->releaseBuffers();
    delete geometry;
    delete renderer;
    geometry = nullptr;
    renderer = nullptr;
    doneCurrent();
}

void GLWidget::setNudgeStrength(int v) {
    ExtTrackball::_instance.nudgeStrength = static_cast<float>(v / 100.0);
}

void GLWidget::initializeGL() {
    // A new context (first show, or a move to another window) holds none of the old buffers.
    renderer->forgetBuffers();
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GLWidget::contextGoing,
            Qt::UniqueConnection);

    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(1, 1, 1, 1);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_NORMALIZE);
    setupLighting();

    geometry->loadSphere();
    loadSelectedModel(*geometry);
    renderer->meshLoaded(geometry->sphere);
    renderer->meshLoaded(geometry->model);
    ExtTrackball::_instance.init();
}

void GLWidget::contextGoing() {
    makeCurrent();
    renderer->releaseBuffers();
    doneCurrent();
}

void GLWidget::meshesChanged() {
    makeCurrent();
    renderer->releaseBuffers();
    renderer->meshLoaded(geometry->sphere);
    renderer->meshLoaded(geometry->model);
    doneCurrent();
    update();
}

void GLWidget::setupLighting() {
    geometryRenderer::setupLights();
}

void GLWidget::resizeGL(int w, int h) {
    width = w;
    height = h;
    reset_view();
}

void GLWidget::reset_view() {
    camera& cam = camera::_instance;
    glViewport(0, height - half(), half(), half());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    cam.setupCamera();
    ExtTrackball::_instance.setzoom(-0.5f, cam.eye, cam.up);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void GLWidget::orbitStep() {
    RenderingSetting& settings = RenderingSetting::_instance;
    if (!orbitClock.isValid()) orbitClock.start();
    const qint64 ms = orbitClock.elapsed();
    const auto n = static_cast<long long>(viewPath::_instance.pathPoints.size());
    // Without a stored path there is nothing to play; the turntable is built from the same path.
    if (n == 0) return;
    const float scaled = static_cast<float>(ms * 1.5);
    const float frames = std::floor(scaled / static_cast<float>(n));
    // After weeks of playback the frame number would leave int; it stops there instead.
    const int frame = frames < static_cast<float>(INT_MAX) ? static_cast<int>(frames) : INT_MAX;
    if (settings.orbitType == 1)
        ExtTrackball::_instance.moveOnViewpath(frame);
    else
        ExtTrackball::_instance.moveOnTurntable(frame);
}

void GLWidget::paintGL() {
    RenderingSetting& settings = RenderingSetting::_instance;
    ExtTrackball& trackball = ExtTrackball::_instance;
    camera& cam = camera::_instance;

    if (settings.modelChanged) {
        settings.modelChanged = false;
        loadSelectedModel(*geometry);
        renderer->meshLoaded(geometry->model);
        trackball.init();
        trackball.viewpointTrail.clear();
    }

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // Left view: the model.
    glViewport(0, height - half(), half(), half());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    cam.setupCamera();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (settings.applicationMode == 3) orbitStep();
    renderer->drawScene(geometry->model);

    // Right view: the sphere or the flat map, under the same projection.
    glViewport(half(), height - half(), half(), half());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (settings.displayMode != 0) {
        renderer->drawTexture();
        if (settings.showPaths) {
            glColor3f(0, 0, 0);
            renderer->drawTurnpathOnQuad();
            glColor3f(1, 0, 1);
            renderer->drawPathOnQuad();
            glColor3f(1, 1, 1);
        }
    } else {
        renderer->drawSphere(geometry->sphere);
        if (settings.showPaths) {
            glColor3f(0, 0, 0);
            renderer->drawTurnpathOnSphere();
            glColor3f(1, 0, 1);
            renderer->drawPathOnSphere();
            glColor3f(1, 1, 1);
        }
    }

    glViewport(half(), height - half(), half(), half());
    glLoadIdentity();
    if (settings.displayMode == 0) {
        renderer->drawCenterIndicator();
        if (settings.applicationMode == 1) {
            renderer->drawThrowPathonSphere();
            renderer->drawStdThrowPathonSphere();
        }
    } else {
        renderer->drawTexturePositionIndicator();
        if (settings.applicationMode == 1) {
            renderer->drawThrowPathonTexture();
            renderer->drawStdThrowPathonTexture();
        }
    }
    glColor3f(1, 1, 1);

    if (settings.saveViewpath) settings.viewpathRecorder->saveViewPath();
    ++frameCount;
    painted = sceneState();
}

GLWidget::SceneState GLWidget::sceneState() {
    const RenderingSetting& settings = RenderingSetting::_instance;
    const ExtTrackball& trackball = ExtTrackball::_instance;
    const viewPath& path = viewPath::_instance;
    SceneState s{};
    s.applicationMode = settings.applicationMode;
    s.displayMode = settings.displayMode;
    s.orbitType = settings.orbitType;
    s.selectedModel = settings.selectedModel;
    s.selectedAttribute = settings.selectedAttribute;
    s.showPaths = settings.showPaths;
    s.modelChanged = settings.modelChanged;
    std::copy(ab_quat, ab_quat + 16, s.orientation);
    // Trails only grow at their end or start afresh.
    s.trail = trackball.viewpointTrail.size();
    s.stdTrail = trackball.stdDragTrail.size();
    if (s.trail) s.trailEnd = trackball.viewpointTrail.back();
    if (s.stdTrail) s.stdTrailEnd = trackball.stdDragTrail.back();
    s.pathData = path.pathPoints.data();
    s.turntableData = path.turntablePoints.data();
    s.pathSize = path.pathPoints.size();
    s.turntableSize = path.turntablePoints.size();
    s.pathIndex = path.currentIndex;
    s.textureId = textureManager::_instance.textureId;
    s.mapData = textureManager::_instance.mapData;
    return s;
}

bool GLWidget::animating() const {
    const RenderingSetting& settings = RenderingSetting::_instance;
    // Playback follows the clock and recording writes a line per frame, changed or not. Without
    // a stored path nothing plays.
    const bool playing = settings.applicationMode == 3 && settings.playing &&
                         !viewPath::_instance.pathPoints.empty();
    return playing || settings.saveViewpath;
}

bool GLWidget::texturePosition(QPoint p, float& u, float& v) const {
    const int q = half() / 2;
    const int column = p.x() - half();
    // A square narrower than two pixels has no map: q is 0 and both come out NaN or infinite,
    // which the range check rejects.
    u = static_cast<float>(column - q) / static_cast<float>(q);
    v = static_cast<float>(p.y() - q) / static_cast<float>(q);
    return u >= -1 && u <= 1 && v >= -1 && v <= 1;
}

void GLWidget::mousePressEvent(QMouseEvent* e) {
    RenderingSetting& settings = RenderingSetting::_instance;
    ExtTrackball& trackball = ExtTrackball::_instance;
    const QPoint p = e->position().toPoint();
    lastPos = currentPos = pressPos = p;
    sinceMotion.start();
    if (settings.applicationMode != 3) {
        makeCurrent();
        reset_view();
        settings.throwing = false;
        trackball.firstThrowStep = true;
        trackball.averageSpeed = 0;
        trackball.clearMousePath();
        trackball.recordMousePath(p.x(), p.y());
        trackball.viewpointTrail.assign(1, vec(ab_quat[2], ab_quat[6], ab_quat[10]));
        if (p.x() <= half()) {
            trackball.start(p.x(), half() - p.y() - 1);
        } else if (settings.displayMode == 1) {
            float u, v;
            if (texturePosition(p, u, v)) trackball.moveontexture(u, v);
        } else {
            glViewport(half(), height - half(), half(), half());
            trackball.start(p.x() - half(), half() - p.y() - 1);
        }
        doneCurrent();
    }
    update();
}

void GLWidget::mouseMoveEvent(QMouseEvent* e) {
    RenderingSetting& settings = RenderingSetting::_instance;
    ExtTrackball& trackball = ExtTrackball::_instance;
    const QPoint p = e->position().toPoint();
    currentPos = p;
    if (p != lastPos) sinceMotion.start();
    trackball.recordMousePath(p.x(), p.y());
    const double dx = p.x() - lastPos.x();
    const double dy = p.y() - lastPos.y();
    if (settings.applicationMode == 3) {
        viewPath& path = viewPath::_instance;
        const auto n = static_cast<long long>(path.pathPoints.size());
        // With no path loaded there is nothing to scrub.
        if (n > 0) {
            const float d = std::sqrt(static_cast<float>(dx * dx + dy * dy));
            const float steps = d * 6.0f / static_cast<float>(n);
            const long long s = static_cast<long long>(steps + 0.5);
            long long i = path.currentIndex;
            i = dx > 0 ? i - s : i + s;
            // A fast drag over a short path can step more than once round it.
            i %= n;
            if (i < 0) i += n;
            path.currentIndex = static_cast<int>(i);
        }
    } else if (pressPos.x() <= half()) {
        trackball.standardTrackballMove(p.x(), half() - p.y() - 1);
        trackball.nudgedMove(p.x(), half() - p.y() - 1);
    } else if (settings.displayMode != 1) {
        makeCurrent();
        glViewport(half(), height - half(), half(), half());
        doneCurrent();
        trackball.standardTrackballMove(p.x() - half(), half() - p.y() - 1);
        trackball.nudgedMove(p.x() - half(), half() - p.y() - 1);
    } else {
        float u, v;
        if (texturePosition(p, u, v)) trackball.moveontexture(u, v);
    }
    lastPos = p;
    update();
}

void GLWidget::mouseReleaseEvent(QMouseEvent* e) {
    RenderingSetting& settings = RenderingSetting::_instance;
    ExtTrackball& trackball = ExtTrackball::_instance;
    trackball.throwStepCount = 0;
    currentPos = e->position().toPoint();
    trackball.viewpointTrail.clear();
    trackball.stdDragTrail.clear();
    // The speed estimate reads the last positions, not when they were reached: after a rest it
    // would throw a pointer that no longer moves.
    const bool rested = sinceMotion.isValid() && sinceMotion.elapsed() > restMs;
    settings.throwing = !rested;
    if (rested) {
        trackball.predictedThrowPath.clear();
    } else {
        trackball.calculateThrowPath();
        trackball.startStdThrow();
    }
    update();
}

void GLWidget::idle() {
    ++tickCount;
    RenderingSetting& settings = RenderingSetting::_instance;
    const bool flatMapDrag = pressPos.x() > half() && settings.displayMode == 1;
    if (settings.applicationMode == 1 && settings.throwing && !flatMapDrag) {
        ExtTrackball::_instance.calStdThrow();
        ExtTrackball::_instance.nudgedThrow();
    }
    if (paintEveryTick || animating() || !(sceneState() == painted)) update();
}

ViewContext::ViewContext() {
    GLWidget* candidate = GLWidget::activeView();
    if (candidate && candidate->context() && candidate->context()->isValid()) {
        view = candidate;
        view->makeCurrent();
    }
}

ViewContext::~ViewContext() {
    if (!view) return;
    view->doneCurrent();
    // The GL objects made here are the view's to draw.
    view->update();
}
