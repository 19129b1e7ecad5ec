// The mode the primary monitor had before the program switched it, read and set again through
// XRandR. SDL gives a monitor its mode back on a screen the size of that mode alone, which leaves
// a primary monitor right of another outside the screen and switched off: the saved mode and
// place are set again, on a screen at least as large as it was.
#include "platform.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

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
