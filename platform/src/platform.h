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
// True once after a termination signal arrived while the display was switched.
bool TakeTerminationRequest();
// Calls the window procedure of the window's class, as a sent message.
LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The visual id of the pixel format a new window starts with, and that of a given format.
unsigned long DefaultWindowVisual();
unsigned long VisualOfPixelFormat(int format);
// Sets the SDL attributes that make a context of the DC's pixel format.
void ApplyPixelFormat(HDC dc);
// Gives the window a new SDL window of the given visual, keeping its title, place and state.
bool RecreateWindow(HWND window, unsigned long visual);

// Text converted between the program's 8-bit code page and UTF-8.
std::string AnsiToUtf8(const char *text);
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
