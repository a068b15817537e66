#include "geometryRenderer.h"
// placeholder: being written
void geometryRenderer::drawScene(const Smesh&) {}
void geometryRenderer::drawSmesh(const Smesh&) {}
void geometryRenderer::drawSphere(const Smesh&) {}
void geometryRenderer::drawSphereGeometry(const Smesh&) {}
void geometryRenderer::drawTexture() {}
void geometryRenderer::drawCenterIndicator() {}
void geometryRenderer::drawPathOnSphere() {}
void geometryRenderer::drawTurnpathOnSphere() {}
void geometryRenderer::drawPathOnQuad() {}
void geometryRenderer::drawTurnpathOnQuad() {}
void geometryRenderer::drawTexturePositionIndicator() {}
void geometryRenderer::drawThrowPathonSphere() {}
void geometryRenderer::drawStdThrowPathonSphere() {}
void geometryRenderer::drawThrowPathonTexture() {}
void geometryRenderer::drawStdThrowPathonTexture() {}
