// What the parts of the platform share: the objects behind the handles, and the few queries the
// platform's own tests use. Not part of windows.h.
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

// Opens the video subsystem on first use. Without a display it says so once on standard error
// and fails from then on.
bool EnsureVideo();
// The X display the video subsystem runs on, or null.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the tag is Xlib's own.
struct _XDisplay *XDisplayOfPlatform();

// The live window behind a handle, or null for anything else.
HWND LiveWindow(HWND window);
HDC LiveDc(HDC dc);
HWND WindowOfSdlId(Uint32 id);
// The window that keyboard input from SDL belongs to. A fullscreen window that the X server has
// given the keyboard may not yet count as focused in SDL (no window manager tells it so), which
// leaves its key events without a window; they go to the active window, the one last shown.
HWND KeyboardWindow(Uint32 id);
// True once after a termination signal arrived while the display was switched; the frame loop
// turns it into a close request.
bool TakeTerminationRequest();
// From now on a termination signal that is not ignored becomes a close request, and if the frame
// loop does not end on it soon, the platform gives the display back and ends the process.
void CloseOnTerminationRequest();
// Makes the platform's callbacks the ones Xlib calls on an X error and on the loss of a
// connection, after SDL has set its own.
void WatchDisplay(struct _XDisplay *x);
// The connection SDL draws the windows through, once a window shows it; starts the watchdog that
// ends the process when the frame loop does not act soon on an X error or a termination request.
void WatchSdlDisplay(struct _XDisplay *x);
// After an X error: says that the display went away, gives the display back where it still
// answers, and ends the process with status 1. Nothing when there was none.
void EndIfDisplayWentAway();
// Notes the mode of the monitor at `bounds`, and the screen's size, before the platform switches
// it.
void SaveModeToRestore(struct _XDisplay *x, const SDL_Rect &bounds);
// After SDL's own restore: sets the saved mode, place and screen size again where SDL did not,
// then forgets them.
void GiveBackSavedMode(struct _XDisplay *x);
// Calls the window procedure of the window's class, as a sent message.
LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The visual id of the pixel format a new window starts with, and that of a given format.
unsigned long DefaultWindowVisual();
unsigned long VisualOfPixelFormat(int format);
// Sets the SDL attributes that make a context of the DC's pixel format.
void ApplyPixelFormat(HDC dc);
// Gives the window a new SDL window of the given visual, keeping its title, place and state.
bool RecreateWindow(HWND window, unsigned long visual);

// Writes "boxwalk: OPERATION: REASON" on standard error, once for each distinct line.
void ReportFailure(const char *operation, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// SDL's account of its last failure, never empty.
std::string SdlReason();

// Text converted between the program's 8-bit code page and UTF-8. Malformed UTF-8 (a stray or
// missing continuation byte, an over-long form, a surrogate, a byte no UTF-8 has) becomes '?',
// one for each malformed piece, as does every character the code page lacks.
std::string AnsiToUtf8(const char *text);
std::string Utf8ToAnsi(const char *text);
// The code point of an 8-bit character, and the 8-bit character of a code point ('?' if none).
unsigned CodePointOfAnsi(unsigned char c);
unsigned char AnsiOfCodePoint(unsigned codePoint);

// For tests: what CreateFontA matched.
struct FontFacts {
    std::string family;
    std::string style;
    std::string file;
    int ascent = 0, descent = 0; // pixels above and below the baseline; their sum is the cell
    bool symbol = false;         // matched as a symbol face
};
bool QueryFont(HFONT font, FontFacts *facts);
