// Start-up: the platform's state, made before the program starts and never destroyed, and SDL's
// video and the platform's own connection to the X server, opened on first use.
#include "platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

alignas(PlatformState) unsigned char storage[sizeof(PlatformState)];

// Sets a hint the platform relies on so that no variable in the environment overrides it.
void Insist(const char *hint, const char *value) {
    SDL_SetHintWithPriority(hint, value, SDL_HINT_OVERRIDE);
}

} // namespace

PlatformState &platform = *new (storage) PlatformState;

bool EnsureVideo() {
    if (platform.videoTried) {
        return platform.videoOk;
    }
    platform.videoTried = true;
    // The program ends on signals as any process does, but for the time the display is switched
    // (see CloseOnTerminationRequest); it alone decides when to quit. It runs on X11, Xwayland
    // included, with GLX visuals and XRandR modes, whatever SDL's variables in the environment
    // ask for.
    Insist(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    Insist(SDL_HINT_VIDEODRIVER, "x11");
    Insist(SDL_HINT_VIDEO_X11_FORCE_EGL, "0");
    Insist(SDL_HINT_VIDEO_X11_XRANDR, "1");
    Insist(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    Insist(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    const char *display = std::getenv("DISPLAY");
    const char *driver = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 ? SDL_GetCurrentVideoDriver() : "";
    const bool onX11 = driver && std::strcmp(driver, "x11") == 0;
    if (driver && *driver && !onX11) {
        SDL_SetError("SDL runs its \"%s\" video driver, not X11", driver);
    }
    if (!onX11 || !(platform.x = XOpenDisplay(nullptr))) {
        if (!display || !*display) {
            std::fprintf(stderr, "boxwalk: cannot open a display (DISPLAY is not set): set DISPLAY "
                                 "to a running X server\n");
        } else {
            std::fprintf(stderr,
                         "boxwalk: cannot open the display \"%s\" (%s): set DISPLAY to a running X "
                         "server\n",
                         display, SDL_GetError());
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    WatchDisplay(platform.x);
    SDL_StartTextInput();
    platform.videoOk = true;
    return true;
}

// SDL lists the primary display first.
SDL_Rect PrimaryBounds() {
    SDL_Rect bounds{0, 0, 0, 0};
    if (SDL_GetDisplayBounds(0, &bounds) != 0) {
        bounds = SDL_Rect{0, 0, 0, 0};
    }
    return bounds;
}
