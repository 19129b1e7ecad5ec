#include "gl_context.h"

#include <SDL.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

namespace {
SDL_Window *testWindow = nullptr;
SDL_GLContext testContext = nullptr;
} // namespace

void OpenTestContext(int width, int height) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "cannot open the test display: %s\n", SDL_GetError());
        std::exit(1);
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    testWindow = SDL_CreateWindow("scene test", 0, 0, width, height, SDL_WINDOW_OPENGL);
    testContext = testWindow ? SDL_GL_CreateContext(testWindow) : nullptr;
    if (!testContext) {
        std::fprintf(stderr, "cannot create a GL context: %s\n", SDL_GetError());
        std::exit(1);
    }
    SDL_GL_MakeCurrent(testWindow, testContext);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
}

void CloseTestContext() {
    SDL_GL_DeleteContext(testContext);
    SDL_DestroyWindow(testWindow);
    SDL_Quit();
}

std::array<int, 3> ReadPixel(int x, int y) {
    unsigned char rgb[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}
