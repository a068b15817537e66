#pragma once
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QPoint>

class Geometry;
class geometryRenderer;
class QTimer;

// The OpenGL view: the model in the left square, the view sphere or the flat goodness map in the
// right square. Owns the geometry and the renderer, routes the mouse to the trackball and
// repaints on a 20 ms timer that also advances throws.
class GLWidget : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit GLWidget(QWidget* parent = nullptr);
    ~GLWidget() override;

    void reset_view();
    void setupLighting();

    Geometry* geometryData() const { return geometry; }

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

private:
    QPoint lastPos{0, 0};
    QPoint currentPos{0, 0};
    QPoint pressPos{0, 0};
    Geometry* geometry = nullptr;
    geometryRenderer* renderer = nullptr;
    QTimer* idleTimer = nullptr;
    int width = 0;
    int height = 0;
    QElapsedTimer orbitClock; // invalid until the first Orbit-mode frame; monotonic
};
