// Start-up: SDL's video on X or Wayland, with the platform's own connection to an X server, opened
// on first use.
#include "platform.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Sets a hint the platform relies on so that no variable in the environment overrides it.
void Insist(const char *hint, const char *value) {
    SDL_SetHintWithPriority(hint, value, SDL_HINT_OVERRIDE);
}

const char *Variable(const char *name) {
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// Starts SDL's video on `driver`; on X11 also the platform's own connection to the server. The
// reason for a failure is SDL's error.
bool OpenVideo(const char *driver) {
    Insist(SDL_HINT_VIDEODRIVER, driver);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    const char *running = SDL_GetCurrentVideoDriver();
    if (running && std::strcmp(running, driver) != 0) {
        SDL_SetError("SDL runs its \"%s\" video driver, not %s", running, driver);
    } else if (std::strcmp(driver, "x11") != 0) {
        return true;
    } else {
        platform.x = XOpenDisplay(nullptr);
        if (platform.x) {
            return true;
        }
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
}

} // namespace

bool EnsureVideo() {
    if (platform.videoTried) {
        return platform.videoOk;
    }
    platform.videoTried = true;
    // The program ends on signals as any process does, but for the time the display is switched
    // (see CloseOnTerminationRequest); it alone decides when to quit. On X it draws through GLX
    // visuals and switches through XRandR; its windows are opaque whatever their alpha.
    Insist(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    Insist(SDL_HINT_VIDEO_X11_FORCE_EGL, "0");
    Insist(SDL_HINT_VIDEO_X11_XRANDR, "1");
    Insist(SDL_HINT_VIDEO_EGL_ALLOW_TRANSPARENCY, "0");
    Insist(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    Insist(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // X where a display opens, unless SDL_VIDEODRIVER asks for Wayland; Wayland where
    // WAYLAND_DISPLAY names a compositor (and no X display opens, unless asked for). SDL's other
    // drivers are not used.
    // SDL_VIDEODRIVER may list drivers to try in turn (wayland,x11): its first decides.
    const char *asked = Variable("SDL_VIDEODRIVER");
    const char *x = Variable("DISPLAY");
    const char *wayland = Variable("WAYLAND_DISPLAY");
    const std::string first = asked ? std::string(asked).substr(0, std::strcspn(asked, ",")) : "";
    const bool waylandFirst = wayland && strcasecmp(first.c_str(), "wayland") == 0;
    std::string why;
    bool opened = waylandFirst && OpenVideo("wayland");
    if (!opened) {
        why = waylandFirst ? "\"" + std::string(wayland) + "\": " + SdlReason() + "; " : "";
        opened = OpenVideo("x11");
        why += "\"" + std::string(x ? x : "") + "\": " + SdlReason();
    }
    if (!opened && wayland && !waylandFirst) {
        opened = OpenVideo("wayland");
        why += "; \"" + std::string(wayland) + "\": " + SdlReason();
    }
    if (!opened) {
        if (!x && !wayland) {
            std::fprintf(stderr, "boxwalk: cannot open a display (neither DISPLAY nor "
                                 "WAYLAND_DISPLAY is set): set DISPLAY to a running X server "
                                 "or WAYLAND_DISPLAY to a Wayland compositor\n");
        } else {
            std::fprintf(stderr,
                         "boxwalk: cannot open a display (%s): set DISPLAY to a running X "
                         "server or WAYLAND_DISPLAY to a Wayland compositor\n",
                         why.c_str());
        }
        return false;
    }
    if (platform.x) {
        if (waylandFirst) {
            ReportFailure("SDL_VIDEODRIVER", "no Wayland display (%s); the program runs on X",
                          why.substr(0, why.find(';')).c_str());
        }
    } else {
        std::snprintf(platform.displayName, sizeof(platform.displayName), "%s",
                      wayland ? wayland : "wayland-0");
        CheckKeyboardMends();
    }
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
