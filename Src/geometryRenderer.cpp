#include "geometryRenderer.h"

#include "litmodel.h"

#include "extTrackball.h"
#include "textureManager.h"
#include "viewPath.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <GL/gl.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

QOpenGLFunctions* bufferFunctions() {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? context->functions() : nullptr;
}

// The viewing direction of the current orientation.
vec viewingDirection() {
    return vec(ab_quat[2], ab_quat[6], ab_quat[10]);
}

void drawPosition(vec direction, float& u, float& v) {
    coordinateTransform& ct = coordinateTransform::_instance;
    int i, j;
    ct.CartesianToArrayIndex(direction, i, j);
    ct.arrayIndexToDrawPos(i, j, u, v);
}

void vertexScaled(vec p, float radius) {
    glVertex3f(static_cast<float>(p.x * radius), static_cast<float>(p.y * radius),
               static_cast<float>(p.z * radius));
}

// Texture coordinates of one sphere corner for a W x H map.
void cornerTexCoord(const Svertex& corner, int W, int H, float& s, float& t) {
    if (W <= 0 || H <= 0) {
        s = t = 0;
        return;
    }
    int i, j;
    coordinateTransform::_instance.CartesianToArrayIndex(
        vec(corner.pos[0], corner.pos[1], corner.pos[2]), i, j);
    // A map one texel wide or high has a single texture coordinate along that axis.
    s = W > 1 ? static_cast<float>(i) / static_cast<float>(W - 1) : 0.0f;
    t = H > 1 ? static_cast<float>(j) / static_cast<float>(H - 1) : 0.0f;
}

} // namespace

geometryRenderer::~geometryRenderer() {
    releaseBuffers();
}

// ---- buffers

void geometryRenderer::setupLights() {
    setupSceneLights();
}

void geometryRenderer::meshLoaded(const Smesh& mesh) {
    LoadedMesh* entry = nullptr;
    for (LoadedMesh& e : loaded)
        if (e.mesh == &mesh) entry = &e;
    if (!entry) {
        entry = &loaded[nextLoaded];
        nextLoaded = (nextLoaded + 1) % maxLoaded;
    }
    dropBuffers(*entry);
    entry->mesh = &mesh;
    entry->verts = mesh.verts;
    entry->tris = mesh.tris;
    entry->nverts = mesh.nverts;
    entry->ntris = mesh.ntris;
}

void geometryRenderer::dropBuffers(LoadedMesh& entry) {
    if (QOpenGLFunctions* gl = bufferFunctions()) {
        for (unsigned int* name : {&entry.buffer[Lit], &entry.buffer[Textured], &entry.indices})
            if (*name) gl->glDeleteBuffers(1, name);
    }
    entry = LoadedMesh();
}

void geometryRenderer::releaseBuffers() {
    for (LoadedMesh& e : loaded)
        dropBuffers(e);
}

void geometryRenderer::forgetBuffers() {
    for (LoadedMesh& e : loaded)
        e = LoadedMesh();
}

int geometryRenderer::bufferCount() const {
    int n = 0;
    for (const LoadedMesh& e : loaded)
        n += (e.buffer[Lit] != 0) + (e.buffer[Textured] != 0);
    return n;
}

namespace {

// Uploads data into a new buffer bound to target; 0 when GL could not take it.
template <typename T>
GLuint upload(QOpenGLFunctions* gl, GLenum target, const std::vector<T>& data) {
    // Earlier errors must not be taken for a failed upload (the queue holds a few at most).
    for (int k = 0; k < 8 && glGetError() != GL_NO_ERROR; ++k) {
    }
    GLuint name = 0;
    gl->glGenBuffers(1, &name);
    gl->glBindBuffer(target, name);
    gl->glBufferData(target, static_cast<qopengl_GLsizeiptr>(data.size() * sizeof(T)), data.data(),
                     GL_STATIC_DRAW);
    gl->glBindBuffer(target, 0);
    if (name != 0 && glGetError() != GL_NO_ERROR) {
        gl->glDeleteBuffers(1, &name);
        name = 0;
    }
    return name;
}

} // namespace

bool geometryRenderer::buildLit(LoadedMesh& entry, const Smesh& mesh) {
    QOpenGLFunctions* gl = bufferFunctions();
    // Vertices are numbered in the order the triangles first use them; the triangles keep their
    // order, so the picture is the same as corner by corner.
    std::vector<GLuint> slot(static_cast<size_t>(mesh.nverts), ~GLuint(0));
    std::vector<GLuint> corners;
    corners.reserve(static_cast<size_t>(mesh.ntris) * 3);
    GLuint used = 0;
    for (int n = 0; n < mesh.ntris; ++n)
        for (const Svertex* c : mesh.tris[n].verts) {
            // A corner outside the mesh's own vertex array cannot be indexed.
            if (c < mesh.verts || c >= mesh.verts + mesh.nverts) return false;
            GLuint& s = slot[static_cast<size_t>(c - mesh.verts)];
            if (s == ~GLuint(0)) s = used++;
            corners.push_back(s);
        }
    std::vector<const Svertex*> vertexOf(used);
    for (int i = 0; i < mesh.nverts; ++i)
        if (slot[static_cast<size_t>(i)] != ~GLuint(0))
            vertexOf[slot[static_cast<size_t>(i)]] = &mesh.verts[i];

    // Indices pay when the corners of nearby triangles share vertices, so that each vertex is
    // transformed once for several corners. Counted with a small direct-mapped cache of 256
    // vertices: a regular grid misses about once per triangle, scanned meshes two to two and a
    // half times. Above 2.25 misses a triangle, one vertex per corner draws faster (measured with
    // Mesa's llvmpipe: 20 to 50 % for such meshes, while a grid draws 25 % faster indexed).
    std::vector<GLuint> cache(256, ~GLuint(0));
    size_t misses = 0;
    for (GLuint v : corners) {
        GLuint& cached = cache[v % 256];
        if (cached != v) {
            cached = v;
            ++misses;
        }
    }
    const bool indexed = misses <= 2.25 * static_cast<double>(mesh.ntris);

    std::vector<float> vertices;
    auto append = [&vertices](const Svertex* v) {
        vertices.insert(vertices.end(), v->normal, v->normal + 3);
        vertices.insert(vertices.end(), v->pos, v->pos + 3);
    };
    if (indexed) {
        vertices.reserve(static_cast<size_t>(used) * 6);
        for (const Svertex* v : vertexOf)
            append(v);
    } else {
        vertices.reserve(corners.size() * 6);
        for (GLuint v : corners)
            append(vertexOf[v]);
    }
    entry.buffer[Lit] = upload(gl, GL_ARRAY_BUFFER, vertices);
    if (!indexed || entry.buffer[Lit] == 0) return entry.buffer[Lit] != 0;
    entry.indices = upload(gl, GL_ELEMENT_ARRAY_BUFFER, corners);
    if (entry.indices == 0) {
        gl->glDeleteBuffers(1, &entry.buffer[Lit]);
        entry.buffer[Lit] = 0;
    }
    return entry.buffer[Lit] != 0;
}

bool geometryRenderer::buildTextured(LoadedMesh& entry, const Smesh& mesh) {
    const int W = textureManager::_instance.mapWidth;
    const int H = textureManager::_instance.mapHeight;
    std::vector<float> data;
    data.reserve(static_cast<size_t>(mesh.ntris) * 3 * 8);
    for (int n = 0; n < mesh.ntris; ++n) {
        const Striangle& t = mesh.tris[n];
        float s0 = 0;
        for (int k = 0; k < 3; ++k) {
            const Svertex& c = *t.verts[k];
            float s, tc;
            cornerTexCoord(c, W, H, s, tc);
            if (k == 0)
                s0 = s;
            else
                s = seamRepaired(s0, s);
            data.push_back(s);
            data.push_back(tc);
            data.insert(data.end(), c.normal, c.normal + 3);
            data.insert(data.end(), c.pos, c.pos + 3);
        }
    }
    entry.buffer[Textured] = upload(bufferFunctions(), GL_ARRAY_BUFFER, data);
    entry.mapWidth = W;
    entry.mapHeight = H;
    return entry.buffer[Textured] != 0;
}

geometryRenderer::LoadedMesh* geometryRenderer::buffersFor(const Smesh& mesh, Kind kind) {
    if (!useBuffers || mesh.ntris <= 0) return nullptr;
    LoadedMesh* entry = nullptr;
    for (LoadedMesh& e : loaded)
        if (e.matches(mesh)) entry = &e;
    if (!entry) return nullptr;
    QOpenGLFunctions* gl = bufferFunctions();
    if (kind == Textured && entry->buffer[Textured] &&
        (entry->mapWidth != textureManager::_instance.mapWidth ||
         entry->mapHeight != textureManager::_instance.mapHeight)) {
        // The texture coordinates depend on the map size, which a map load may change.
        if (gl) gl->glDeleteBuffers(1, &entry->buffer[Textured]);
        entry->buffer[Textured] = 0;
    }
    if (entry->buffer[kind]) return entry;
    // glDrawArrays and glDrawElements count corners in a GLsizei; a mesh beyond that, or one
    // whose buffers GL cannot hold, is drawn corner by corner.
    if (entry->failed[kind] || !gl || mesh.ntris > INT_MAX / 3) return nullptr;
    const bool built = kind == Lit ? buildLit(*entry, mesh) : buildTextured(*entry, mesh);
    entry->failed[kind] = !built;
    return built ? entry : nullptr;
}

float geometryRenderer::seamRepaired(float s0, float s) {
    if (static_cast<double>(s0) > 0.9 && static_cast<double>(s) < 0.1) s = s + 1;
    if (static_cast<double>(s0) < 0.1 && static_cast<double>(s) > 0.9) s = s - 1;
    return s;
}

float geometryRenderer::seamCrossingHeight(float u1, float v1, float u2, float v2, float S) {
    const float denominator = 2 * S - std::fabs(u1) - std::fabs(u2);
    // Both ends on the edges (u = +S and u = -S, the same meridian): the segment runs along the
    // seam, and it meets the edges where it starts.
    if (!(denominator > 0)) return v1;
    return v1 + (v2 - v1) * (S - std::fabs(u1)) / denominator;
}

// ---- scene

void geometryRenderer::drawScene(const Smesh& model) {
    ExtTrackball::_instance.rotate();
    // The model carries no texture coordinates; left on, texturing would tint it with one texel.
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    drawSmesh(model);
}

void geometryRenderer::drawSmesh(const Smesh& mesh) {
    if (const LoadedMesh* b = buffersFor(mesh, Lit)) {
        QOpenGLFunctions* gl = bufferFunctions();
        gl->glBindBuffer(GL_ARRAY_BUFFER, b->buffer[Lit]);
        gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b->indices);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glNormalPointer(GL_FLOAT, 6 * sizeof(float), nullptr);
        glVertexPointer(3, GL_FLOAT, 6 * sizeof(float),
                        reinterpret_cast<const void*>(3 * sizeof(float)));
        if (b->indices)
            glDrawElements(GL_TRIANGLES, 3 * mesh.ntris, GL_UNSIGNED_INT, nullptr);
        else
            glDrawArrays(GL_TRIANGLES, 0, 3 * mesh.ntris);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        return;
    }
    drawLitTriangles(mesh);
}

void geometryRenderer::drawSphere(const Smesh& sphere) {
    ExtTrackball::_instance.rotate();
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textureManager::_instance.textureId);
    drawSphereGeometry(sphere);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
}

void geometryRenderer::drawSphereGeometry(const Smesh& sphere) {
    if (const LoadedMesh* b = buffersFor(sphere, Textured)) {
        QOpenGLFunctions* gl = bufferFunctions();
        gl->glBindBuffer(GL_ARRAY_BUFFER, b->buffer[Textured]);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 8 * sizeof(float), nullptr);
        glNormalPointer(GL_FLOAT, 8 * sizeof(float),
                        reinterpret_cast<const void*>(2 * sizeof(float)));
        glVertexPointer(3, GL_FLOAT, 8 * sizeof(float),
                        reinterpret_cast<const void*>(5 * sizeof(float)));
        glDrawArrays(GL_TRIANGLES, 0, 3 * sphere.ntris);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        return;
    }
    const int W = textureManager::_instance.mapWidth;
    const int H = textureManager::_instance.mapHeight;
    glBegin(GL_TRIANGLES);
    for (int n = 0; n < sphere.ntris; ++n) {
        const Striangle& t = sphere.tris[n];
        float s0 = 0;
        for (int k = 0; k < 3; ++k) {
            const Svertex& c = *t.verts[k];
            float s, tc;
            cornerTexCoord(c, W, H, s, tc);
            if (k == 0)
                s0 = s;
            else
                s = seamRepaired(s0, s);
            glTexCoord2f(s, tc);
            glNormal3fv(c.normal);
            glVertex3fv(c.pos);
        }
    }
    glEnd();
}

void geometryRenderer::drawTexture() {
    const float S = ExtTrackball::_instance.planeHalfSize;
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textureManager::_instance.textureId);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex3f(-S, -S, 0);
    glTexCoord2f(1, 1);
    glVertex3f(S, -S, 0);
    glTexCoord2f(1, 0);
    glVertex3f(S, S, 0);
    glTexCoord2f(0, 0);
    glVertex3f(-S, S, 0);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
}

void geometryRenderer::drawCenterIndicator() {
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(2);
    glBegin(GL_LINES);
    glColor3f(0, 0.3f, 1);
    glVertex3f(0.5f, 0, 0);
    glVertex3f(1, 0, 0);
    glVertex3f(-0.5f, 0, 0);
    glVertex3f(-1, 0, 0);
    glVertex3f(0, 0.5f, 0);
    glVertex3f(0, 1, 0);
    glVertex3f(0, -0.5f, 0);
    glVertex3f(0, -1, 0);
    glColor3f(1, 1, 1);
    glEnd();
    glLineWidth(1);
    glPointSize(2);
    glBegin(GL_POINTS);
    glColor3f(0, 0.3f, 1);
    glVertex3f(0, 0, 0);
    glColor3f(1, 1, 1);
    glEnd();
    glPointSize(1);
    glEnable(GL_DEPTH_TEST);
}

// ---- overlays

void geometryRenderer::drawPathOnSphere() {
    drawPathOnSphere(false);
}
void geometryRenderer::drawTurnpathOnSphere() {
    drawPathOnSphere(true);
}
void geometryRenderer::drawPathOnQuad() {
    drawPathOnQuad(false);
}
void geometryRenderer::drawTurnpathOnQuad() {
    drawPathOnQuad(true);
}
void geometryRenderer::drawThrowPathonSphere() {
    drawTrailOnSphere(true);
}
void geometryRenderer::drawStdThrowPathonSphere() {
    drawTrailOnSphere(false);
}
void geometryRenderer::drawThrowPathonTexture() {
    drawTrailOnTexture(true);
}
void geometryRenderer::drawStdThrowPathonTexture() {
    drawTrailOnTexture(false);
}

void geometryRenderer::PathStrips::clear() {
    xyz.clear();
    strips.clear();
    hasSkipped = false;
}

void geometryRenderer::PathStrips::begin() {
    strips.emplace_back(static_cast<int>(xyz.size() / 3), 0);
    hasSkipped = false;
}

void geometryRenderer::PathStrips::add(float x, float y, float z, bool kept) {
    int& count = strips.back().second;
    if (!kept && count > 0) {
        const float* last = &xyz[xyz.size() - 3];
        const float dx = x - last[0], dy = y - last[1], dz = z - last[2];
        if (dx * dx + dy * dy + dz * dz < pathThinning * pathThinning) {
            skipped[0] = x;
            skipped[1] = y;
            skipped[2] = z;
            hasSkipped = true;
            return;
        }
    }
    xyz.insert(xyz.end(), {x, y, z});
    ++count;
    hasSkipped = false;
}

// A strip always ends on its own last point, kept or not.
void geometryRenderer::PathStrips::end() {
    if (hasSkipped) add(skipped[0], skipped[1], skipped[2], true);
}

bool geometryRenderer::current(PathStrips& cache, const std::vector<PathPoint>& points,
                               float scale) {
    const bool same = cache.scale == scale && cache.source.size() == points.size() &&
                      (points.empty() || std::memcmp(cache.source.data(), points.data(),
                                                     points.size() * sizeof(PathPoint)) == 0);
    if (same) return true;
    cache.source = points;
    cache.scale = scale;
    cache.clear();
    return false;
}

void geometryRenderer::drawStrips(const PathStrips& strips) {
    if (strips.xyz.empty()) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, strips.xyz.data());
    for (const auto& [first, count] : strips.strips)
        if (count > 0) glDrawArrays(GL_LINE_STRIP, first, count);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void geometryRenderer::drawPathOnSphere(bool turntable) {
    const std::vector<PathPoint>& points =
        turntable ? viewPath::_instance.turntablePoints : viewPath::_instance.pathPoints;
    coordinateTransform& ct = coordinateTransform::_instance;
    glDisable(GL_LIGHTING);
    glLineWidth(1.5f);
    const float R = static_cast<float>(static_cast<double>(sphereRadius) + 0.2);
    PathStrips& strips = pathCache[0][turntable];
    // An empty path has no first point to close the loop with: nothing is drawn.
    if (!current(strips, points, R) && !points.empty()) {
        auto vertexAt = [&](const PathPoint& p, bool kept) {
            vec out;
            ct.sphericalToCartesian(out, vec(R, p.theta, p.phi));
            strips.add(static_cast<float>(out.x), static_cast<float>(out.y),
                       static_cast<float>(out.z), kept);
        };
        strips.begin();
        for (const PathPoint& p : points)
            vertexAt(p, false);
        strips.end();
        vertexAt(points.front(), true);
    }
    drawStrips(strips);
    glLineWidth(1);
    glColor3f(1, 1, 1);
    glEnable(GL_LIGHTING);
}

void geometryRenderer::drawPathOnQuad(bool turntable) {
    const std::vector<PathPoint>& points =
        turntable ? viewPath::_instance.turntablePoints : viewPath::_instance.pathPoints;
    coordinateTransform& ct = coordinateTransform::_instance;
    const float S = ExtTrackball::_instance.planeHalfSize;
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(1.5f);
    PathStrips& strips = pathCache[1][turntable];
    if (!current(strips, points, S) && !points.empty()) {
        float u0 = 0, v0 = 0, uPrevious = 0, vPrevious = 0;
        strips.begin();
        for (size_t k = 0; k < points.size(); ++k) {
            float u, v;
            ct.sphericalToDrawPos(points[k].theta, points[k].phi, u, v);
            if (k == 0) {
                u0 = u;
                v0 = v;
            } else if (!turntable && std::fabs(u - uPrevious) > 0.5f * S) {
                // A jump across the map: no line over it.
                strips.end();
                strips.begin();
            }
            strips.add(u, v, 0);
            uPrevious = u;
            vPrevious = v;
        }
        strips.end();
        if (std::fabs(uPrevious - u0) > S) {
            const float vc = seamCrossingHeight(uPrevious, vPrevious, u0, v0, S);
            const float sigma = uPrevious > 0 ? 1.0f : -1.0f;
            strips.add(sigma * S, vc, 0, true);
            strips.begin();
            strips.add(-sigma * S, vc, 0, true);
        }
        strips.add(u0, v0, 0, true);
    }
    drawStrips(strips);
    glLineWidth(1);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
}

void geometryRenderer::drawTexturePositionIndicator() {
    float u, v;
    drawPosition(viewingDirection(), u, v);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(2);
    glBegin(GL_LINES);
    glColor3f(0, 0.3f, 1);
    glVertex3f(u + 0.5f, v, 0);
    glVertex3f(u + 1.0f, v, 0);
    glVertex3f(u - 0.5f, v, 0);
    glVertex3f(u - 1.0f, v, 0);
    glVertex3f(u, v + 0.5f, 0);
    glVertex3f(u, v + 1.0f, 0);
    glVertex3f(u, v - 0.5f, 0);
    glVertex3f(u, v - 1.0f, 0);
    glEnd();
    glPointSize(2);
    glBegin(GL_POINTS);
    glColor3f(0, 0.3f, 1);
    glVertex3f(u, v, 0);
    glColor3f(1, 1, 1);
    glEnd();
    glPointSize(1);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
}

void geometryRenderer::drawTrailOnSphere(bool real) {
    ExtTrackball& trackball = ExtTrackball::_instance;
    const std::vector<vec>& trail = real ? trackball.viewpointTrail : trackball.stdDragTrail;
    glPushMatrix();
    trackball.rotate();
    glDisable(GL_LIGHTING);
    glLineWidth(2);
    glBegin(GL_LINE_STRIP);
    if (real)
        glColor3f(1, 0, 1);
    else
        glColor3f(0, 0, 0);
    const float R = static_cast<float>(static_cast<double>(sphereRadius) + 0.1);
    const double spacing = 0.01f;
    for (size_t k = 0; k < trail.size(); ++k) {
        const vec p = trail[k];
        vertexScaled(p, R);
        if (k + 1 < trail.size()) {
            const vec q = trail[k + 1];
            const double d = (p - q).length();
            if (d > spacing) {
                const int m = static_cast<int>(std::floor(d / spacing));
                for (int i = 1; i <= m; ++i) {
                    const float t = static_cast<float>(i) * 0.01f;
                    // Steps longer than 1 would run on past q and come back to it.
                    if (t >= 1) break;
                    vertexScaled((p + (q - p) * t).unit(), R);
                }
            }
        }
    }
    if (real) {
        glColor3f(1, 1, 1);
        glEnd();
        glLineWidth(1);
        if (trail.size() > 2) {
            glColor3f(0, 0, 0);
            glPointSize(4);
            glBegin(GL_POINTS);
            vertexScaled(trail.front(), R);
            glEnd();
            glPointSize(1);
        }
    } else {
        glEnd();
        glLineWidth(1);
    }
    glEnable(GL_LIGHTING);
    glPopMatrix();
}

void geometryRenderer::drawTrailOnTexture(bool real) {
    ExtTrackball& trackball = ExtTrackball::_instance;
    const std::vector<vec>& trail = real ? trackball.viewpointTrail : trackball.stdDragTrail;
    const float S = trackball.planeHalfSize;
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    if (real)
        glColor3f(1, 0, 1);
    else
        glColor3f(0, 0, 0);
    glLineWidth(2);
    glBegin(GL_LINES);
    for (size_t k = 1; k < trail.size(); ++k) {
        float u1, v1, u2, v2;
        drawPosition(trail[k - 1], u1, v1);
        drawPosition(trail[k], u2, v2);
        if (std::fabs(u1 - u2) < S) {
            glVertex3f(u1, v1, 0);
            glVertex3f(u2, v2, 0);
        } else {
            const float vc = seamCrossingHeight(u1, v1, u2, v2, S);
            const float sigma = u1 > 0 ? 1.0f : -1.0f;
            glVertex3f(u1, v1, 0);
            glVertex3f(sigma * S, vc, 0);
            glVertex3f(-sigma * S, vc, 0);
            glVertex3f(u2, v2, 0);
        }
    }
    if (real) {
        glColor3f(1, 1, 1);
        glEnd();
        glLineWidth(1);
        if (trail.size() > 1) {
            float u, v;
            drawPosition(trail.front(), u, v);
            glColor3f(0, 0, 0);
            glPointSize(4);
            glBegin(GL_POINTS);
            glVertex3f(u, v, 0);
            glEnd();
            glPointSize(1);
        }
    } else {
        glEnd();
        glLineWidth(1);
        glColor3f(1, 1, 1);
    }
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
}
