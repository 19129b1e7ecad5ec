// Preloaded into the Linux program: no message box can be shown, as when SDL finds no way to
// show one.
#include <SDL.h>

extern "C" int SDL_ShowMessageBox(const SDL_MessageBoxData *, int *) {
    return SDL_SetError("message box refused");
}
