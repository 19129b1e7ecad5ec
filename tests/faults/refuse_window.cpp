// Preloaded into the Linux program: the window system refuses to create any window.
#include <SDL.h>

extern "C" SDL_Window *SDL_CreateWindow(const char *, int, int, int, int, Uint32) {
    SDL_SetError("window creation refused");
    return nullptr;
}
