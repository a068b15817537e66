#pragma once
#include "extTrackball.h"

#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QPoint>

#include <algorithm>
#include <cstddef>

class Geometry;
class geometryRenderer;
class QTimer;

// The OpenGL view: the model in the left square, the view sphere or the flat goodness map in the
// right square, both squares as large as the widget holds whole. Owns the geometry and the
// renderer and routes the mouse to the trackball. A 20 ms timer advances throws and repaints
// when the picture can have changed: a throw, orbit playback, recording, a pending model load or
// anything else the frame shows changed since the last one.
class GLWidget : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit GLWidget(QWidget* parent = nullptr);
    ~GLWidget() override;

    void reset_view();
    void setupLighting();

    Geometry* geometryData() const { return geometry; }
    geometryRenderer* rendererData() const { return renderer; }

    // The meshes of the geometry were replaced from outside the paint handler (a benchmark or a
    // tool loading its own file): drop the draw buffers built for the old ones.
    void meshesChanged();

    // Frames painted so far; one view-path line is recorded per frame while recording is on.
    long long framesPainted() const { return frameCount; }
    // Timer ticks handled so far.
    long long ticks() const { return tickCount; }
    // Paints on every tick, changed or not, as a measure of what painting costs.
    void setPaintEveryTick(bool on) { paintEveryTick = on; }

    // The view of the running program, or null while there is none.
    static GLWidget* activeView() { return active; }

public slots:
    void setNudgeStrength(int v);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private slots:
    void idle();
    void contextGoing();

private:
    // Everything the frame shows, to tell whether a tick has anything new to paint.
    struct SceneState {
        int applicationMode, displayMode, orbitType, selectedModel, selectedAttribute;
        bool showPaths, modelChanged;
        double orientation[16];
        size_t trail, stdTrail;
        vec trailEnd, stdTrailEnd;
        const void *pathData, *turntableData;
        size_t pathSize, turntableSize;
        int pathIndex;
        unsigned textureId;
        const float* mapData;
        bool operator==(const SceneState&) const = default;
    };
    static SceneState sceneState();
    bool animating() const;

    // The side of each square: half the width, at most the height, so both are whole.
    int half() const { return std::min(width / 2, height); }
    void orbitStep();
    // Flat-map coordinates of a widget position; false when it lies outside the map square.
    bool texturePosition(QPoint p, float& u, float& v) const;

    QPoint lastPos{0, 0};
    QPoint currentPos{0, 0};
    QPoint pressPos{0, 0};
    Geometry* geometry = nullptr;
    geometryRenderer* renderer = nullptr;
    QTimer* idleTimer = nullptr;
    int width = 0;
    int height = 0;
    QElapsedTimer orbitClock;  // invalid until the first Orbit-mode frame; monotonic
    QElapsedTimer sinceMotion; // restarted at a press and at every move that changes the position
    long long frameCount = 0;
    long long tickCount = 0;
    bool paintEveryTick = false;
    SceneState painted{};

    static GLWidget* active;
};

// Makes the view's GL context current while it lives, when there is a view with a context.
// Code outside the view's GL handlers that creates or deletes GL objects the view draws with
// (the goodness texture) does so inside one of these; without a view it does nothing.
class ViewContext {
public:
    ViewContext();
    ~ViewContext();
    ViewContext(const ViewContext&) = delete;
    ViewContext& operator=(const ViewContext&) = delete;

private:
    GLWidget* view = nullptr;
};
