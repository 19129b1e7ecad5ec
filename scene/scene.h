// The scene: one walking, turning figure of six boxes seen by a movable camera.
#pragma once

// The swing of one arm or leg about the figure's shoulder line, in degrees.
struct LimbSwing {
    float angle;
    bool rising;
};

// View state: the eye sits at (eyeX, eyeY, zoom + 30) looking towards (0, 0, -100).
extern float eyeX;
extern float eyeY;
extern float zoom;

// The figure's turn about the vertical axis, degrees, advanced once per frame.
extern float spinAngle;

extern LimbSwing armSwingA;
extern LimbSwing armSwingB;
extern LimbSwing legSwingA;
extern LimbSwing legSwingB;

// The unit box from (-1, -1, -1) to (0, 0, 0), its local origin placed at (x, y, z).
void RenderBox(float x, float y, float z);

void RenderHead(float x, float y, float z);
void RenderTorso(float x, float y, float z);
void RenderArm(float x, float y, float z);
void RenderLeg(float x, float y, float z);

// One step of a swing: one degree on, turning round at +15 and -15.
void AdvanceLimbSwing(LimbSwing &swing);

// Draws the whole figure at (x, y, z) and advances the four limb swings by one step.
void RenderFigure(float x, float y, float z);

// Fits the viewport and the perspective projection to a window of width x height pixels.
void SetProjection(int height, int width);

// Draws the scene part of one frame and advances the animation by one frame.
void DrawFrame();
