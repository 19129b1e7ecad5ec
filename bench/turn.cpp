// Draws one full turn of the figure, 360 consecutive frames, with the program's own set-up, scene
// and help line, and keeps every third frame as a binary PPM in the current directory
// (turn-000.ppm to turn-119.ppm), read from the back buffer before each swap. Then draws the
// program's icon, the figure alone in mid-stride and close up, at each icon size
// (icon-16.ppm to icon-256.ppm).
#include "shell.h"
#include "scene.h"
#include "text.h"

#include <cstdio>

namespace {

const int framesPerTurn = 360;
const int keepEvery = 3;
const int largestSide = 1024;

// The icon's view: the eye level with the middle of the figure (head top at y = 2, feet at
// y = -10.5) and close enough for the figure to fill most of the height, the figure seen from
// the side and a little from behind, arms and legs swung well apart.
const int iconSides[] = {16, 32, 48, 128, 256};
const float iconEyeY = -5.0f;
const float iconZoom = -41.0f;
const float iconSpin = 60.0f;
const float iconSwing = 13.0f;

unsigned char pixels[largestSide * largestSide * 3];

// Reads the back buffer's lower left width x height pixels into a PPM file.
bool WritePicture(const char *name, int width, int height) {
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    std::FILE *file = std::fopen(name, "wb");
    if (file == NULL) {
        std::perror(name);
        return false;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", width, height);
    // OpenGL counts rows from the bottom, the picture from the top.
    for (int row = height - 1; row >= 0; --row) {
        std::fwrite(pixels + static_cast<size_t>(row) * width * 3, 1,
                    static_cast<size_t>(width) * 3, file);
    }
    if (std::fclose(file) != 0) {
        std::perror(name);
        return false;
    }
    return true;
}

// Draws the icon's frame into a side x side viewport; DrawFrame advances the spin and each swing
// by one step, so they are set one step short of the icon's pose.
bool WriteIcon(int side) {
    eyeX = 0.0f;
    eyeY = iconEyeY;
    zoom = iconZoom;
    spinAngle = iconSpin - 1.0f;
    armSwingA = legSwingA = LimbSwing{iconSwing - 1.0f, true};
    armSwingB = legSwingB = LimbSwing{1.0f - iconSwing, false};
    SetProjection(side, side);
    DrawFrame();
    char name[32];
    std::snprintf(name, sizeof(name), "icon-%d.ppm", side);
    return WritePicture(name, side, side);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    fullscreen = 0;
    if (!SetupWindow()) {
        return 1;
    }
    fontBase = MakeBitmapFont("Comic Sans MS", 48);

    // The projection set-up has fitted the viewport to the window: that is the picture's size.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int width = viewport[2] < largestSide ? viewport[2] : largestSide;
    const int height = viewport[3] < largestSide ? viewport[3] : largestSide;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);

    for (int frame = 0; frame < framesPerTurn; ++frame) {
        DrawFrame();
        DrawHelpLine();
        if (frame % keepEvery == 0) {
            char name[32];
            std::snprintf(name, sizeof(name), "turn-%03d.ppm", frame / keepEvery);
            if (!WritePicture(name, width, height)) {
                return 1;
            }
        }
        SwapBuffers(deviceContext);
    }

    // The icons are read from the lower left corner of the window's back buffer.
    for (const int side : iconSides) {
        if (side > width || side > height || !WriteIcon(side)) {
            return 1;
        }
    }
    return 0;
}
