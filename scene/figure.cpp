#include "scene.h"
#include "opengl.h"

LimbSwing armSwingA = {0.0f, true};
LimbSwing armSwingB = {0.0f, false};
LimbSwing legSwingA = {0.0f, true};
LimbSwing legSwingB = {0.0f, false};

namespace {

// One body part: a unit box in a flat colour, scaled to the part's size.
void RenderPart(float x, float y, float z, const float colour[3], const float scale[3]) {
    glPushMatrix();
    glColor3f(colour[0], colour[1], colour[2]);
    glTranslatef(x, y, z);
    glScalef(scale[0], scale[1], scale[2]);
    RenderBox(0.0f, 0.0f, 0.0f);
    glPopMatrix();
}

const float white[3] = {1.0f, 1.0f, 1.0f};
const float blue[3] = {0.0f, 0.0f, 1.0f};
const float red[3] = {1.0f, 0.0f, 0.0f};
const float yellow[3] = {1.0f, 1.0f, 0.0f};

const float headScale[3] = {2.0f, 2.0f, 2.0f};
const float torsoScale[3] = {3.0f, 5.0f, 2.0f};
const float armScale[3] = {1.0f, 4.0f, 1.0f};
const float legScale[3] = {1.0f, 5.0f, 1.0f};

// Advances a limb's swing, then draws the limb turned by it about the shoulder line.
void RenderSwungLimb(LimbSwing &swing, void (*renderLimb)(float, float, float), float x, float y,
                     float z) {
    glPushMatrix();
    AdvanceLimbSwing(swing);
    glTranslatef(0.0f, -0.5f, 0.0f);
    glRotatef(swing.angle, 1.0f, 0.0f, 0.0f);
    renderLimb(x, y, z);
    glPopMatrix();
}

} // namespace

void RenderHead(float x, float y, float z) {
    RenderPart(x, y, z, white, headScale);
}

void RenderTorso(float x, float y, float z) {
    RenderPart(x, y, z, blue, torsoScale);
}

void RenderArm(float x, float y, float z) {
    RenderPart(x, y, z, red, armScale);
}

void RenderLeg(float x, float y, float z) {
    RenderPart(x, y, z, yellow, legScale);
}

void AdvanceLimbSwing(LimbSwing &swing) {
    if (swing.rising) {
        swing.angle = swing.angle + 1.0f;
    } else {
        swing.angle = swing.angle - 1.0f;
    }
    if (swing.angle >= 15.0f) {
        swing.rising = false;
    }
    if (swing.angle <= -15.0f) {
        swing.rising = true;
    }
}

void RenderFigure(float x, float y, float z) {
    glPushMatrix();
    glTranslatef(x, y, z);
    RenderHead(1.0f, 2.0f, 0.0f);
    RenderTorso(1.5f, 0.0f, 0.0f);
    RenderSwungLimb(armSwingA, RenderArm, 2.5f, 0.0f, -0.5f);
    RenderSwungLimb(armSwingB, RenderArm, -1.5f, 0.0f, -0.5f);
    RenderSwungLimb(legSwingA, RenderLeg, -0.5f, -5.0f, -0.5f);
    RenderSwungLimb(legSwingB, RenderLeg, 1.5f, -5.0f, -0.5f);
    glPopMatrix();
}
