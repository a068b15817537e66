#include "litmodel.h"

#include <GL/gl.h>

void setupSceneLights() {
    struct Light {
        GLenum id;
        GLfloat ambient[4];
        GLfloat diffuse[4];
        GLfloat position[4];
    };
    static const Light lights[4] = {
        {GL_LIGHT0, {0, 0, 0, 1}, {0.35f, 0.35f, 0.5f, 0.5f}, {1, -1, 1, 0}},
        {GL_LIGHT1, {0, 0, 0, 1}, {0.9f, 0.6f, 0, 1}, {-0.5f, 0.5f, 1, 0}},
        {GL_LIGHT2, {0, 0, 0, 1}, {0.33f, 0.33f, 0.33f, 0.33f}, {0, 0, 1, 0}},
        {GL_LIGHT3, {0.1f, 0.1f, 0.3f, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}},
    };
    glEnable(GL_LIGHTING);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (const Light& light : lights) {
        glEnable(light.id);
        glLightfv(light.id, GL_AMBIENT, light.ambient);
        glLightfv(light.id, GL_DIFFUSE, light.diffuse);
        glLightfv(light.id, GL_POSITION, light.position);
    }
}

void drawLitTriangles(const Smesh& mesh) {
    glBegin(GL_TRIANGLES);
    for (int n = 0; n < mesh.ntris; ++n) {
        const Striangle& t = mesh.tris[n];
        for (int k = 0; k < 3; ++k) {
            glNormal3fv(t.verts[k]->normal);
            glVertex3fv(t.verts[k]->pos);
        }
    }
    glEnd();
}
