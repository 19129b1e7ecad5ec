// Window classes, windows and the cursor, over SDL2 on X11 or Wayland.
#include "platform.h"

#include <SDL_syswm.h>
#include <strings.h>

#include <algorithm>

struct HINSTANCE__ {};
struct HICON__ {};

namespace {

const int firstStockId = 32512;  // IDI_APPLICATION and IDC_ARROW
const int lastStockIcon = 32517; // IDI_WINLOGO
HINSTANCE__ programInstance;
HICON__ stockIcons[lastStockIcon - firstStockId + 1];
HICON__ arrowCursor;

bool IsAtom(LPCSTR name) {
    return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

int FindClass(LPCSTR name) {
    const auto &classes = platform.classes;
    for (size_t i = 0; i < classes.size(); ++i) {
        const bool same = IsAtom(name) ? classes[i].atom == reinterpret_cast<uintptr_t>(name)
                                       : strcasecmp(classes[i].name.c_str(), name) == 0;
        if (same) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void ApplyCursor() {
    if (platform.videoOk) {
        SDL_ShowCursor(platform.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    }
}

// Makes the SDL window of a platform window, hidden, with the given X visual, or on Wayland with
// a surface of the given EGL configuration (0: SDL's choice).
bool MakeSdlWindow(HWND window, const char *utf8Title, int x, int y, int width, int height,
                   unsigned long visual) {
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    const DWORD style = window->style;
    if ((style & WS_POPUP) && !(style & (WS_CAPTION | WS_THICKFRAME))) {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    if (style & WS_THICKFRAME) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    if (x == CW_USEDEFAULT) {
        x = y = SDL_WINDOWPOS_UNDEFINED;
    }
    if (width == CW_USEDEFAULT) {
        width = 640;
        height = 480;
    }
    const std::string visualId = visual ? std::to_string(visual) : std::string();
    SDL_SetHintWithPriority(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, visualId.c_str(),
                            SDL_HINT_OVERRIDE);
    if (!platform.x) {
        AskForVisual(visual);
    }
    window->sdl = SDL_CreateWindow(utf8Title, x, y, std::clamp(width, 1, 16384),
                                   std::clamp(height, 1, 16384), flags);
    SDL_SetHintWithPriority(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "", SDL_HINT_OVERRIDE);
    if (!window->sdl) {
        EndIfCompositorWentAway();
        ReportFailure("CreateWindowExA", "no window: %s", SdlReason().c_str());
        return false;
    }
    window->visual = visual;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    const bool known = SDL_GetWindowWMInfo(window->sdl, &info);
    if (known && info.subsystem == SDL_SYSWM_X11) {
        WatchSdlDisplay(info.info.x11.display, info.info.x11.window);
    } else if (known && info.subsystem == SDL_SYSWM_WAYLAND) {
        WatchWaylandDisplay(info.info.wl.display);
    }
    if (window->fullscreen) {
        // The switch happens as the window shows, on the monitor it lies on: the primary.
        CloseOnTerminationRequest();
        SwitchModeAsShown(window);
    }
    return true;
}

} // namespace

HWND LiveWindow(HWND window) {
    return FindLive(platform.windows, window);
}

HDC LiveDc(HDC dc) {
    for (HWND window : platform.windows) {
        if (dc && dc == &window->dc) {
            return dc;
        }
    }
    return nullptr;
}

HWND KeyboardWindow(Uint32 id) {
    const HWND window = WindowOfSdlId(id);
    return window ? window : LiveWindow(platform.active);
}

HWND WindowOfSdlId(Uint32 id) {
    SDL_Window *sdl = SDL_GetWindowFromID(id);
    for (HWND window : platform.windows) {
        if (sdl && window->sdl == sdl) {
            return window;
        }
    }
    return nullptr;
}

LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!LiveWindow(window)) {
        return 0;
    }
    return platform.classes[window->windowClass].record.lpfnWndProc(window, message, wParam,
                                                                    lParam);
}

bool RecreateWindow(HWND window, unsigned long visual) {
    SDL_Window *old = window->sdl;
    const std::string title = SDL_GetWindowTitle(old);
    int x, y, width, height;
    SDL_GetWindowPosition(old, &x, &y);
    SDL_GetWindowSize(old, &width, &height);
    const bool shown = SDL_GetWindowFlags(old) & SDL_WINDOW_SHOWN;
    if (!MakeSdlWindow(window, title.c_str(), x, y, width, height, visual)) {
        window->sdl = old;
        return false;
    }
    SDL_DestroyWindow(old);
    if (shown) {
        ShowWindow(window, SW_SHOW);
    }
    return true;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    return moduleName ? nullptr : &programInstance;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR iconName) {
    const uintptr_t id = reinterpret_cast<uintptr_t>(iconName);
    if (instance || id < firstStockId || id > lastStockIcon) {
        return nullptr;
    }
    return &stockIcons[id - firstStockId];
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
    const bool arrow = reinterpret_cast<uintptr_t>(cursorName) == firstStockId;
    return !instance && arrow ? &arrowCursor : nullptr;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *windowClass) {
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpfnWndProc ||
        IsAtom(windowClass->lpszClassName) || !*windowClass->lpszClassName) {
        ReportFailure("RegisterClassExA", "not a window class record");
        return 0;
    }
    if (FindClass(windowClass->lpszClassName) >= 0 || platform.classes.size() >= 0x3fff) {
        ReportFailure("RegisterClassExA", "the class \"%s\" is registered already, or too many are",
                      windowClass->lpszClassName);
        return 0;
    }
    const ATOM atom = static_cast<ATOM>(0xc000 + platform.classes.size());
    platform.classes.push_back({windowClass->lpszClassName, atom, *windowClass});
    return atom;
}

// On Linux the window manager draws and owns the frame, outside the window the program sees:
// the size CreateWindowExA is given is the client size, so the outer rectangle of a client
// rectangle is the same rectangle whatever the style.
BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD) {
    return rect != nullptr;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    const int windowClass = className ? FindClass(className) : -1;
    if (windowClass < 0) {
        ReportFailure("CreateWindowExA", "no window class \"%s\"",
                      className && !IsAtom(className) ? className : "(atom)");
        return nullptr;
    }
    if (!EnsureWatchedVideo()) {
        return nullptr;
    }
    HWND window = new HWND__;
    window->windowClass = windowClass;
    window->style = style;
    window->dc.window = window;
    // A popup that covers the display in the mode the program switched to is the fullscreen
    // window of that mode.
    window->fullscreen = platform.modeSet && (style & WS_POPUP) && x == 0 && y == 0 &&
                         width == platform.mode.w && height == platform.mode.h;
    const std::string title = AnsiToUtf8(windowName);
    if (x != CW_USEDEFAULT) {
        const SDL_Rect primary = PrimaryBounds();
        x += primary.x;
        y += primary.y;
    }
    if (!MakeSdlWindow(window, title.c_str(), x, y, width, height, DefaultWindowVisual())) {
        delete window;
        return nullptr;
    }
    // On Wayland the formats are known once the first window is there: it is made again, before
    // it shows, with the usual one, so that the usual request does not remake a shown window (a
    // compositor may still be activating it: sway 1.7 of Debian 12 then ends).
    const unsigned long usual = platform.x || window->visual ? 0 : DefaultWindowVisual();
    if (usual && !RecreateWindow(window, usual)) {
        ReportFailure("CreateWindowExA", "no window of the usual EGL configuration: %s",
                      SdlReason().c_str());
    }
    platform.windows.push_back(window);
    SDL_GetWindowSize(window->sdl, &window->width, &window->height);
    if (SendToWindow(window, WM_CREATE, 0, 0) == -1) {
        ReportFailure("CreateWindowExA", "the window procedure refused WM_CREATE");
        SDL_DestroyWindow(window->sdl);
        platform.windows.pop_back();
        delete window;
        return nullptr;
    }
    SendToWindow(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(window->width, window->height));
    if (style & WS_VISIBLE) {
        ShowWindow(window, SW_SHOW);
    }
    return window;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    if (!LiveWindow(window)) {
        return FALSE;
    }
    const BOOL wasVisible = (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_SHOWN) != 0;
    if (command == SW_HIDE) {
        SDL_HideWindow(window->sdl);
        return wasVisible;
    }
    // Showing a top-level window activates it, as on Windows: it takes the keyboard.
    platform.active = window;
    SDL_ShowWindow(window->sdl);
    SDL_RaiseWindow(window->sdl);
    SDL_SetWindowInputFocus(window->sdl);
    ApplyCursor();
    return wasVisible;
}

HDC WINAPI GetDC(HWND window) {
    return LiveWindow(window) ? &window->dc : nullptr;
}

int WINAPI ShowCursor(BOOL show) {
    platform.cursorCount += show ? 1 : -1;
    ApplyCursor();
    return platform.cursorCount;
}
