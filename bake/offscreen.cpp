#include "offscreen.h"

#include "bakeerror.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string hex(EGLint code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(code));
    return text;
}

[[noreturn]] void eglFailure(const char* step) {
    throw BakeError(std::string("cannot start offscreen OpenGL: ") + step + " failed (EGL error " +
                    hex(eglGetError()) + ")");
}

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t n = std::strlen(name);
    for (const char* p = std::strstr(list, name); p; p = std::strstr(p + 1, name))
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

EGLDisplay openDisplay() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (hasExtension(client, "EGL_MESA_platform_surfaceless")) {
        auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay) {
            EGLDisplay d =
                getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            if (d != EGL_NO_DISPLAY) return d;
        }
    }
    return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

// Framebuffer objects and shaders are OpenGL 2.0 to 3.0; their entry points come from
// EGL.
struct ModernCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLCREATESHADERPROC createShader;
    PFNGLSHADERSOURCEPROC shaderSource;
    PFNGLCOMPILESHADERPROC compileShader;
    PFNGLGETSHADERIVPROC getShaderiv;
    PFNGLGETSHADERINFOLOGPROC getShaderInfoLog;
    PFNGLDELETESHADERPROC deleteShader;
    PFNGLCREATEPROGRAMPROC createProgram;
    PFNGLATTACHSHADERPROC attachShader;
    PFNGLLINKPROGRAMPROC linkProgram;
    PFNGLGETPROGRAMIVPROC getProgramiv;
    PFNGLUSEPROGRAMPROC useProgram;
    PFNGLDELETEPROGRAMPROC deleteProgram;
};

template <typename F> void resolve(F& f, const char* name) {
    f = reinterpret_cast<F>(eglGetProcAddress(name));
    if (!f) throw BakeError(std::string("cannot start offscreen OpenGL: no ") + name);
}

const ModernCalls& modernCalls() {
    static ModernCalls calls = [] {
        ModernCalls c;
        resolve(c.genFramebuffers, "glGenFramebuffers");
        resolve(c.deleteFramebuffers, "glDeleteFramebuffers");
        resolve(c.bindFramebuffer, "glBindFramebuffer");
        resolve(c.genRenderbuffers, "glGenRenderbuffers");
        resolve(c.deleteRenderbuffers, "glDeleteRenderbuffers");
        resolve(c.bindRenderbuffer, "glBindRenderbuffer");
        resolve(c.renderbufferStorage, "glRenderbufferStorage");
        resolve(c.framebufferRenderbuffer, "glFramebufferRenderbuffer");
        resolve(c.checkFramebufferStatus, "glCheckFramebufferStatus");
        resolve(c.createShader, "glCreateShader");
        resolve(c.shaderSource, "glShaderSource");
        resolve(c.compileShader, "glCompileShader");
        resolve(c.getShaderiv, "glGetShaderiv");
        resolve(c.getShaderInfoLog, "glGetShaderInfoLog");
        resolve(c.deleteShader, "glDeleteShader");
        resolve(c.createProgram, "glCreateProgram");
        resolve(c.attachShader, "glAttachShader");
        resolve(c.linkProgram, "glLinkProgram");
        resolve(c.getProgramiv, "glGetProgramiv");
        resolve(c.useProgram, "glUseProgram");
        resolve(c.deleteProgram, "glDeleteProgram");

        return c;
    }();
    return calls;
}

// The triangle number is the colour of its corners; alpha tells front faces (1) from back faces
// (0). A back face lies a few depth steps behind where it is, so that where the two sides of a
// surface coincide the front one shows, as in a culled view. (Numbering by gl_PrimitiveID from
// indexed vertices is slower on Mesa's software renderer.)
const char* const idVertexShader = R"(#version 150 compatibility
flat out vec4 id;
void main() {
    gl_Position = ftransform();
    id = gl_Color;
}
)";
const char* const idFragmentShader = R"(#version 150 compatibility
flat in vec4 id;
void main() { gl_FragColor = vec4(id.rgb, 1.0); }
)";
// Without culling: writing the depth costs the software renderer time, so only these views do.
const char* const insideFragmentShader = R"(#version 150 compatibility
flat in vec4 id;
void main() {
    gl_FragColor = vec4(id.rgb, gl_FrontFacing ? 1.0 : 0.0);
    gl_FragDepth = gl_FrontFacing ? gl_FragCoord.z : min(1.0, gl_FragCoord.z + 1.0 / 4194304.0);
}
)";

unsigned compiledShader(GLenum kind, const char* source) {
    const ModernCalls& gl = modernCalls();
    const GLuint shader = gl.createShader(kind);
    gl.shaderSource(shader, 1, &source, nullptr);
    gl.compileShader(shader);
    GLint ok = GL_FALSE;
    gl.getShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[512] = "";
        gl.getShaderInfoLog(shader, sizeof log, nullptr, log);
        gl.deleteShader(shader);
        throw BakeError(std::string("cannot start offscreen OpenGL: the triangle number shader "
                                    "does not compile: ") +
                        log);
    }
    return shader;
}

unsigned idProgram(const char* fragmentSource) {
    const ModernCalls& gl = modernCalls();
    const GLuint vertex = compiledShader(GL_VERTEX_SHADER, idVertexShader);
    const GLuint fragment = compiledShader(GL_FRAGMENT_SHADER, fragmentSource);
    const GLuint program = gl.createProgram();
    gl.attachShader(program, vertex);
    gl.attachShader(program, fragment);
    gl.linkProgram(program);
    gl.deleteShader(vertex);
    gl.deleteShader(fragment);
    GLint ok = GL_FALSE;
    gl.getProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        gl.deleteProgram(program);
        throw BakeError("cannot start offscreen OpenGL: the triangle number shader does not link");
    }
    return program;
}

void multiply(const double* a, const double* b, double* out) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += a[4 * k + r] * b[4 * c + k];
            out[4 * c + r] = s;
        }
}

} // namespace

ViewCamera::ViewCamera(vec direction, double distance, double fieldOfView, double nearPlane,
                       double farPlane) {
    const vec d = direction.unit();
    eye = d * distance;

    // gluPerspective(fieldOfView, 1, nearPlane, farPlane).
    const double f = 1.0 / std::tan(fieldOfView * M_PI / 360.0);
    std::memset(projection, 0, sizeof projection);
    projection[0] = f;
    projection[5] = f;
    projection[10] = (farPlane + nearPlane) / (nearPlane - farPlane);
    projection[11] = -1;
    projection[14] = 2 * farPlane * nearPlane / (nearPlane - farPlane);

    // gluLookAt(eye, origin, up) with the model's +z up, or +y when looking along z.
    const vec forward = d * -1.0;
    vec up = std::fabs(d.z) > 0.999 ? vec(0, 1, 0) : vec(0, 0, 1);
    const vec side = cross(forward, up).unit();
    up = cross(side, forward);
    const double rows[3][3] = {
        {side.x, side.y, side.z}, {up.x, up.y, up.z}, {-forward.x, -forward.y, -forward.z}};
    std::memset(view, 0, sizeof view);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            view[4 * c + r] = rows[r][c];
        view[12 + r] = -(rows[r][0] * eye.x + rows[r][1] * eye.y + rows[r][2] * eye.z);
    }
    view[15] = 1;
    multiply(projection, view, viewProjection);
}

void ViewCamera::project(const float* p, int size, double& x, double& y, double& w) const {
    const double* m = viewProjection;
    const double cx = m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
    const double cy = m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
    w = m[3] * p[0] + m[7] * p[1] + m[11] * p[2] + m[15];
    x = (cx / w + 1) * 0.5 * size;
    y = (cy / w + 1) * 0.5 * size;
}

EglContext::EglContext() {
    EGLDisplay d = openDisplay();
    if (d == EGL_NO_DISPLAY) eglFailure("eglGetDisplay");
    EGLint major = 0, minor = 0;
    if (!eglInitialize(d, &major, &minor)) eglFailure("eglInitialize");
    display = d;
    try {
        if (!eglBindAPI(EGL_OPENGL_API)) eglFailure("eglBindAPI(OpenGL)");
        EGLConfig config = EGL_NO_CONFIG_KHR;
        if (!hasExtension(eglQueryString(d, EGL_EXTENSIONS), "EGL_KHR_no_config_context")) {
            const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT, EGL_NONE};
            EGLint count = 0;
            if (!eglChooseConfig(d, wanted, &config, 1, &count) || count < 1)
                eglFailure("eglChooseConfig");
        }
        // Fixed-function drawing needs a compatibility profile (or a legacy context).
        const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        EGLContext c = eglCreateContext(d, config, EGL_NO_CONTEXT, compatibility);
        if (c == EGL_NO_CONTEXT) c = eglCreateContext(d, config, EGL_NO_CONTEXT, nullptr);
        if (c == EGL_NO_CONTEXT) eglFailure("eglCreateContext");
        context = c;
        makeCurrent();
    } catch (...) {
        if (context) eglDestroyContext(d, context);
        throw;
    }
}

// The display stays initialised for the rest of the process (every context shares it): Mesa's
// eglTerminate unloads the driver and loses a few allocations of its own on the way.
EglContext::~EglContext() {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
}

void EglContext::makeCurrent() {
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
        eglFailure("eglMakeCurrent without a surface");
}

void EglContext::release() {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

OffscreenRenderer::OffscreenRenderer(int size) : imageSize(size) {
    const ModernCalls& gl = modernCalls();
    gl.genFramebuffers(1, &framebuffer);
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.genRenderbuffers(1, &colourBuffer);
    gl.bindRenderbuffer(GL_RENDERBUFFER, colourBuffer);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size, size);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer);
    gl.genRenderbuffers(1, &depthBuffer);
    gl.bindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size, size);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    const GLenum status = gl.checkFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        char text[80];
        std::snprintf(text, sizeof text, "the %dx%d offscreen image is incomplete (0x%04x)", size,
                      size, status);
        throw BakeError(std::string("cannot start offscreen OpenGL: ") + text);
    }
    // Triangle numbers are colours: nothing may blend, dither, light or smooth them.
    glDisable(GL_DITHER);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    // Alpha 0 marks back faces (see renderIds).
    glClearColor(0, 0, 0, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    program = idProgram(idFragmentShader);
    insideProgram = idProgram(insideFragmentShader);
    modernCalls().useProgram(program);
    pixels.resize(static_cast<size_t>(size) * size * 4);
}

OffscreenRenderer::~OffscreenRenderer() {
    context.makeCurrent();
    const ModernCalls& gl = modernCalls();
    gl.useProgram(0);
    gl.deleteProgram(program);
    gl.deleteProgram(insideProgram);
    if (meshList) glDeleteLists(meshList, 1);
    gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.deleteRenderbuffers(1, &colourBuffer);
    gl.deleteRenderbuffers(1, &depthBuffer);
    gl.deleteFramebuffers(1, &framebuffer);
}

void OffscreenRenderer::setMesh(const BakeMesh& mesh) {
    if (mesh.triangleCount() > maxTriangles)
        throw BakeError("the mesh has " + std::to_string(mesh.triangleCount()) +
                        " triangles; at most " + std::to_string(maxTriangles) + " can be baked");
    context.makeCurrent();
    if (meshList) glDeleteLists(meshList, 1);
    meshList = glGenLists(1);
    glNewList(meshList, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    const int n = mesh.triangleCount();
    for (int t = 0; t < n; ++t) {
        const unsigned id = static_cast<unsigned>(t) + 1;
        glColor4ub(static_cast<GLubyte>(id & 0xff), static_cast<GLubyte>((id >> 8) & 0xff),
                   static_cast<GLubyte>((id >> 16) & 0xff), 255);
        for (int k = 0; k < 3; ++k)
            glVertex3fv(
                &mesh.pos[3 * static_cast<size_t>(mesh.tris[3 * static_cast<size_t>(t) + k])]);
    }
    glEnd();
    glEndList();
}

void OffscreenRenderer::renderIds(const ViewCamera& camera, std::vector<std::uint32_t>& ids,
                                  bool findBackFaces) {
    context.makeCurrent();
    const ModernCalls& gl = modernCalls();
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, imageSize, imageSize);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(camera.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(camera.view);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (findBackFaces) {
        glDisable(GL_CULL_FACE);
        gl.useProgram(insideProgram);
    }
    if (meshList) glCallList(meshList);
    glEnable(GL_CULL_FACE);
    gl.useProgram(program);
    glReadPixels(0, 0, imageSize, imageSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    const size_t n = static_cast<size_t>(imageSize) * imageSize;
    ids.resize(n);
    size_t back = 0, covered = 0;
    for (size_t i = 0; i < n; ++i) {
        const std::uint32_t id = pixels[4 * i] | (std::uint32_t(pixels[4 * i + 1]) << 8) |
                                 (std::uint32_t(pixels[4 * i + 2]) << 16);
        // A back face stands for what the culled view shows there: nothing, unless another part
        // of the model lies behind that very face, which this view then misses.
        const bool behind = pixels[4 * i + 3] == 0;
        ids[i] = behind ? 0 : id;
        back += behind;
        covered += id != 0;
    }
    lastBackFaceShare = !findBackFaces ? -1.0
                        : covered      ? static_cast<double>(back) / static_cast<double>(covered)
                                       : 0.0;
}

void OffscreenRenderer::renderPicture(const std::function<void()>& draw,
                                      std::vector<unsigned char>& rgba) {
    context.makeCurrent();
    const ModernCalls& gl = modernCalls();
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    gl.useProgram(0);
    glViewport(0, 0, imageSize, imageSize);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw();
    rgba.resize(static_cast<size_t>(imageSize) * imageSize * 4);
    glReadPixels(0, 0, imageSize, imageSize, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPopAttrib();
    gl.useProgram(program);
}
