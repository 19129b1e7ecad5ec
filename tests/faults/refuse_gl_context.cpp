// Preloaded into the Linux program: no OpenGL rendering context can be created.
#include <SDL.h>

extern "C" SDL_GLContext SDL_GL_CreateContext(SDL_Window *) {
    SDL_SetError("rendering context refused");
    return nullptr;
}
