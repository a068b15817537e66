#pragma once
#include "geom.h"

// The model square's lighting and drawing, shared by the view and the baker's pictures. Both need
// a current OpenGL context (compatibility profile).

// The four fixed lights, positioned in eye space: sets the model-view matrix to the identity,
// enables lighting and the lights. Leaves the model-view matrix current.
void setupSceneLights();

// The mesh's triangles in immediate mode, each corner with its vertex normal.
void drawLitTriangles(const Smesh& mesh);
