// What the parts of the platform share: the objects behind the handles, the services one part
// does for another, and the state. Not part of windows.h.
#pragma once

#include <windows.h>

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

struct wl_display;

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

struct HDC__ {
    HWND window = nullptr;
    int pixelFormat = 0; // 1-based, 0 until SetPixelFormat
    HFONT font = nullptr;
};

struct HWND__ {
    SDL_Window *sdl = nullptr;
    int windowClass = -1;
    DWORD style = 0;
    int width = 0, height = 0; // last client size reported through WM_SIZE
    bool fullscreen = false;   // covers the display in the mode that ChangeDisplaySettingsA set
    unsigned long visual = 0;  // X visual or EGL configuration the SDL window was made with
    HDC__ dc;
};

struct HGLRC__ {
    SDL_GLContext sdl = nullptr;
    HDC dc = nullptr;
};

// The handle when it is among the live ones, or null.
template <typename Handle> Handle FindLive(const std::vector<Handle> &live, const void *handle) {
    const auto found = std::find(live.begin(), live.end(), handle);
    return handle && found != live.end() ? *found : nullptr;
}

// Start-up (startup.cpp). Opens the video subsystem on X, with the platform's connection to the
// X server, or on Wayland, on first use; without a display it says so once on standard error and
// fails from then on. Where the primary monitor lies: window positions start at its corner, as on
// Windows. The X connection is watched from the first message box or window on
// (EnsureWatchedVideo).
bool EnsureVideo();
SDL_Rect PrimaryBounds();

// Windows (windows.cpp). The live window behind a handle, or null for anything else.
HWND LiveWindow(HWND window);
HDC LiveDc(HDC dc);
HWND WindowOfSdlId(Uint32 id);
// The window that keyboard input from SDL belongs to. A fullscreen window that the X server has
// given the keyboard may not yet count as focused in SDL (no window manager tells it so), which
// leaves its key events without a window; they go to the active window, the one last shown.
HWND KeyboardWindow(Uint32 id);
// Calls the window procedure of the window's class, as a sent message.
LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Gives the window a new SDL window of the given visual, keeping its title, place and state.
bool RecreateWindow(HWND window, unsigned long visual);

// Display modes (display_modes.cpp), beside ChangeDisplaySettingsA, which switches and gives back:
// the switch as a fullscreen window shows, after the primary monitor's own mode is saved; and
// for the way out, the mode given back from a connection of its own, waiting for a server that
// does not answer no longer than `milliseconds`.
void SwitchModeAsShown(HWND window);
void GiveBackSavedModeWithin(int milliseconds);

// Pixel formats (pixel_formats.cpp): the display's, read once it is known; the one closest to a
// request (0: none) and the one numbered `format` (null: none); a new window's visual, a
// format's, and the SDL attributes of a DC's format or of a visual's (on Wayland SDL chooses a
// new window's EGL configuration by them).
struct PixelFormat;
const std::vector<PixelFormat> &Formats();
int ClosestPixelFormat(const PIXELFORMATDESCRIPTOR &request);
const PixelFormat *FormatOf(int format);
unsigned long DefaultWindowVisual();
unsigned long VisualOfPixelFormat(int format);
void ApplyPixelFormat(HDC dc);
void AskForVisual(unsigned long visual);

// The watchdog (watchdog.cpp): the video opened as EnsureVideo opens it, with the platform's
// callbacks for X errors and a lost connection on X from then on; with SDL's connection, the
// thread that ends the process when the frame loop does not act soon.
bool EnsureWatchedVideo();
void WatchSdlDisplay(Display *x, unsigned long window);
// On Wayland: SDL's connection to the compositor, watched for its loss, and the watchdog thread.
void WatchWaylandDisplay(wl_display *wayland);
// While the display is switched, a termination signal not ignored becomes a close request, taken
// once by the frame loop; once it is given back (requestsClose cleared), the signals are handled
// as before.
void CloseOnTerminationRequest();
bool TakeTerminationRequest();
// After an X error or the loss of the Wayland connection: ends the process with status 1 through
// the way out. Nothing when neither.
void EndIfDisplayWentAway();
// On Wayland before the first window, when a message box or the window could not be made: ends
// the process likewise where the compositor is gone.
void EndIfCompositorWentAway();
// The way out: gives the display back where the server still answers, writes "boxwalk: LINE",
// and ends the process as `signal` would (0: none) or else with `status`.
[[noreturn]] void EndProcess(int status, int signal, const char *line);

// The mends of SDL's Wayland keyboard (virtual_keyboard.cpp): says once where SDL does not reach
// them.
void CheckKeyboardMends();

// Failure reports (report.cpp): "boxwalk: OPERATION: REASON" on standard error, once for each
// distinct line; SDL's account of its last failure, never empty.
void ReportFailure(const char *operation, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
std::string SdlReason();
// Xlib's name for an X error code (BadValue, or an extension's, as BadRRCrtc) in `name`, empty
// where Xlib knows none; returns `name`. Safe in Xlib's error callbacks.
const char *XErrorName(Display *x, int code, char *name, size_t size);

// The code page (codepage.cpp): text between the program's 8-bit code page and UTF-8, where each
// malformed piece of UTF-8 and each character the code page lacks becomes '?'; the code point of
// an 8-bit character, and the 8-bit character of a code point ('?' if none).
std::string AnsiToUtf8(const char *text);
std::string Utf8ToAnsi(const char *text);
unsigned CodePointOfAnsi(unsigned char c);
unsigned char AnsiOfCodePoint(unsigned codePoint);

// Everything the platform keeps, in one place that lives as long as the process: it is never
// destroyed, so that the watchdog's thread, which may still run while the process exits, never
// meets a destroyed object. The watchdog's thread reads only the atomics and what was set before
// it started.
struct FT_LibraryRec_;
struct WindowClass {
    std::string name;
    ATOM atom;
    WNDCLASSEXA record;
};
struct QueuedMessage {
    MSG msg;
    std::string text; // for a key press, the 8-bit characters the keyboard layout made of it
};
struct PixelFormat { // a GLX frame-buffer configuration, or on Wayland an EGL configuration
    bool usable = false;
    bool doubleBuffer = false, stereo = false, slow = false;
    int red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0, accum = 0, aux = 0;
    int samples = 0;
    unsigned long visual = 0; // the X visual, or the EGL configuration's id: what contexts share
};
struct SavedMode { // the primary monitor's mode and place, and the screen's size
    RRCrtc crtc;
    RRMode mode;
    int x, y;
    Rotation rotation;
    RROutput outputs[16];
    int outputCount;
    int screenWidth, screenHeight, screenWidthMm, screenHeightMm;
};
struct PlatformState {
    // Start-up, windows, display modes, messages, GL, fonts, failure reports.
    bool videoTried = false, videoOk = false, xWatched = false;
    Display *x = nullptr;          // the platform's own connection, on X
    wl_display *wayland = nullptr; // SDL's connection, on Wayland, once a window has been made
    char displayName[256] = {};
    std::vector<WindowClass> classes;
    std::vector<HWND> windows;
    int cursorCount = 0;
    HWND active = nullptr; // the window last shown: it has the keyboard
    bool modeSet = false, atExitRegistered = false;
    bool givingBack = false; // X errors meanwhile are refusals of the mode, kept in `refusal`
    int refusal = 0;
    SDL_DisplayMode mode{};
    SavedMode saved{}; // written once, before modeSaved says so
    std::atomic<bool> modeSaved{false}, modeToGiveBack{false};
    std::deque<MSG> posted;              // WM_CHAR from TranslateMessage: taken before input
    std::deque<QueuedMessage> input;     // from the window system
    std::deque<QueuedMessage> keysTaken; // key presses handed out, waiting for TranslateMessage
    bool quit = false;
    int quitCode = 0;
    bool formatsRead = false;
    std::vector<PixelFormat> formats;
    std::vector<HGLRC> contexts;
    bool fontsTried = false;
    FT_LibraryRec_ *fontLibrary = nullptr;
    std::vector<HFONT> fonts;
    std::set<std::string> symbolFamilies; // what fontconfig offers for "Symbol"
    std::set<std::string> reported;
    // The watchdog. xFailure packs an X error's codes, 0 while there was none; terminationRequest
    // is the signal of a request the frame loop has not taken yet.
    std::atomic<Display *> sdlDisplay{nullptr};
    std::atomic<unsigned long> sdlWindow{0}; // the X window of the program's window
    XErrorHandler previousErrorHandler = nullptr;
    std::atomic<std::uint32_t> xFailure{0};
    std::atomic<int> terminationRequest{0};
    int notes[2] = {-1, -1}; // the watchdog's pipe, made before it starts
    // While the display is switched a termination request closes the window; the actions the
    // signals had before, saved once.
    std::atomic<bool> requestsClose{false};
    bool actionsSaved = false;
    struct sigaction previousActions[3] = {};
};
extern PlatformState &platform; // state.cpp
