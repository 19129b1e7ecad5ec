#include "scene.h"
#include "opengl.h"

float eyeX = 0.0f;
float eyeY = 0.0f;
float zoom = 5.0f;
float spinAngle = 0.0f;

void SetProjection(int height, int width) {
    if (height == 0) {
        height = 1;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void DrawFrame() {
    // Clear colour and clear depth stay at the context's defaults: black and 1.0.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const float eyeZ = zoom + 30.0f;
    gluLookAt(eyeX, eyeY, eyeZ, 0.0, 0.0, -100.0, 0.0, 1.0, 0.0);
    glEnable(GL_DEPTH_TEST);

    spinAngle = spinAngle + 1.0f;
    if (spinAngle >= 360.0f) {
        spinAngle = 0.0f;
    }
    glTranslatef(0.0f, 0.0f, -30.0f);
    glRotatef(spinAngle, 0.0f, 1.0f, 0.0f);
    RenderFigure(0.0f, 0.0f, 0.0f);
}
