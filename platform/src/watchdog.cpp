// How the program ends when it cannot end through its own quit path: the display going away
// under it, and a termination request while the display is switched. Xlib calls its error
// callbacks with the connection locked, so they only take note (an error) or end the process (the
// connection lost, the program's window gone); SDL's own, which talks to the server from there,
// would wait for ever. A watchdog thread ends the program where its frame loop cannot: after a
// termination request, and after an X error the loop does not act on soon (a frame drawn into a
// window the server has taken away can take seconds, as GL then works with a size the server
// never gave).
#include "platform.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>
#include <wayland-client-core.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// What wakes the watchdog: a signal's number, an X error, the frame loop taking a request.
const int xErrorNote = 0, requestTakenNote = 255;
const auto takeWithin = std::chrono::milliseconds(1000);
const auto endWithin = std::chrono::milliseconds(1700);
const auto endAfterErrorWithin = std::chrono::milliseconds(500);
const int giveBackWithinMs = 250;
// Beside an X error's codes in a packed failure: the error came on SDL's connection.
const std::uint32_t onSdlConnection = 1u << 25;
const int terminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Safe in a signal handler: the pipe does not block, and errno is kept.
void Note(int note) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(note);
    // A full pipe already holds a note that wakes the watchdog.
    [[maybe_unused]] const ssize_t written =
        platform.notes[1] >= 0 ? write(platform.notes[1], &byte, 1) : 0;
    errno = savedErrno;
}

// The next note, waiting until `deadline` at the most (none: for ever); -1 once it has passed,
// -2 when the pipe fails.
int NextNote(const Clock::time_point *deadline) {
    for (;;) {
        int timeout = -1;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) {
                return -1;
            }
            timeout = static_cast<int>(left);
        }
        pollfd readable{platform.notes[0], POLLIN, 0};
        const int ready = poll(&readable, 1, timeout);
        unsigned char note = 0;
        if (ready > 0 && read(platform.notes[0], &note, 1) == 1) {
            return note;
        }
        if (ready < 0 && errno != EINTR) {
            return -2;
        }
    }
}

[[noreturn]] void EndForXFailure(std::uint32_t failure) {
    // An extension's errors are named by the connection that took the extension in.
    Display *x = failure & onSdlConnection ? platform.sdlDisplay.load() : platform.x;
    const unsigned code = failure >> 16 & 0xff;
    char name[80];
    const bool named = *XErrorName(x, static_cast<int>(code), name, sizeof(name));
    char line[300];
    std::snprintf(line, sizeof(line),
                  "the display went away: the X server failed request %u.%u with error %u%s%s%s",
                  failure >> 8 & 0xff, failure & 0xff, code, named ? " (" : "", name,
                  named ? ")" : "");
    EndProcess(1, 0, line);
}

int OnXError(Display *x, XErrorEvent *event) {
    if (x != platform.x && x != platform.sdlDisplay) {
        return platform.previousErrorHandler ? platform.previousErrorHandler(x, event) : 0;
    }
    if (platform.givingBack) {
        platform.refusal = event->error_code; // on the thread giving the display back
        return 0;
    }
    // The codes and the note that there was an error are one value, published at once.
    const std::uint32_t failure = (x == platform.sdlDisplay ? onSdlConnection : 0) | 1u << 24 |
                                  std::uint32_t{event->error_code} << 16 |
                                  std::uint32_t{event->request_code} << 8 | event->minor_code;
    // The program's own window gone: the GL library asked for its size and goes on with whatever
    // the refused request left in its answer, which a frame drawn with it can take for a buffer
    // of any size. The program ends here, before the library goes on.
    if ((event->error_code == BadWindow || event->error_code == BadDrawable) &&
        event->resourceid == platform.sdlWindow && event->resourceid != 0) {
        EndForXFailure(failure);
    }
    std::uint32_t none = 0;
    if (platform.xFailure.compare_exchange_strong(none, failure)) {
        Note(xErrorNote);
    }
    return 0;
}

int OnXIOError(Display *) {
    char line[400];
    std::snprintf(line, sizeof(line),
                  "the display went away: the connection to the X server \"%s\" was lost",
                  platform.displayName);
    EndProcess(1, 0, line);
}

void OnTerminationRequest(int signal) {
    if (!platform.requestsClose) {
        // The display has been given back: the request ends the program as it would have.
        for (int i = 0; i < 3; ++i) {
            if (terminationSignals[i] == signal) {
                sigaction(signal, &platform.previousActions[i], nullptr);
            }
        }
        raise(signal);
        return;
    }
    platform.terminationRequest = signal;
    Note(signal);
}

// After an X error the frame loop ends the program at its next pass; when that pass has not come
// within half a second, the watchdog ends it. An error that the platform mended meanwhile (a
// refused restore of SDL's) ends nothing. Returns a termination request that came meanwhile.
int AwaitEndAfterError() {
    const auto deadline = Clock::now() + endAfterErrorWithin;
    int request = -1;
    for (int note = 0; (note = NextNote(&deadline)) >= 0;) {
        if (note != xErrorNote && note != requestTakenNote) {
            request = note;
        }
    }
    EndIfDisplayWentAway();
    return request;
}

// The frame loop takes a termination request as a close request and ends through the program's
// quit path; when it has not taken it within a second (a swap that does not return, a display
// that does not answer), or has not ended soon after, the watchdog ends the process as the signal
// would have.
void Watch() {
    for (;;) {
        int note = NextNote(nullptr);
        if (note == xErrorNote) {
            note = AwaitEndAfterError();
        }
        if (note == -2) {
            return; // without the pipe the frame loop still acts on every request
        }
        if (note < 0 || note == requestTakenNote) {
            continue;
        }
        const auto requested = Clock::now();
        auto deadline = requested + takeWithin;
        for (int next = 0; (next = NextNote(&deadline)) >= 0;) {
            if (next == requestTakenNote) {
                deadline = requested + endWithin;
            }
        }
        EndProcess(128 + note, note,
                   "the frame loop did not end on the termination request; giving the display "
                   "back and ending");
    }
}

} // namespace

bool EnsureWatchedVideo() {
    if (!EnsureVideo()) {
        return false;
    }
    Display *x = platform.x;
    if (!x || platform.xWatched) {
        return true;
    }
    platform.xWatched = true;
    std::snprintf(platform.displayName, sizeof(platform.displayName), "%s", DisplayString(x));
    // A write to a server that has just closed the connection fails, and the loss is reported
    // through the callback below, instead of the process dying silently of SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    // Set after SDL has set its own, so that the platform's are the ones Xlib calls.
    platform.previousErrorHandler = XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    return true;
}

namespace {

void StartWatchdog() {
    // The watchdog starts with the first window, after the prompt: SDL shows its message box
    // from a process of its own, forked, and a fork is only safe while the program runs one
    // thread (with the sanitizers, the forked box then hangs as it ends).
    if (platform.notes[0] >= 0) {
        return;
    } else if (pipe2(platform.notes, O_NONBLOCK | O_CLOEXEC) != 0) {
        ReportFailure("CreateWindowExA", "no pipe for the display's watchdog: %s",
                      std::strerror(errno));
        return;
    }
    std::thread(Watch).detach();
    if (platform.xFailure) {
        Note(xErrorNote); // an error noted before the watchdog was there
    }
}

} // namespace

void WatchSdlDisplay(Display *x, unsigned long window) {
    platform.sdlDisplay = x;
    platform.sdlWindow = window;
    StartWatchdog();
}

void WatchWaylandDisplay(wl_display *wayland) {
    platform.wayland = wayland;
    StartWatchdog();
}

// A second request ends the program at once; a signal that was set to be ignored when the
// program started (as nohup does for SIGHUP) stays ignored.
void CloseOnTerminationRequest() {
    if (platform.notes[0] < 0 || platform.requestsClose) {
        return; // without the watchdog, a termination request ends the program as it always does
    }
    struct sigaction action = {};
    action.sa_handler = OnTerminationRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int i = 0; i < 3; ++i) {
        if (!platform.actionsSaved) {
            sigaction(terminationSignals[i], nullptr, &platform.previousActions[i]);
        }
        if (platform.previousActions[i].sa_handler != SIG_IGN) {
            sigaction(terminationSignals[i], &action, nullptr);
        }
    }
    platform.actionsSaved = true;
    platform.requestsClose = true;
}

bool TakeTerminationRequest() {
    if (platform.terminationRequest.exchange(0) == 0) {
        return false;
    }
    Note(requestTakenNote);
    return true;
}

namespace {

[[noreturn]] void EndForLostCompositor(int error) {
    char line[400];
    std::snprintf(line, sizeof(line),
                  "the display went away: the connection to the Wayland compositor \"%s\" was "
                  "lost (%s)",
                  platform.displayName, std::strerror(error));
    EndProcess(1, 0, line);
}

} // namespace

void EndIfDisplayWentAway() {
    // SDL reads the compositor's events; an error there is the connection's end.
    if (const int error = platform.wayland ? wl_display_get_error(platform.wayland) : 0) {
        EndForLostCompositor(error);
    }
    if (const std::uint32_t failure = platform.xFailure) {
        EndForXFailure(failure);
    }
}

void EndIfCompositorWentAway() {
    const char *driver = SDL_GetCurrentVideoDriver();
    if (platform.x || platform.wayland || !driver || std::strcmp(driver, "wayland") != 0) {
        return;
    }
    // SDL's connection is not the platform's to see before the first window: a new one tells
    // whether the compositor still takes clients.
    wl_display *probe = wl_display_connect(platform.displayName);
    if (!probe) {
        EndForLostCompositor(errno ? errno : ECONNREFUSED);
    }
    wl_display_disconnect(probe);
}

void EndProcess(int status, int signal, const char *line) {
    // The first thread to end the process does it; any other waits for the end.
    static std::atomic<bool> ending{false};
    while (ending.exchange(true)) {
        pause();
    }
    GiveBackSavedModeWithin(giveBackWithinMs);
    char text[512];
    const int length = std::snprintf(text, sizeof(text), "boxwalk: %s\n", line);
    // Nothing more can be said where standard error is gone.
    [[maybe_unused]] const ssize_t written =
        length > 0 ? write(STDERR_FILENO, text, std::min<size_t>(length, sizeof(text) - 1)) : 0;
    if (signal > 0) {
        // Ends the process as the signal does by default, from this thread, where it is let in.
        struct sigaction byDefault = {};
        byDefault.sa_handler = SIG_DFL;
        sigaction(signal, &byDefault, nullptr);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        raise(signal);
    }
    _exit(status);
}
