#pragma once
#include "coords.h"

#include <vector>

// Orientation matrices: 16 doubles, column-major as OpenGL reads them (entry 4*column + row).
// Only the upper-left 3x3 block changes after start-up. The viewing direction of M is
// (M[2], M[6], M[10]).
extern double ab_quat[16];     // current model orientation
extern double ab_last[16];     // orientation at the start of the current step
extern double ab_next[16];     // the increment most recently built from a quaternion
extern double ab_temp[16];     // orientation before the upright correction
extern double ab_temp2[16];    // orientation of the plain (un-nudged) drag
extern double ab_identity[16]; // never written
extern double ab_glp[16];      // projection captured by setzoom
extern double ab_glm[16];      // model-view used for unprojection; stays the identity
extern int ab_glv[4];          // viewport captured by setzoom

void quatidentity(double* m);
// Copies the 3x3 block; the other seven entries of dst stay.
void quatcopy(double* dst, const double* src);
// Writes the rotation of the quaternion (x, y, z, w) into the 3x3 block of ab_next.
void quaternionToMatrix(double x, double y, double z, double w);
// dest := ab_next applied after left (dest and left must differ).
void composeWithNext(double* dest, const double* left);
// ab_next := the rotation carrying unit vector a onto unit vector b.
void rotationBetween(vec a, vec b);

struct PathPoint;

// One recorded mouse sample, window pixels (x right, y down), linked towards older samples.
struct MousePathNode {
    double x;
    double y;
    MousePathNode* next;
};

// The extended trackball. Shared because the view feeds it mouse and timer events, the panels
// and the mode switch set its strengths, and the renderer draws its orientation and trails; all
// on the GUI thread.
class ExtTrackball {
public:
    ExtTrackball();
    ~ExtTrackball();
    ExtTrackball(const ExtTrackball&) = delete;
    ExtTrackball& operator=(const ExtTrackball&) = delete;

    // Rotation core.
    void init();
    void reset();
    void rotate();
    void setzoom(float radius, vec eye, vec up);
    // The plane set-up of setzoom without capturing the GL projection and viewport.
    void setzoomPlane(float radius, vec eye, vec up);
    // The near-plane point under a window position, each coordinate rounded to float.
    vec unprojectNear(double mx, double my);
    vec planar_coords(double mx, double my);
    void start(int mx, int my);
    void updateRotationMatrix(vec a, vec b, double* m);
    void fixup();
    void handleBoundaryIndices(int& column, int& row);
    // Wraps the column fully and clamps the row, so that any cell index is inside the map;
    // requires a usable map.
    void keepInMap(int& column, int& row);
    // A goodness map with data and at least 2 x 2 cells is loaded. Motions over the map grid do
    // nothing without one.
    bool hasUsableMap() const;

    // Plain drag and throw.
    void recordMousePath(int x, int y);
    void clearMousePath();
    void calculateMotionChange();
    void standardTrackballMove(int mx, int my);
    void startStdThrow();
    void calStdThrow();

    // Nudged drag and throw.
    void nudgedMove(int mx, int my);
    void nudgedThrow();
    void calculateThrowPath();

    // Orientation set outright from a direction.
    void move(vec sph);
    void moveontexture(float u, float v);
    void moveOnViewpath(int frame);
    void moveOnTurntable(int frame);
    // The orientation that turns q onto the eye axis, set upright (ab_last becomes the identity).
    void orientToDirection(vec q);
    void orientToCell(int column, int row);

    float recommendedNudgeStrength = 0.56f;
    float recommendedFrictionStrength = 0.11f;
    bool firstThrowStep = true;
    bool restartPath = false;
    float nudgeStrength = 0;
    float frictionStrength = 0;
    float indexStepScale = 50.0f;
    float throwSpeed = 0.01f;
    float averageSpeed = 0;
    int throwStepCount = 0;
    float planeHalfSize = 14.0f;
    vec motionChange{0, 0, 0};
    MousePathNode* mousePathHead = nullptr; // newest sample
    MousePathNode* mousePathTail = nullptr; // oldest sample
    int mousePathCount = 0;                 // at most 8
    std::vector<vec> viewpointTrail;
    std::vector<vec> stdDragTrail;
    std::vector<vec> predictedThrowPath; // (column, row, 0) per tick
    int throwColumn = 0;
    int throwRow = 0;
    int pathStartFrame = 0;
    float planeDistance = 0.5f;
    float eyeDistance = 1.0f;
    vec startPoint{0, 0, 1};
    vec currentPoint{0, 0, 1};
    vec eye{0, 0, 1};
    vec eyeDir{0, 0, 1};
    vec up{0, 1, 0};
    vec out{1, 0, 0};

    static ExtTrackball _instance;

private:
    // One frame of path playback over points; currentIndex is the shared index of both paths.
    void moveAlongPath(const std::vector<PathPoint>& points, int& currentIndex, bool playing,
                       int frame);
};

// Conversions between directions, spherical angles (r, theta, phi), map cells and flat-map
// drawing positions over the loaded goodness map. Shared so that every part rounds and clamps the
// same way.
class coordinateTransform {
public:
    coordinateTransform();
    coordinateTransform(const coordinateTransform&) = delete;
    coordinateTransform& operator=(const coordinateTransform&) = delete;

    void cartesianToSpherical(vec& out, vec in);
    void sphericalToCartesian(vec& out, vec in);
    void sphericalToArrayIndex(float theta, float phi, int& i, int& j);
    void CartesianToArrayIndex(vec in, int& i, int& j);
    void ArrayIndexToCartesian(int i, int j, vec& out);
    void arrayIndexToDrawPos(int i, int j, float& u, float& v);
    void sphericalToDrawPos(float theta, float phi, float& u, float& v);
    MapGrid grid() const;

    // The map's size has one owner, textureManager::_instance; these name its fields, so that a
    // load, a reader of either name and every conversion always see the same size.
    int& mapWidth;
    int& mapHeight;

    static coordinateTransform _instance;
};

// The fixed camera of both views: eye (0, 0, 30) looking at the origin, y up.
class camera {
public:
    // gluPerspective(50, aspect, 1, 50) then gluLookAt, multiplied onto the current matrix.
    void setupCamera();
    // glTranslatef by the eye position.
    void world2Eye();

    vec eye{0, 0, 30};
    vec center{0, 0, 0};
    vec up{0, 1, 0};
    float aspect = 1.0f;

    static camera _instance;
};
