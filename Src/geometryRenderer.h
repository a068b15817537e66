#pragma once
#include "geom.h"

// Draws the lit model, the textured view sphere, the flat goodness map, the markers and the
// path and trail overlays. Holds no state besides the sphere radius; every call runs inside the
// view's paint handler with its context current.
class geometryRenderer {
public:
    explicit geometryRenderer(float radius) : sphereRadius(radius) {}

    void drawScene(const Smesh& model);
    void drawSmesh(const Smesh& mesh);
    void drawSphere(const Smesh& sphere);
    void drawSphereGeometry(const Smesh& sphere);
    void drawTexture();
    void drawCenterIndicator();

    void drawPathOnSphere();
    void drawTurnpathOnSphere();
    void drawPathOnQuad();
    void drawTurnpathOnQuad();
    void drawTexturePositionIndicator();
    void drawThrowPathonSphere();
    void drawStdThrowPathonSphere();
    void drawThrowPathonTexture();
    void drawStdThrowPathonTexture();

    float sphereRadius;
};
