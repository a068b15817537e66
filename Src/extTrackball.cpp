#include "extTrackball.h"

#include "textureManager.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cassert>
#include <cmath>

// ---- placeholder trackball: being written
double ab_quat[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_last[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_next[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_temp[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_temp2[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_glp[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_glm[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
int ab_glv[4] = {0, 0, 0, 0};
void quatidentity(double*) {}
void quatcopy(double*, const double*) {}
void quaternionToMatrix(double, double, double, double) {}
void composeWithNext(double*, const double*) {}
void rotationBetween(vec, vec) {}
ExtTrackball::ExtTrackball() {}
ExtTrackball::~ExtTrackball() {}
void ExtTrackball::init() {}
void ExtTrackball::reset() {}
void ExtTrackball::rotate() {}
void ExtTrackball::setzoom(float, vec, vec) {}
vec ExtTrackball::planar_coords(double, double) { return {}; }
void ExtTrackball::start(int, int) {}
void ExtTrackball::updateRotationMatrix(vec, vec, double*) {}
void ExtTrackball::fixup() {}
void ExtTrackball::handleBoundaryIndices(int&, int&) {}
void ExtTrackball::recordMousePath(int, int) {}
void ExtTrackball::clearMousePath() {}
void ExtTrackball::calculateMotionChange() {}
void ExtTrackball::standardTrackballMove(int, int) {}
void ExtTrackball::startStdThrow() {}
void ExtTrackball::calStdThrow() {}
void ExtTrackball::nudgedMove(int, int) {}
void ExtTrackball::nudgedThrow() {}
void ExtTrackball::calculateThrowPath() {}
void ExtTrackball::move(vec) {}
void ExtTrackball::moveontexture(float, float) {}
void ExtTrackball::moveOnViewpath(int) {}
void ExtTrackball::moveOnTurntable(int) {}
// ---- end of placeholder

namespace {

// Cell index of an angle fraction: round(fraction * size), half away from zero.
int roundedIndex(double value) { return static_cast<int>(std::round(value)); }

// Column and row of (theta, phi) before clamping, in double from the float angles.
void unclampedArrayIndex(float theta, float phi, int& i, int& j) {
    const textureManager& maps = textureManager::_instance;
    i = roundedIndex((static_cast<double>(theta) + M_PI) / (2 * M_PI) * maps.mapWidth);
    j = roundedIndex(static_cast<double>(phi) / M_PI * maps.mapHeight);
}

// Clamps into 0 .. size - 1; with no map loaded (size 0) the index is 0.
int clampIndex(int index, int size) {
    if (index >= size)
        index = size - 1;
    return index < 0 ? 0 : index;
}

// i / size in float; 0 while no map is loaded, so no conversion ever divides by zero.
float cellFraction(int index, int size) {
    return size > 0 ? static_cast<float>(index) / static_cast<float>(size) : 0.0f;
}

} // namespace

void coordinateTransform::cartesianToSpherical(vec& out, vec in) {
    const double r = std::sqrt(in.x * in.x + in.y * in.y + in.z * in.z);
    double theta, phi;
    if (r == 0) {
        theta = std::atan2(0.0, 0.0);
        phi = std::acos(0.0);
    } else {
        theta = std::atan2(in.y / r, in.x / r);
        phi = std::acos(in.z / r);
    }
    // Angles leave here rounded to float: the maps, the paths and the recorder all hold floats.
    out = vec(static_cast<float>(r), static_cast<float>(theta), static_cast<float>(phi));
}

void coordinateTransform::sphericalToCartesian(vec& out, vec in) {
    const double r = in.x, theta = in.y, phi = in.z;
    out = vec(r * std::cos(theta) * std::sin(phi), r * std::sin(theta) * std::sin(phi),
              r * std::cos(phi));
}

void coordinateTransform::sphericalToArrayIndex(float theta, float phi, int& i, int& j) {
    unclampedArrayIndex(theta, phi, i, j);
    // The azimuth is clamped, not wrapped: theta = pi stays in the last column.
    i = clampIndex(i, textureManager::_instance.mapWidth);
    j = clampIndex(j, textureManager::_instance.mapHeight);
}

void coordinateTransform::CartesianToArrayIndex(vec in, int& i, int& j) {
    vec sph;
    cartesianToSpherical(sph, in);
    sphericalToArrayIndex(static_cast<float>(sph.y), static_cast<float>(sph.z), i, j);
}

void coordinateTransform::ArrayIndexToCartesian(int i, int j, vec& out) {
    const float a = cellFraction(i, mapWidth);
    const float b = cellFraction(j, mapHeight);
    const double theta = static_cast<double>(static_cast<float>(2 * a)) * M_PI - M_PI;
    const double phi = static_cast<double>(b) * M_PI;
    sphericalToCartesian(out, vec(1, theta, phi));
}

void coordinateTransform::arrayIndexToDrawPos(int i, int j, float& u, float& v) {
    const textureManager& maps = textureManager::_instance;
    const double s = ExtTrackball::_instance.planeHalfSize;
    u = static_cast<float>(2 * s * (static_cast<double>(cellFraction(i, maps.mapWidth)) - 0.5));
    v = static_cast<float>(-2 * s * (static_cast<double>(cellFraction(j, maps.mapHeight)) - 0.5));
}

void coordinateTransform::sphericalToDrawPos(float theta, float phi, float& u, float& v) {
    int i, j;
    unclampedArrayIndex(theta, phi, i, j);
    arrayIndexToDrawPos(i, j, u, v);
}

float smoothstep(float x) {
    // clang-format off
    assert(x>=0 && x<=1);
    // clang-format on
    return (x * x) * (x * -2.0f + 3.0f);
}

void camera::setupCamera() {
    gluPerspective(50.0, aspect, 1.0, 50.0);
    gluLookAt(eye.x, eye.y, eye.z, center.x, center.y, center.z, up.x, up.y, up.z);
}

void camera::world2Eye() {
    glTranslatef(static_cast<float>(eye.x), static_cast<float>(eye.y), static_cast<float>(eye.z));
}
