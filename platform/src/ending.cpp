// How the program ends when it cannot end through its own quit path: the display going away
// under it, and a termination request while the display is switched.
//
// Xlib calls its error callbacks with the connection locked, so nothing in them may talk to the
// server again: SDL's own error callback, which gives the displays their modes back from inside
// the callback, waits there for ever on that lock. The platform's callbacks only take note (an
// error) or end the process at once (the connection lost, where no mode is left to give back);
// the display is given back outside the callbacks, where it still exists.
//
// A watchdog thread sees to it that the program ends even where its frame loop cannot: after a
// termination request, and after an X error that the loop does not act on soon (a frame drawn
// into a window the server has already taken away can take seconds, as GL then works with a
// size the server never gave).
#include "platform.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// An X error: the server refused a request, on the program's windows that it destroyed or
// otherwise. Noted by the callback, acted on by the next pass of the frame loop.
std::atomic<bool> displayFailed{false};
std::atomic<int> failedError{0}, failedRequest{0}, failedMinor{0};
std::string displayName;

// The connections the platform draws through: its own and SDL's. Errors on any other (a message
// box's, or a test's own in the same process) go to the callback that was there before.
std::atomic<Display *> platformDisplay{nullptr}, sdlDisplay{nullptr};
XErrorHandler previousErrorHandler = nullptr;

// What wakes the watchdog: a termination signal's number, or this for an X error.
const unsigned char displayFailedNote = 0;
int requestPipe[2] = {-1, -1};

void WakeWatchdog(unsigned char note) {
    if (requestPipe[1] >= 0 && write(requestPipe[1], &note, 1) < 0) {
        // The frame loop still sees the flag.
    }
}

int OnXError(Display *x, XErrorEvent *event) {
    if (x != platformDisplay && x != sdlDisplay) {
        return previousErrorHandler ? previousErrorHandler(x, event) : 0;
    }
    if (!displayFailed.exchange(true)) {
        failedError = event->error_code;
        failedRequest = event->request_code;
        failedMinor = event->minor_code;
        WakeWatchdog(displayFailedNote);
    }
    return 0;
}

std::string FailedRequestReason() {
    char why[160];
    std::snprintf(why, sizeof(why), "the X server failed request %d.%d with error %d",
                  failedRequest.load(), failedMinor.load(), failedError.load());
    return why;
}

// Said once, from whichever thread notices first.
void SayDisplayWentAway(const char *why) {
    static std::atomic<bool> said{false};
    if (!said.exchange(true)) {
        char line[512];
        const int length =
            std::snprintf(line, sizeof(line), "boxwalk: the display went away: %s\n", why);
        if (length > 0 && write(STDERR_FILENO, line, static_cast<size_t>(length)) < 0) {
            // Nothing more can be said without standard error.
        }
    }
}

int OnXIOError(Display *) {
    const std::string why = "the connection to the X server \"" + displayName + "\" was lost";
    SayDisplayWentAway(why.c_str());
    _exit(1);
}

// The mode the primary monitor had before the program switched it, for giving it back from a
// connection of the platform's own when the frame loop cannot.
struct SavedCrtc {
    bool saved = false;
    RRCrtc crtc = 0;
    RRMode mode = 0;
    int x = 0, y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
    int screenWidth = 0, screenHeight = 0, screenWidthMm = 0, screenHeightMm = 0;
};
SavedCrtc savedCrtc;
std::atomic<bool> restoreDone{false};

// Termination requests: the signal handler writes the signal's number into a pipe that the
// watchdog thread waits on.
volatile std::sig_atomic_t terminationRequested = 0;
std::atomic<bool> requestTaken{false};
const auto takeWithin = std::chrono::milliseconds(1000);
const auto endWithin = std::chrono::milliseconds(1700);
const auto endAfterErrorWithin = std::chrono::milliseconds(500);
const auto restoreWithin = std::chrono::milliseconds(250);

void OnTerminationRequest(int signal) {
    terminationRequested = 1;
    WakeWatchdog(static_cast<unsigned char>(signal));
}

// Gives the monitor its saved mode and place, on a screen at least as large as it was.
void ApplySavedCrtc(Display *x) {
    const Window root = DefaultRootWindow(x);
    // The root window's size now: the connection's own note of it may be out of date.
    Window parent = 0;
    int left = 0, top = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(x, root, &parent, &left, &top, &width, &height, &border, &depth);
    if (static_cast<int>(width) < savedCrtc.screenWidth ||
        static_cast<int>(height) < savedCrtc.screenHeight) {
        XRRSetScreenSize(x, root, savedCrtc.screenWidth, savedCrtc.screenHeight,
                         savedCrtc.screenWidthMm, savedCrtc.screenHeightMm);
    }
    XRRScreenResources *resources = XRRGetScreenResourcesCurrent(x, root);
    if (resources) {
        XRRSetCrtcConfig(x, resources, savedCrtc.crtc, CurrentTime, savedCrtc.x, savedCrtc.y,
                         savedCrtc.mode, savedCrtc.rotation, savedCrtc.outputs.data(),
                         static_cast<int>(savedCrtc.outputs.size()));
        XRRFreeScreenResources(resources);
    }
    XSync(x, False);
}

void RestoreSavedCrtc() {
    if (!savedCrtc.saved) {
        return;
    }
    Display *x = XOpenDisplay(displayName.c_str());
    if (!x) {
        return; // the server is gone: no mode is left to give back
    }
    ApplySavedCrtc(x);
    XCloseDisplay(x);
    restoreDone = true;
}

// Gives the display back from a connection of its own, waiting for a server that does not answer
// no longer than `restoreWithin`.
void RestoreSoon() {
    std::thread(RestoreSavedCrtc).detach();
    const auto restoreStarted = std::chrono::steady_clock::now();
    while (savedCrtc.saved && !restoreDone &&
           std::chrono::steady_clock::now() - restoreStarted < restoreWithin) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// After an X error the frame loop ends the program at its next pass. When that pass has not come
// within half a second, the watchdog says why, gives the display back where it still answers and
// ends the process. An error that the platform mended meanwhile (a refused restore of SDL's) ends
// nothing.
bool EndAfterError() {
    std::this_thread::sleep_for(endAfterErrorWithin);
    if (!displayFailed) {
        return false;
    }
    SayDisplayWentAway(FailedRequestReason().c_str());
    RestoreSoon();
    _exit(1);
}

// Waits for a termination request or an X error. The frame loop takes a termination request as a
// close request and ends through the program's quit path; when the loop has not taken it within a
// second (a swap that does not return, a display that does not answer), or has not ended soon
// after, the watchdog gives the display back itself and ends the process as the signal would
// have.
void Watch() {
    unsigned char note = displayFailedNote;
    do {
        while (read(requestPipe[0], &note, 1) != 1) {
            if (errno != EINTR) {
                return;
            }
        }
    } while (note == displayFailedNote && !EndAfterError());
    const int signal = note;
    const auto requested = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - requested < endWithin) {
        if (!requestTaken && std::chrono::steady_clock::now() - requested >= takeWithin) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::fprintf(stderr,
                 "boxwalk: the frame loop did not end on the termination request; giving the "
                 "display back and ending\n");
    RestoreSoon();
    std::signal(signal, SIG_DFL);
    kill(getpid(), signal);
    _exit(128 + signal);
}

} // namespace

void WatchDisplay(Display *x) {
    displayName = DisplayString(x);
    platformDisplay = x;
    // A write to a server that has just closed the connection fails, and the loss is reported
    // through the callback below, instead of the process dying silently of SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    // Set after SDL has set its own, so that the platform's are the ones Xlib calls.
    previousErrorHandler = XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
}

void WatchSdlDisplay(Display *x) {
    sdlDisplay = x;
    // The watchdog starts with the first window, after the prompt: SDL shows its message box
    // from a process of its own, forked, and a fork is only safe while the program runs one
    // thread (with the sanitizers, the forked box then hangs as it ends).
    if (requestPipe[0] < 0) {
        if (pipe(requestPipe) != 0) {
            ReportFailure("CreateWindowExA", "no pipe for the display's watchdog: %s",
                          std::strerror(errno));
            return;
        }
        std::thread(Watch).detach();
        if (displayFailed) {
            WakeWatchdog(displayFailedNote); // an error noted before the watchdog was there
        }
    }
}

void EndIfDisplayWentAway() {
    if (!displayFailed) {
        return;
    }
    SayDisplayWentAway(FailedRequestReason().c_str());
    // Where the server still answers, it gets its mode back; where it does not, the loss of the
    // connection ends the process from its callback.
    ChangeDisplaySettingsA(nullptr, 0);
    std::exit(1);
}

void SaveModeToRestore(Display *x, const SDL_Rect &bounds) {
    if (savedCrtc.saved || !x) {
        return; // the mode from before the first switch is the one to give back
    }
    savedCrtc = SavedCrtc{};
    XRRScreenResources *resources = XRRGetScreenResourcesCurrent(x, DefaultRootWindow(x));
    for (int i = 0; resources && i < resources->ncrtc && !savedCrtc.saved; ++i) {
        XRRCrtcInfo *crtc = XRRGetCrtcInfo(x, resources, resources->crtcs[i]);
        if (crtc && crtc->mode && crtc->noutput > 0 && crtc->x == bounds.x && crtc->y == bounds.y &&
            static_cast<int>(crtc->width) == bounds.w &&
            static_cast<int>(crtc->height) == bounds.h) {
            savedCrtc.crtc = resources->crtcs[i];
            savedCrtc.mode = crtc->mode;
            savedCrtc.x = crtc->x;
            savedCrtc.y = crtc->y;
            savedCrtc.rotation = crtc->rotation;
            savedCrtc.outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
            const int screen = DefaultScreen(x);
            savedCrtc.screenWidth = DisplayWidth(x, screen);
            savedCrtc.screenHeight = DisplayHeight(x, screen);
            savedCrtc.screenWidthMm = DisplayWidthMM(x, screen);
            savedCrtc.screenHeightMm = DisplayHeightMM(x, screen);
            savedCrtc.saved = true;
        }
        if (crtc) {
            XRRFreeCrtcInfo(crtc);
        }
    }
    if (resources) {
        XRRFreeScreenResources(resources);
    }
}

void GiveBackSavedMode(Display *x) {
    // SDL gives a monitor its mode back on a screen the size of that mode alone, which leaves a
    // primary monitor right of another outside the screen and switched off: the saved mode and
    // place are set again, on the screen's own size.
    if (savedCrtc.saved && x) {
        // SDL's requests first; a refusal of its own restore is mended here, not a lost display.
        const bool failedBefore = displayFailed;
        if (sdlDisplay) {
            XSync(sdlDisplay, False);
        }
        if (!failedBefore) {
            displayFailed = false;
        }
        ApplySavedCrtc(x);
    }
    savedCrtc.saved = false;
}

// While the display runs in a switched mode, a request to terminate (Ctrl-C, kill, a closing
// terminal) becomes a close request to the active window, so that the program ends through its
// own quit path and gives the display back. A second request ends it at once. A signal that was
// set to be ignored when the program started (as nohup does for SIGHUP) stays ignored.
void CloseOnTerminationRequest() {
    if (requestPipe[0] < 0) {
        return; // without the watchdog, a termination request ends the program as it always does
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        sigaction(signal, nullptr, &current);
        if (current.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
}

bool TakeTerminationRequest() {
    const bool requested = terminationRequested != 0;
    terminationRequested = 0;
    if (requested) {
        requestTaken = true;
    }
    return requested;
}
