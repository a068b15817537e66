#include "extTrackball.h"

#include "RenderingSetting.h"
#include "textureManager.h"
#include "viewPath.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cassert>
#include <cmath>

double ab_quat[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_last[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_next[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_temp[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_temp2[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_glp[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
double ab_glm[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
int ab_glv[4] = {0, 0, 0, 0};

void quatidentity(double* m) {
    for (int k = 0; k < 16; ++k)
        m[k] = (k % 5 == 0) ? 1.0 : 0.0;
}

void quatcopy(double* dst, const double* src) {
    static const int block[9] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
    for (int k : block)
        dst[k] = src[k];
}

void quaternionToMatrix(double x, double y, double z, double w) {
    ab_next[0] = 1 - 2 * y * y - 2 * z * z;
    ab_next[1] = 2 * x * y + 2 * z * w;
    ab_next[2] = 2 * x * z - 2 * y * w;
    ab_next[4] = 2 * x * y - 2 * z * w;
    ab_next[5] = 1 - 2 * x * x - 2 * z * z;
    ab_next[6] = 2 * y * z + 2 * x * w;
    ab_next[8] = 2 * x * z + 2 * y * w;
    ab_next[9] = 2 * y * z - 2 * x * w;
    ab_next[10] = 1 - 2 * x * x - 2 * y * y;
}

void composeWithNext(double* dest, const double* left) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            dest[4 * r + c] = left[4 * r] * ab_next[c] + left[4 * r + 1] * ab_next[4 + c] +
                              left[4 * r + 2] * ab_next[8 + c];
}

void rotationBetween(vec a, vec b) {
    const double d = dot(a, b);
    // For unit vectors d lies in [-1, 1], but the dot product can round just past either end;
    // a negative radicand would turn the whole orientation into NaN.
    const double oneMinus = 1 - d;
    const double onePlus = 1 + d;
    const double s = std::sqrt((oneMinus < 0 ? 0.0 : oneMinus) * 0.5);
    const double c = std::sqrt((onePlus < 0 ? 0.0 : onePlus) * 0.5);
    const vec n = cross(a, b).unit();
    quaternionToMatrix(n.x * s, n.y * s, n.z * s, c);
}

namespace {

// Everything beyond this many cells from the map is brought back by whole map widths (or clamped
// for rows) before it is turned into an int, so no conversion can overflow.
constexpr double kFarIndex = 1e9;
// A gradient sampling never takes more samples than this, whatever the step length.
constexpr int kMaxSamples = 1 << 20;

const vec kEyeAxis(0, 0, 1);
const vec kScreenUp(0, 1, 0);

vec viewingDirection(const double* m) {
    return vec(m[2], m[6], m[10]);
}

// Column index from a double that has already been truncated or rounded to a whole number.
// Subtracting whole map widths from a whole number is exact, so the wrapped column is the one
// that the plain conversion would have given.
int columnFromWhole(double column, int width) {
    if (std::isnan(column)) return 0;
    if (std::fabs(column) >= kFarIndex) column = std::fmod(column, width);
    return static_cast<int>(column);
}

int rowFromWhole(double row) {
    if (std::isnan(row)) return 0;
    if (row >= kFarIndex) return static_cast<int>(kFarIndex);
    if (row <= -kFarIndex) return -static_cast<int>(kFarIndex);
    return static_cast<int>(row);
}

int truncatedColumn(double column, int width) {
    return columnFromWhole(std::trunc(column), width);
}
int truncatedRow(double row) {
    return rowFromWhole(std::trunc(row));
}
int roundedColumn(double column, int width) {
    return columnFromWhole(std::round(column), width);
}
int roundedRow(double row) {
    return rowFromWhole(std::round(row));
}

// The three floats of cell (i, j); the indices are inside the map.
const float* cellAt(int column, int row) {
    const textureManager& maps = textureManager::_instance;
    return maps.mapData + 3 * (static_cast<long>(row) * maps.mapWidth + column);
}

float goodnessAt(int column, int row) {
    return cellAt(column, row)[0];
}
float gradientAngleAt(int column, int row) {
    return cellAt(column, row)[2];
}

// The map-space gradient (m cos a, -m sin a) of a cell, each product in float.
vec gradientAt(int column, int row) {
    const float* cell = cellAt(column, row);
    const float m = cell[1];
    const float a = cell[2];
    const float gx = m * std::cos(a);
    const float gy = -m * std::sin(a);
    return vec(gx, gy, 0);
}

// The upright roll carries the screen image w of the model's +z axis onto the screen's up
// direction. When w points exactly down, the rotation between the two opposite
// vectors has no axis and comes out as the identity, which would leave the model upside down;
// the half turn about the line of sight is the roll that is meant.
void uprightRoll(double* m, double* previous) {
    const vec w = vec(m[8], m[9], 0).unit();
    if (w.x == 0 && w.y < 0)
        quaternionToMatrix(0, 0, 1, 0);
    else
        rotationBetween(w, kScreenUp);
    quatcopy(previous, m);
    composeWithNext(m, previous);
}

// Whether a motion along the rows would carry the view over the pole it is close to. Orientation
// m looks from near a pole when the screen image of the model's +z axis is short (m[9] at most
// 0.2); m[10] tells which pole: near +z, rows that decrease lead over it, near -z rows that
// increase.
bool headsOverPole(const double* m, double rowMotion) {
    return m[9] <= 0.2 && ((m[10] > 0 && rowMotion < 0) || (m[10] < 0 && rowMotion > 0));
}

// The nudged step m scaled to the given speed: the nudge turns a step, the speed sets its length.
vec stepOfSpeed(vec m, double speed) {
    const double mLength = m.length();
    return mLength == 0 ? vec(0, 0, 0) : vec(m.x / mLength * speed, m.y / mLength * speed, 0);
}

struct GradientSample {
    vec direction;   // G / |G|, or zero
    float magnitude; // average gradient magnitude A
    int count;       // n: samples beyond the start cell
};

// Which constants the side nudge uses: the drag's gain grows with the step, the throws' gains are
// fixed fractions.
enum class NudgeKind { Drag, LiveThrow, Prediction };

} // namespace

bool ExtTrackball::hasUsableMap() const {
    const textureManager& maps = textureManager::_instance;
    return maps.mapData != nullptr && maps.mapWidth >= 2 && maps.mapHeight >= 2;
}

void ExtTrackball::keepInMap(int& column, int& row) {
    // handleBoundaryIndices wraps a column only once; reducing it first to within one map width
    // of the map keeps any step, however long, inside the cell array.
    column %= textureManager::_instance.mapWidth;
    handleBoundaryIndices(column, row);
}

namespace {

GradientSample sampleGradient(ExtTrackball& tb, int i, int j, double dcol, double drow) {
    const double length = std::sqrt(dcol * dcol + drow * drow);
    const double half = std::floor(length * 0.5);
    int n = 0;
    if (half < kMaxSamples)
        n = static_cast<int>(half);
    else if (!std::isnan(half))
        n = kMaxSamples;
    vec sum = gradientAt(i, j);
    float magnitudeSum = cellAt(i, j)[1];
    for (int k = 1; k <= n; ++k) {
        int column = roundedColumn(dcol * k / n + i, textureManager::_instance.mapWidth);
        int row = roundedRow(drow * k / n + j);
        tb.keepInMap(column, row);
        const vec g = gradientAt(column, row);
        sum = vec(sum.x + g.x, sum.y + g.y, 0);
        magnitudeSum += cellAt(column, row)[1];
    }
    GradientSample result;
    result.direction = sum.unit();
    result.magnitude = magnitudeSum / static_cast<float>(n + 1);
    result.count = n;
    return result;
}

// The base step (dcol, drow) of length L bent sideways towards the gradient found along it:
// returns the nudged step M = (dcol, drow) + P, before normalisation.
vec nudgedStep(ExtTrackball& tb, int i, int j, double dcol, double drow, double length,
               NudgeKind kind) {
    const GradientSample sample = sampleGradient(tb, i, j, dcol, drow);
    const vec side = length == 0 ? vec(0, 0, 0) : vec(-drow / length, dcol / length, 0);
    const float sigma = static_cast<float>(dot(sample.direction, side));
    const float e = std::exp(2.0f * tb.nudgeStrength);
    const float base = (e - 1.0f) * sample.magnitude;
    float gain;
    double clamp;
    switch (kind) {
    case NudgeKind::Drag:
        gain = static_cast<float>(static_cast<double>(base) * (1 + 0.05 * length));
        clamp = 0.6;
        break;
    case NudgeKind::LiveThrow:
        gain = base * 0.5f;
        clamp = 0.8;
        break;
    case NudgeKind::Prediction:
    default:
        gain = static_cast<float>(static_cast<double>(base) * 0.06);
        clamp = 0.8;
        break;
    }
    vec p(side.x * sigma * gain, side.y * sigma * gain, 0);
    const double pLength = p.length();
    if (pLength > clamp * length) {
        const vec u = p.unit();
        p = vec(u.x * length * clamp, u.y * length * clamp, 0);
    }
    return vec(dcol + p.x, drow + p.y, 0);
}

} // namespace

ExtTrackball::ExtTrackball() {}

ExtTrackball::~ExtTrackball() {
    clearMousePath();
}

void ExtTrackball::init() {
    reset();
    quaternionToMatrix(-0.7071067690849304, -0.0, -0.0, 0.7071067690849304);
    composeWithNext(ab_quat, ab_last);
}

void ExtTrackball::reset() {
    quatidentity(ab_quat);
    quatidentity(ab_last);
}

void ExtTrackball::rotate() {
    glMultMatrixd(ab_quat);
}

void ExtTrackball::setzoomPlane(float radius, vec eyePosition, vec upVector) {
    eye = eyePosition;
    eyeDistance = std::sqrt(static_cast<float>(dot(eye, eye)));
    eyeDir = eye * (1.0 / eyeDistance);
    up = upVector;
    out = cross(eyeDir, up);
    planeDistance = static_cast<float>((0 - static_cast<double>(radius)) * eyeDistance);
}

void ExtTrackball::setzoom(float radius, vec eyePosition, vec upVector) {
    setzoomPlane(radius, eyePosition, upVector);
    glGetDoublev(GL_PROJECTION_MATRIX, ab_glp);
    glGetIntegerv(GL_VIEWPORT, ab_glv);
}

vec ExtTrackball::unprojectNear(double mx, double my) {
    double px = 0, py = 0, pz = 0;
    gluUnProject(mx, my, 0, ab_glm, ab_glp, ab_glv, &px, &py, &pz);
    return vec(static_cast<float>(px), static_cast<float>(py), static_cast<float>(pz));
}

vec ExtTrackball::planar_coords(double mx, double my) {
    const vec p = unprojectNear(mx, my);
    const vec m = p - eye;
    const float gap = planeDistance - eyeDistance;
    const double t = gap / dot(eyeDir, m);
    const vec d = eye + m * t;
    return vec(dot(d, up), dot(d, out), 0);
}

void ExtTrackball::start(int mx, int my) {
    quatcopy(ab_last, ab_quat);
    quatcopy(ab_temp2, ab_quat);
    startPoint = planar_coords(mx, my);
}

void ExtTrackball::updateRotationMatrix(vec a, vec b, double* m) {
    rotationBetween(a, b);
    quatcopy(m, ab_quat);
    composeWithNext(ab_quat, m);
}

void ExtTrackball::fixup() {
    uprightRoll(ab_quat, ab_temp);
}

void ExtTrackball::handleBoundaryIndices(int& column, int& row) {
    const int width = textureManager::_instance.mapWidth;
    const int height = textureManager::_instance.mapHeight;
    if (column >= width)
        column -= width;
    else if (column < 0)
        column += width;
    if (row >= height)
        row = height - 1;
    else if (row < 0)
        row = 0;
}

void ExtTrackball::recordMousePath(int x, int y) {
    MousePathNode* node =
        new MousePathNode{static_cast<double>(x), static_cast<double>(y), nullptr};
    if (mousePathCount == 0) {
        mousePathTail = node;
    } else {
        node->next = mousePathHead;
    }
    mousePathHead = node;
    ++mousePathCount;
    if (mousePathCount > 8) {
        MousePathNode* beforeTail = mousePathHead;
        while (beforeTail->next != mousePathTail)
            beforeTail = beforeTail->next;
        delete mousePathTail;
        beforeTail->next = nullptr;
        mousePathTail = beforeTail;
        --mousePathCount;
    }
}

void ExtTrackball::clearMousePath() {
    while (mousePathHead != nullptr) {
        MousePathNode* older = mousePathHead->next;
        delete mousePathHead;
        mousePathHead = older;
    }
    mousePathTail = nullptr;
    mousePathCount = 0;
}

void ExtTrackball::calculateMotionChange() {
    averageSpeed = 0;
    vec sum(0, 0, 0);
    const MousePathNode* newer = mousePathHead;
    for (int k = 1; k < mousePathCount && newer != nullptr && newer->next != nullptr; ++k) {
        const MousePathNode* older = newer->next;
        sum.x += newer->x - older->x;
        sum.y += newer->y - older->y;
        averageSpeed = static_cast<float>(averageSpeed + sum.length());
        newer = older;
    }
    if (mousePathCount - 1 <= 0)
        averageSpeed = 0;
    else
        averageSpeed = averageSpeed / static_cast<float>(mousePathCount - 1);
    motionChange = sum.unit() * averageSpeed;
}

void ExtTrackball::standardTrackballMove(int mx, int my) {
    currentPoint = planar_coords(mx, my);
    if (currentPoint == startPoint) return;
    // Without a map there is no grid to move on; an unusable mouse position moves nothing.
    if (!hasUsableMap() || !std::isfinite(currentPoint.x) || !std::isfinite(currentPoint.y)) return;
    double dx = currentPoint.x - startPoint.x;
    double dy = currentPoint.y - startPoint.y;
    if (headsOverPole(ab_quat, dx)) {
        dy = dy * 0.2;
        dx = 0;
    }
    const vec from = viewingDirection(ab_temp2);
    stdDragTrail.push_back(from);
    int a, b;
    coordinateTransform::_instance.CartesianToArrayIndex(from, a, b);
    const double scale = indexStepScale;
    const int width = textureManager::_instance.mapWidth;
    int column = truncatedColumn(dy * scale + a, width);
    int row = truncatedRow(dx * scale + b);
    keepInMap(column, row);
    vec q;
    coordinateTransform::_instance.ArrayIndexToCartesian(column, row, q);
    rotationBetween(q, kEyeAxis);
    composeWithNext(ab_temp2, ab_identity);
    double previous[16];
    quatidentity(previous);
    uprightRoll(ab_temp2, previous);
}

void ExtTrackball::startStdThrow() {
    throwSpeed = averageSpeed;
}

void ExtTrackball::calStdThrow() {
    throwSpeed = (1 - frictionStrength) * throwSpeed;
}

void ExtTrackball::orientToCell(int column, int row) {
    vec q;
    coordinateTransform::_instance.ArrayIndexToCartesian(column, row, q);
    orientToDirection(q);
}

void ExtTrackball::orientToDirection(vec q) {
    reset();
    updateRotationMatrix(q, kEyeAxis, ab_last);
    fixup();
}

void ExtTrackball::nudgedMove(int mx, int my) {
    viewpointTrail.push_back(viewingDirection(ab_quat));
    currentPoint = planar_coords(mx, my);
    if (currentPoint == startPoint) return;
    // Without a map there is no grid to move on; an unusable mouse position moves nothing.
    if (!hasUsableMap() || !std::isfinite(currentPoint.x) || !std::isfinite(currentPoint.y)) return;
    double dx = currentPoint.x - startPoint.x;
    double dy = currentPoint.y - startPoint.y;
    const double dz = currentPoint.z - startPoint.z;
    if (headsOverPole(ab_quat, dx)) {
        dy = 0.2 * dy;
        dx = 0;
    }
    int i, j;
    coordinateTransform::_instance.CartesianToArrayIndex(viewingDirection(ab_quat), i, j);
    const double scale = indexStepScale;
    const double dcol = dy * scale;
    const double drow = dx * scale;
    const double length = std::sqrt(dcol * dcol + drow * drow);
    const vec m = nudgedStep(*this, i, j, dcol, drow, length, NudgeKind::Drag);
    const double mLength = m.length();
    const vec direction = mLength == 0 ? vec(0, 0, 0) : vec(m.x / mLength, m.y / mLength, 0);
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz) * scale;
    const int width = textureManager::_instance.mapWidth;
    int column = truncatedColumn(i + direction.x * distance, width);
    int row = truncatedRow(j + direction.y * distance);
    keepInMap(column, row);
    orientToCell(column, row);
    quatcopy(ab_last, ab_quat);
    startPoint = currentPoint;
}

void ExtTrackball::nudgedThrow() {
    if (static_cast<double>(frictionStrength) >= 0.0001 &&
        static_cast<double>(nudgeStrength) >= 0.01) {
        if (predictedThrowPath.empty() || throwStepCount < 0 ||
            static_cast<size_t>(throwStepCount) >= predictedThrowPath.size())
            return;
        const vec p = predictedThrowPath[throwStepCount];
        const int column = static_cast<int>(p.x);
        const int row = static_cast<int>(p.y);
        vec q;
        coordinateTransform::_instance.ArrayIndexToCartesian(column, row, q);
        viewpointTrail.push_back(q);
        orientToDirection(q);
        ++throwStepCount;
        return;
    }
    if (!hasUsableMap()) return;
    int i, j;
    coordinateTransform::_instance.CartesianToArrayIndex(viewingDirection(ab_quat), i, j);
    if (firstThrowStep) {
        firstThrowStep = false;
        calculateMotionChange();
        throwSpeed = averageSpeed;
    }
    const double dcol = -motionChange.x;
    const double drow = -motionChange.y;
    const double length = std::sqrt(dcol * dcol + drow * drow);
    const vec m = nudgedStep(*this, i, j, dcol, drow, length, NudgeKind::LiveThrow);
    throwSpeed = (1 - frictionStrength) * throwSpeed;
    if (throwSpeed < 2.0) return;
    if (length < 0.1) return;
    viewpointTrail.push_back(viewingDirection(ab_quat));
    const vec step = stepOfSpeed(m, throwSpeed);
    const int width = textureManager::_instance.mapWidth;
    throwColumn = roundedColumn(i + step.x, width);
    throwRow = roundedRow(j + step.y);
    motionChange = vec(-step.x, -step.y, 0);
    if (headsOverPole(ab_quat, step.y)) return;
    keepInMap(throwColumn, throwRow);
    orientToCell(throwColumn, throwRow);
}

namespace {

// An offset in map cells.
struct CellOffset {
    int columns = 0;
    int rows = 0;
};

// The speed a throw leaves with: nine tenths of the mouse's recent average speed, in float. The
// mouse's recent direction is left in motionChange.
float estimateThrowSpeed(ExtTrackball& tb) {
    tb.calculateMotionChange();
    return static_cast<float>(0.9 * tb.averageSpeed);
}

// The slowing, nudged throw from cell (i, j), one cell per tick: each step is the previous one
// bent by the gradient and shortened by the friction. It ends when the speed has fallen to 2
// cells a tick, when the path has turned by more than a right angle, or in a polar band. Fills
// predictedThrowPath and returns the path's length in cells.
float simulateThrow(ExtTrackball& tb, int i, int j, float speed) {
    const vec initial = tb.motionChange;
    const int width = textureManager::_instance.mapWidth;
    const int height = textureManager::_instance.mapHeight;
    float pathLength = 0;
    double dcol = -initial.x;
    double drow = -initial.y;
    while (speed > 2.0) {
        const double length = std::sqrt(dcol * dcol + drow * drow);
        const vec m = nudgedStep(tb, i, j, dcol, drow, length, NudgeKind::Prediction);
        speed = (1 - tb.frictionStrength) * speed;
        const vec step = stepOfSpeed(m, speed);
        pathLength = static_cast<float>(pathLength + step.length());
        tb.throwColumn = roundedColumn(i + step.x, width);
        tb.throwRow = roundedRow(j + step.y);
        tb.keepInMap(tb.throwColumn, tb.throwRow);
        i = tb.throwColumn;
        j = tb.throwRow;
        tb.predictedThrowPath.push_back(vec(i, j, 0));
        if (dcol * initial.x + drow * initial.y > 0 || j <= 9 || j >= height - 10) break;
        dcol = step.x;
        drow = step.y;
    }
    return pathLength;
}

// Near a pole the gradient may point over it: first walk away from the pole, three rows a move,
// while the gradient still points towards it. The walks stop at the map's first and last row.
void walkAwayFromPole(int column, int& row, float& angle) {
    const int height = textureManager::_instance.mapHeight;
    if (row <= 14) {
        const int from = row;
        while (-3.0f * std::sin(angle) < 0 && row - from < 150 && row < height - 1) {
            row = std::min(row + 3, height - 1);
            angle = gradientAngleAt(column, row);
        }
    } else if (row >= height - 15) {
        const int from = row;
        while (-3.0f * std::sin(angle) > 0 && from - row < 150 && row > 0) {
            row = std::max(row - 3, 0);
            angle = gradientAngleAt(column, row);
        }
    }
}

// Climbs the goodness gradient from the last cell of the predicted path, three cells a step, for
// at most 100 steps. The climb ends once it is further from its start than half the path's
// length, or when the gradient turns round (a ridge crossed) where the goodness is above 0.7.
// Returns the offset of its last step from the start.
CellOffset climbGradient(ExtTrackball& tb, float pathLength) {
    const int width = textureManager::_instance.mapWidth;
    const int startColumn = static_cast<int>(tb.predictedThrowPath.back().x);
    const int startRow = static_cast<int>(tb.predictedThrowPath.back().y);
    int column = startColumn;
    int row = startRow;
    float angle = gradientAngleAt(column, row);
    CellOffset offset;
    for (int step = 0; step < 100; ++step) {
        const float goodness = goodnessAt(column, row);
        walkAwayFromPole(column, row, angle);
        const float stepColumn = 3.0f * std::cos(angle);
        const float stepRow = -3.0f * std::sin(angle);
        int nextColumn = roundedColumn(column + static_cast<double>(stepColumn), width);
        int nextRow = roundedRow(row + static_cast<double>(stepRow));
        tb.keepInMap(nextColumn, nextRow);
        offset = {nextColumn - startColumn, nextRow - startRow};
        // The seam: a few cells across it the wrapped columns differ by nearly a map width.
        if (offset.columns > width / 2)
            offset.columns -= width;
        else if (offset.columns < -(width / 2))
            offset.columns += width;
        const float distance =
            static_cast<float>(std::sqrt(static_cast<double>(offset.columns) * offset.columns +
                                         static_cast<double>(offset.rows) * offset.rows));
        if (distance > 0.5 * pathLength) break;
        const float nextAngle = gradientAngleAt(nextColumn, nextRow);
        const double turn = std::fabs(static_cast<double>(nextAngle) - angle);
        if (turn > 3 * M_PI / 4 && turn < 5 * M_PI / 4 && goodness > 0.7) break;
        column = nextColumn;
        row = nextRow;
        angle = nextAngle;
    }
    return offset;
}

// Bends the path towards the climb's end along the easing curve: the first entry stays, the last
// moves by the whole offset. The blended entries are not brought back into the map.
void blendTowards(std::vector<vec>& path, CellOffset offset) {
    const size_t count = path.size();
    for (size_t k = 0; k < count; ++k) {
        const float w = smoothstep(static_cast<float>(k) / static_cast<float>(count - 1));
        vec& entry = path[k];
        entry = entry + vec(offset.columns * static_cast<double>(w),
                            offset.rows * static_cast<double>(w), 0);
    }
}

} // namespace

void ExtTrackball::calculateThrowPath() {
    if (static_cast<double>(frictionStrength) <= 0.0001) return;
    predictedThrowPath.clear();
    const float speed = estimateThrowSpeed(*this);
    if (!hasUsableMap() || speed <= 2.0) return;
    int i, j;
    coordinateTransform::_instance.CartesianToArrayIndex(viewingDirection(ab_quat), i, j);
    const float pathLength = simulateThrow(*this, i, j, speed);
    // A single cell has no direction to bend; it is replayed as simulated.
    if (predictedThrowPath.size() < 2) return;
    blendTowards(predictedThrowPath, climbGradient(*this, pathLength));
}

void ExtTrackball::move(vec sph) {
    vec q;
    coordinateTransform::_instance.sphericalToCartesian(q, sph);
    orientToDirection(q);
}

void ExtTrackball::moveontexture(float u, float v) {
    const textureManager& maps = textureManager::_instance;
    const int column = static_cast<int>(static_cast<double>(u + 1.0f) * 0.5 * (maps.mapWidth - 1));
    const int row = static_cast<int>(static_cast<double>(v + 1.0f) * 0.5 * (maps.mapHeight - 1));
    orientToCell(column, row);
}

void ExtTrackball::moveAlongPath(const std::vector<PathPoint>& points, int& currentIndex,
                                 bool playing, int frame) {
    int k = currentIndex;
    if (restartPath) {
        restartPath = false;
        pathStartFrame = frame - k;
    }
    const int n = static_cast<int>(points.size());
    if (k < 0 || k >= n) return;
    if (playing) {
        // The frame clock depends on the stored path's length, so a new path can put the frame
        // before the start frame: keep the remainder inside the path.
        k = static_cast<int>((static_cast<long long>(frame) - pathStartFrame) % n);
        if (k < 0) k += n;
        currentIndex = k;
    }
    move(vec(1, points[k].theta, points[k].phi));
}

void ExtTrackball::moveOnViewpath(int frame) {
    viewPath& paths = viewPath::_instance;
    moveAlongPath(paths.pathPoints, paths.currentIndex, RenderingSetting::_instance.playing, frame);
}

void ExtTrackball::moveOnTurntable(int frame) {
    viewPath& paths = viewPath::_instance;
    moveAlongPath(paths.turntablePoints, paths.currentIndex, RenderingSetting::_instance.playing,
                  frame);
}

coordinateTransform::coordinateTransform()
    : mapWidth(textureManager::_instance.mapWidth), mapHeight(textureManager::_instance.mapHeight) {
}

MapGrid coordinateTransform::grid() const {
    return {mapWidth, mapHeight};
}

void coordinateTransform::cartesianToSpherical(vec& out, vec in) {
    out = ::cartesianToSpherical(in);
}

void coordinateTransform::sphericalToCartesian(vec& out, vec in) {
    out = ::sphericalToCartesian(in);
}

void coordinateTransform::sphericalToArrayIndex(float theta, float phi, int& i, int& j) {
    const MapCell cell = ::sphericalToArrayIndex(theta, phi, grid());
    i = cell.column;
    j = cell.row;
}

void coordinateTransform::CartesianToArrayIndex(vec in, int& i, int& j) {
    const MapCell cell = cartesianToArrayIndex(in, grid());
    i = cell.column;
    j = cell.row;
}

void coordinateTransform::ArrayIndexToCartesian(int i, int j, vec& out) {
    out = arrayIndexToCartesian(i, j, grid());
}

void coordinateTransform::arrayIndexToDrawPos(int i, int j, float& u, float& v) {
    const DrawPos p = ::arrayIndexToDrawPos(i, j, grid(), ExtTrackball::_instance.planeHalfSize);
    u = p.u;
    v = p.v;
}

void coordinateTransform::sphericalToDrawPos(float theta, float phi, float& u, float& v) {
    const DrawPos p =
        ::sphericalToDrawPos(theta, phi, grid(), ExtTrackball::_instance.planeHalfSize);
    u = p.u;
    v = p.v;
}

void camera::setupCamera() {
    gluPerspective(50.0, aspect, 1.0, 50.0);
    gluLookAt(eye.x, eye.y, eye.z, center.x, center.y, center.z, up.x, up.y, up.z);
}

void camera::world2Eye() {
    glTranslatef(static_cast<float>(eye.x), static_cast<float>(eye.y), static_cast<float>(eye.z));
}
