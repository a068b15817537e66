#pragma once
#include "coords.h"
#include "mesh.h"

#include <cstdint>
#include <functional>
#include <vector>

// The viewer's camera distance and perspective.
constexpr double cameraDistance = 30.0;
constexpr double cameraFieldOfView = 50.0;
constexpr double cameraNear = 1.0;
constexpr double cameraFar = 50.0;

// The viewer's camera turned round to look at the model from a viewing direction: the eye at the
// viewer's camera distance on that side, gluPerspective(50, 1, 1, 50), looking at the origin.
// The roll about the line of sight keeps the model's +z axis up where it can (as the viewer's
// upright correction does); no measure depends on it. The distance, the vertical field of view
// (degrees) and the clip planes can be chosen otherwise, for instance for a nearly orthographic
// view from far away.
struct ViewCamera {
    double projection[16]; // column-major, as OpenGL reads it
    double view[16];       // column-major
    double viewProjection[16];
    vec eye;

    explicit ViewCamera(vec direction, double distance = cameraDistance,
                        double fieldOfView = cameraFieldOfView, double nearPlane = cameraNear,
                        double farPlane = cameraFar);
    // Window position (pixels of a size x size image, origin bottom-left) and clip w of a point.
    void project(const float* p, int size, double& x, double& y, double& w) const;
};

// An OpenGL context without any window or display: EGL on Mesa's surfaceless platform.
// Throws BakeError when none can be made.
class EglContext {
public:
    EglContext();
    ~EglContext();
    EglContext(const EglContext&) = delete;
    EglContext& operator=(const EglContext&) = delete;
    void makeCurrent();
    // Leaves the calling thread without a current context, so another thread may take it.
    void release();

private:
    void* display = nullptr;
    void* context = nullptr;
};

// Renders a mesh into an offscreen size x size image of triangle numbers: pixel value t + 1 where
// triangle t is the nearest surface, 0 for the background. Back faces are culled as in the viewer.
// On request the mesh is drawn without culling instead, to find the pixels where a back face is the
// nearest surface: the inside of the model, seen through a hole or an open side. Those pixels are
// then background in the image, as in a culled view.
// Each renderer owns its context; renderers in different threads work side by side.
class OffscreenRenderer {
public:
    explicit OffscreenRenderer(int size);
    ~OffscreenRenderer();
    OffscreenRenderer(const OffscreenRenderer&) = delete;
    OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

    int size() const { return imageSize; }
    void setMesh(const BakeMesh& mesh);
    // ids receives size * size values, row by row from the bottom row.
    void renderIds(const ViewCamera& camera, std::vector<std::uint32_t>& ids,
                   bool findBackFaces = false);
    // Of the last image rendered with findBackFaces: the share of the pixels that the model covers
    // when drawn without culling that show a back face (0 when it covers none); -1 without.
    double backFaceShare() const { return lastBackFaceShare; }
    // A picture: draw runs with the image cleared to white and every GL state of its own (the
    // renderer's state comes back afterwards); rgba receives size * size * 4 bytes, row by row
    // from the bottom row.
    void renderPicture(const std::function<void()>& draw, std::vector<unsigned char>& rgba);
    void makeCurrent() { context.makeCurrent(); }
    void release() { context.release(); }

    // The most triangles one image can tell apart (24-bit colour numbers, 0 is the background).
    static constexpr int maxTriangles = (1 << 24) - 2;

private:
    EglContext context;
    int imageSize;
    unsigned framebuffer = 0;
    unsigned colourBuffer = 0;
    unsigned depthBuffer = 0;
    unsigned program = 0;
    unsigned insideProgram = 0;
    unsigned meshList = 0;
    double lastBackFaceShare = 0;
    std::vector<unsigned char> pixels;
};
