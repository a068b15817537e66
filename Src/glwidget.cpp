#include "glwidget.h"
// placeholder: being written
GLWidget::GLWidget(QWidget* parent) : QOpenGLWidget(parent) {}
GLWidget::~GLWidget() {}
void GLWidget::reset_view() {}
void GLWidget::setupLighting() {}
void GLWidget::setNudgeStrength(int) {}
void GLWidget::initializeGL() {}
void GLWidget::resizeGL(int, int) {}
void GLWidget::paintGL() {}
void GLWidget::mousePressEvent(QMouseEvent*) {}
void GLWidget::mouseMoveEvent(QMouseEvent*) {}
void GLWidget::mouseReleaseEvent(QMouseEvent*) {}
void GLWidget::idle() {}
