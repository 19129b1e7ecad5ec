// Draws one full turn of the figure, 360 consecutive frames, with the program's own set-up, scene
// and help line, and keeps every third frame as a binary PPM in the current directory
// (turn-000.ppm to turn-119.ppm), read from the back buffer before each swap.
#include "shell.h"
#include "scene.h"
#include "text.h"

#include <cstdio>

namespace {

const int framesPerTurn = 360;
const int keepEvery = 3;
const int largestSide = 1024;

unsigned char pixels[largestSide * largestSide * 3];

bool WriteFrame(int index, int width, int height) {
    char name[32];
    std::snprintf(name, sizeof(name), "turn-%03d.ppm", index);
    std::FILE *file = std::fopen(name, "wb");
    if (file == NULL) {
        return false;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", width, height);
    // OpenGL counts rows from the bottom, the picture from the top.
    for (int row = height - 1; row >= 0; --row) {
        std::fwrite(pixels + row * width * 3, 1, static_cast<size_t>(width) * 3, file);
    }
    return std::fclose(file) == 0;
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
            glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
            if (!WriteFrame(frame / keepEvery, width, height)) {
                std::perror("turn");
                return 1;
            }
        }
        SwapBuffers(deviceContext);
    }
    return 0;
}
