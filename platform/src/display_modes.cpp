// Display modes: the switch to a mode of the primary monitor, made as its fullscreen window shows,
// and the way back, at quit, at exit and on the way out, through SDL and XRandR. Before the first
// switch the primary monitor's own mode and place are saved through XRandR: SDL gives a monitor its
// mode back on a screen the size of that mode alone, which leaves a primary monitor right of
// another outside the screen and switched off, so the saved mode and place are set again, on a
// screen at least as large as it was.
#include "platform.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <thread>

namespace {

void SaveModeToRestore() {
    Display *x = platform.x;
    // The mode from before the first switch is the one to give back, whatever comes after.
    if (x && !platform.modeSaved) {
        const SDL_Rect bounds = PrimaryBounds();
        XRRScreenResources *resources = XRRGetScreenResourcesCurrent(x, DefaultRootWindow(x));
        bool found = false;
        for (int i = 0; resources && i < resources->ncrtc && !found; ++i) {
            XRRCrtcInfo *crtc = XRRGetCrtcInfo(x, resources, resources->crtcs[i]);
            found = crtc && crtc->mode && crtc->noutput > 0 && crtc->x == bounds.x &&
                    crtc->y == bounds.y && static_cast<int>(crtc->width) == bounds.w &&
                    static_cast<int>(crtc->height) == bounds.h;
            if (found) {
                SavedMode &saved = platform.saved;
                const int screen = DefaultScreen(x);
                saved.crtc = resources->crtcs[i];
                saved.mode = crtc->mode;
                saved.x = crtc->x;
                saved.y = crtc->y;
                saved.rotation = crtc->rotation;
                saved.outputCount = std::min(crtc->noutput, 16);
                std::copy(crtc->outputs, crtc->outputs + saved.outputCount, saved.outputs);
                saved.screenWidth = DisplayWidth(x, screen);
                saved.screenHeight = DisplayHeight(x, screen);
                saved.screenWidthMm = DisplayWidthMM(x, screen);
                saved.screenHeightMm = DisplayHeightMM(x, screen);
            }
            if (crtc) {
                XRRFreeCrtcInfo(crtc);
            }
        }
        if (resources) {
            XRRFreeScreenResources(resources);
        }
        platform.modeSaved = found;
    }
    platform.modeToGiveBack = platform.modeSaved.load();
}

void GiveBackSavedMode(Display *x) {
    if (!x || !platform.modeToGiveBack.exchange(false)) {
        return;
    }
    SavedMode &saved = platform.saved;
    const Window root = DefaultRootWindow(x);
    // The root window's size now: the connection's own note of it may be out of date.
    Window parent = 0;
    int left = 0, top = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(x, root, &parent, &left, &top, &width, &height, &border, &depth);
    if (static_cast<int>(width) < saved.screenWidth ||
        static_cast<int>(height) < saved.screenHeight) {
        XRRSetScreenSize(x, root, saved.screenWidth, saved.screenHeight, saved.screenWidthMm,
                         saved.screenHeightMm);
    }
    XRRScreenResources *resources = XRRGetScreenResourcesCurrent(x, root);
    if (resources) {
        XRRSetCrtcConfig(x, resources, saved.crtc, CurrentTime, saved.x, saved.y, saved.mode,
                         saved.rotation, saved.outputs, saved.outputCount);
        XRRFreeScreenResources(resources);
    }
    XSync(x, False);
}

} // namespace

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags) {
    if (!mode) {
        // Back to the mode the display had, made whatever the flags (CDS_RESET needs nothing
        // more): SDL restores it as the fullscreen window leaves fullscreen, then the platform.
        // A refusal of either is no lost display: SDL's is mended by the platform's, and the
        // platform's is asked for once more (the screen may not have its size back yet).
        platform.modeSet = false;
        platform.givingBack = true;
        for (HWND window : platform.windows) {
            if (window->fullscreen) {
                window->fullscreen = false;
                SDL_SetWindowFullscreen(window->sdl, 0);
            }
        }
        if (platform.modeToGiveBack && platform.x) {
            if (Display *sdl = platform.sdlDisplay) {
                XSync(sdl, False);
            }
            for (int attempt = 0; attempt < 2 && (attempt == 0 || platform.refusal); ++attempt) {
                platform.refusal = 0;
                platform.modeToGiveBack = true;
                GiveBackSavedMode(platform.x);
            }
            if (platform.refusal) {
                char name[80];
                const bool named = *XErrorName(platform.x, platform.refusal, name, sizeof(name));
                ReportFailure("ChangeDisplaySettingsA",
                              "the X server refused the display's own mode (error %d%s%s)",
                              platform.refusal, named ? ", " : "", name);
            }
        }
        platform.givingBack = false;
        // From now on a termination request is handled as before the switch.
        platform.requestsClose = false;
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (mode->dmSize < offsetof(DEVMODEA, dmICMMethod)) {
        ReportFailure("ChangeDisplaySettingsA", "the mode record's size %u is too small",
                      static_cast<unsigned>(mode->dmSize));
        return DISP_CHANGE_BADPARAM;
    }
    if (!EnsureVideo()) {
        return DISP_CHANGE_FAILED;
    }
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
        ReportFailure("ChangeDisplaySettingsA", "no display mode: %s", SdlReason().c_str());
        return DISP_CHANGE_FAILED;
    }
    const DWORD fields = mode->dmFields;
    const DWORD width = fields & DM_PELSWIDTH ? mode->dmPelsWidth : desktop.w;
    const DWORD height = fields & DM_PELSHEIGHT ? mode->dmPelsHeight : desktop.h;
    const int bits = fields & DM_BITSPERPEL
                         ? static_cast<int>(std::min<DWORD>(mode->dmBitsPerPel, 64))
                         : static_cast<int>(SDL_BITSPERPIXEL(desktop.format));
    const DWORD rate = fields & DM_DISPLAYFREQUENCY ? mode->dmDisplayFrequency : 0;
    // The display's own mode of that size, in the colour depth closest to the one asked for.
    bool found = false;
    SDL_DisplayMode best{};
    for (int i = 0, count = SDL_GetNumDisplayModes(0); i < count; ++i) {
        SDL_DisplayMode candidate;
        if (SDL_GetDisplayMode(0, i, &candidate) != 0 || static_cast<DWORD>(candidate.w) != width ||
            static_cast<DWORD>(candidate.h) != height ||
            (rate > 1 && static_cast<DWORD>(candidate.refresh_rate) != rate)) {
            continue;
        }
        const int distance = std::abs(static_cast<int>(SDL_BITSPERPIXEL(candidate.format)) - bits);
        if (!found || distance < std::abs(static_cast<int>(SDL_BITSPERPIXEL(best.format)) - bits)) {
            best = candidate;
            found = true;
        }
    }
    if (!found) {
        ReportFailure("ChangeDisplaySettingsA",
                      "the primary monitor offers no %u x %u mode%s (it runs %d x %d)",
                      static_cast<unsigned>(width), static_cast<unsigned>(height),
                      rate > 1 ? " at that rate" : "", desktop.w, desktop.h);
        return DISP_CHANGE_BADMODE;
    }
    if (flags & CDS_TEST) {
        return DISP_CHANGE_SUCCESSFUL;
    }
    platform.mode = best;
    platform.modeSet = true;
    if (!platform.atExitRegistered) {
        // A program that ends without asking gets the display back all the same.
        platform.atExitRegistered = std::atexit([] { ChangeDisplaySettingsA(nullptr, 0); }) == 0;
    }
    for (HWND window : platform.windows) {
        if (window->fullscreen) {
            SaveModeToRestore();
            SDL_SetWindowDisplayMode(window->sdl, &best);
        }
    }
    return DISP_CHANGE_SUCCESSFUL;
}

void SwitchModeAsShown(HWND window) {
    SaveModeToRestore();
    SDL_SetWindowDisplayMode(window->sdl, &platform.mode);
    SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN);
}

void GiveBackSavedModeWithin(int milliseconds) {
    int done[2];
    if (!platform.modeToGiveBack || pipe2(done, O_CLOEXEC) != 0) {
        return;
    }
    // The connection is opened and used on a thread of its own, which ends by closing its end of
    // the pipe; a server that does not answer keeps it, and the wait ends at the deadline.
    std::thread([end = done[1]] {
        if (Display *x = XOpenDisplay(platform.displayName)) {
            GiveBackSavedMode(x);
            XCloseDisplay(x);
        }
        close(end);
    }).detach();
    pollfd finished{done[0], POLLIN, 0};
    while (poll(&finished, 1, milliseconds) < 0 && errno == EINTR) {
    }
    close(done[0]);
}
