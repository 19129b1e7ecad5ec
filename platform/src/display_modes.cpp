// Display modes: the switch to a mode of the primary monitor, made as its fullscreen window shows,
// and the way back, through SDL and XRandR.
#include "platform.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

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
                ReportFailure("ChangeDisplaySettingsA",
                              "the X server refused the display's own mode (error %d)",
                              platform.refusal);
            }
        }
        platform.givingBack = false;
        PutBackTerminationHandlers();
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
