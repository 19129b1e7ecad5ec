#include "scene.h"
#include "opengl.h"

namespace {

// The four corners of each face in turn: top, front, right, left, bottom, back.
const float boxVertices[24][3] = {
    {0, 0, 0},  {0, 0, -1},  {-1, 0, -1},  {-1, 0, 0},  // top (y = 0)
    {0, 0, 0},  {-1, 0, 0},  {-1, -1, 0},  {0, -1, 0},  // front (z = 0)
    {0, 0, 0},  {0, -1, 0},  {0, -1, -1},  {0, 0, -1},  // right (x = 0)
    {-1, 0, 0}, {-1, 0, -1}, {-1, -1, -1}, {-1, -1, 0}, // left (x = -1)
    {0, -1, 0}, {0, -1, -1}, {-1, -1, -1}, {-1, -1, 0}, // bottom (y = -1)
    {0, 0, -1}, {-1, 0, -1}, {-1, -1, -1}, {0, -1, -1}, // back (z = -1)
};

} // namespace

void RenderBox(float x, float y, float z) {
    glPushMatrix();
    glTranslatef(x, y, z);
    // All six faces go into one polygon primitive, in table order.
    glBegin(GL_POLYGON);
    for (const float *vertex : boxVertices) {
        glVertex3f(vertex[0], vertex[1], vertex[2]);
    }
    glEnd();
    glPopMatrix();
}
