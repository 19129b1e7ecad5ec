// What the parts of the platform offer each other: the objects behind the handles, and the
// services one part does for another. Not part of windows.h.
#pragma once

#include <windows.h>

#include <SDL.h>

#include <string>

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
    unsigned long visual = 0;  // X visual the SDL window was made with
    HDC__ dc;
};

struct HGLRC__ {
    SDL_GLContext sdl = nullptr;
    HDC dc = nullptr;
};

// NOLINTNEXTLINE(bugprone-reserved-identifier): the tag is Xlib's own.
struct _XDisplay;

// Start-up (startup.cpp). Opens the video subsystem and the platform's connection to the X
// server on first use; without a display it says so once on standard error and fails from then
// on. Where the primary monitor lies: window positions start at its corner, as on Windows.
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

// The mode to give back (saved_mode.cpp). Notes the primary monitor's mode before the platform
// switches it; gives it back from the given connection, or, for the way out, from a connection
// of its own, waiting for a server that does not answer no longer than `milliseconds`.
void SaveModeToRestore();
void GiveBackSavedMode(struct _XDisplay *x);
void GiveBackSavedModeWithin(int milliseconds);

// Pixel formats (gl.cpp): the visual id a new window starts with, and that of a given format;
// the SDL attributes that make a context of the DC's pixel format.
unsigned long DefaultWindowVisual();
unsigned long VisualOfPixelFormat(int format);
void ApplyPixelFormat(HDC dc);

// The watchdog (watchdog.cpp). Makes the platform's callbacks the ones Xlib calls on an X error
// and on the loss of a connection, after SDL has set its own; then, with the connection SDL draws
// through, starts the watchdog thread that ends the process when the frame loop does not act
// soon on an X error or a termination request.
void WatchDisplay(struct _XDisplay *x);
void WatchSdlDisplay(struct _XDisplay *x);
// While the display is switched, a termination signal that is not ignored becomes a close
// request; once it is given back, the signals are handled as before.
void CloseOnTerminationRequest();
void PutBackTerminationHandlers();
// True once for each termination request; the frame loop turns it into a close request.
bool TakeTerminationRequest();
// After an X error: ends the process with status 1 through the way out. Nothing when none.
void EndIfDisplayWentAway();
// The way out: gives the display back where the server still answers, writes "boxwalk: LINE",
// and ends the process as `signal` would (0: none) or else with `status`.
[[noreturn]] void EndProcess(int status, int signal, const char *line);

// Failure reports (report.cpp): "boxwalk: OPERATION: REASON" on standard error, once for each
// distinct line; SDL's account of its last failure, never empty.
void ReportFailure(const char *operation, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
std::string SdlReason();

// The code page (codepage.cpp). Text converted between the program's 8-bit code page and UTF-8.
// Malformed UTF-8 (a stray or missing continuation byte, an over-long form, a surrogate, a byte
// no UTF-8 has) becomes '?', one for each malformed piece, as does every character the code page
// lacks. The code point of an 8-bit character, and the 8-bit character of a code point ('?' if
// none).
std::string AnsiToUtf8(const char *text);
std::string Utf8ToAnsi(const char *text);
unsigned CodePointOfAnsi(unsigned char c);
unsigned char AnsiOfCodePoint(unsigned codePoint);
