// Window classes, windows, the display, display modes, the cursor and message boxes, over SDL2
// on X11.
#include "platform.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

struct HINSTANCE__ {
    int unused;
};
struct HICON__ {
    int id;
};

namespace {

struct WindowClass {
    std::string name;
    ATOM atom;
    WNDCLASSEXA record;
};

struct State {
    bool videoTried = false;
    bool videoOk = false;
    Display *x = nullptr;
    std::vector<WindowClass> classes;
    std::vector<HWND> windows;
    int cursorCount = 0;
    HWND active = nullptr; // the window last shown: it has the keyboard
    bool modeSet = false;
    SDL_DisplayMode mode{};
};

// Never destroyed: windows and contexts may still be in use while the process exits.
State &Platform() {
    static State *state = new State;
    return *state;
}

const int firstStockId = 32512;  // IDI_APPLICATION and IDC_ARROW
const int lastStockIcon = 32517; // IDI_WINLOGO
HINSTANCE__ programInstance;
HICON__ stockIcons[lastStockIcon - firstStockId + 1];
HICON__ arrowCursor;

bool IsAtom(LPCSTR name) {
    return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

int FindClass(LPCSTR name) {
    const auto &classes = Platform().classes;
    for (size_t i = 0; i < classes.size(); ++i) {
        const bool same = IsAtom(name) ? classes[i].atom == reinterpret_cast<uintptr_t>(name)
                                       : strcasecmp(classes[i].name.c_str(), name) == 0;
        if (same) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Sets a hint the platform relies on so that no variable in the environment overrides it.
void Insist(const char *hint, const char *value) {
    SDL_SetHintWithPriority(hint, value, SDL_HINT_OVERRIDE);
}

// Where the primary monitor lies on the screen: window positions start at its corner, as they
// do on Windows. SDL lists the primary display first.
SDL_Rect PrimaryBounds() {
    SDL_Rect bounds{0, 0, 0, 0};
    if (SDL_GetDisplayBounds(0, &bounds) != 0) {
        bounds = SDL_Rect{0, 0, 0, 0};
    }
    return bounds;
}

void RestoreModeAtExit() {
    ChangeDisplaySettingsA(nullptr, 0);
}

void ApplyCursor() {
    if (Platform().videoOk) {
        SDL_ShowCursor(Platform().cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    }
}

// Makes the SDL window of a platform window, hidden, with the given X visual.
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
    Insist(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, visualId.c_str());
    window->sdl = SDL_CreateWindow(utf8Title, x, y, std::clamp(width, 1, 16384),
                                   std::clamp(height, 1, 16384), flags);
    Insist(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "");
    if (!window->sdl) {
        ReportFailure("CreateWindowExA", "no window: %s", SdlReason().c_str());
        return false;
    }
    window->visual = visual;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window->sdl, &info) && info.subsystem == SDL_SYSWM_X11) {
        WatchSdlDisplay(info.info.x11.display);
    }
    if (window->fullscreen) {
        // The switch happens as the window shows, on the monitor it lies on: the primary.
        SaveModeToRestore(Platform().x, PrimaryBounds());
        CloseOnTerminationRequest();
        SDL_SetWindowDisplayMode(window->sdl, &Platform().mode);
        SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN);
    }
    return true;
}

} // namespace

bool EnsureVideo() {
    State &state = Platform();
    if (state.videoTried) {
        return state.videoOk;
    }
    state.videoTried = true;
    // The program ends on signals as any process does, but for the time the display is switched
    // (see CloseOnTerminationRequest); it alone decides when to quit. It runs on X11, Xwayland
    // included, with GLX visuals and XRandR modes, whatever SDL's variables in the environment
    // ask for.
    Insist(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    Insist(SDL_HINT_VIDEODRIVER, "x11");
    Insist(SDL_HINT_VIDEO_X11_FORCE_EGL, "0");
    Insist(SDL_HINT_VIDEO_X11_XRANDR, "1");
    Insist(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    Insist(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    const char *display = std::getenv("DISPLAY");
    const char *driver = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 ? SDL_GetCurrentVideoDriver() : "";
    const bool onX11 = driver && std::strcmp(driver, "x11") == 0;
    if (driver && *driver && !onX11) {
        SDL_SetError("SDL runs its \"%s\" video driver, not X11", driver);
    }
    if (!onX11 || !(state.x = XOpenDisplay(nullptr))) {
        if (!display || !*display) {
            std::fprintf(stderr, "boxwalk: cannot open a display (DISPLAY is not set): set DISPLAY "
                                 "to a running X server\n");
        } else {
            std::fprintf(stderr,
                         "boxwalk: cannot open the display \"%s\" (%s): set DISPLAY to a running X "
                         "server\n",
                         display, SDL_GetError());
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    WatchDisplay(state.x);
    SDL_StartTextInput();
    std::atexit(RestoreModeAtExit);
    state.videoOk = true;
    ApplyCursor();
    return true;
}

Display *XDisplayOfPlatform() {
    return Platform().x;
}

HWND LiveWindow(HWND window) {
    const auto &windows = Platform().windows;
    return window && std::find(windows.begin(), windows.end(), window) != windows.end() ? window
                                                                                        : nullptr;
}

HDC LiveDc(HDC dc) {
    for (HWND window : Platform().windows) {
        if (dc && dc == &window->dc) {
            return dc;
        }
    }
    return nullptr;
}

HWND KeyboardWindow(Uint32 id) {
    const HWND window = WindowOfSdlId(id);
    return window ? window : LiveWindow(Platform().active);
}

HWND WindowOfSdlId(Uint32 id) {
    SDL_Window *sdl = SDL_GetWindowFromID(id);
    for (HWND window : Platform().windows) {
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
    return Platform().classes[window->windowClass].record.lpfnWndProc(window, message, wParam,
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
    State &state = Platform();
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpfnWndProc ||
        IsAtom(windowClass->lpszClassName) || !*windowClass->lpszClassName) {
        ReportFailure("RegisterClassExA", "not a window class record");
        return 0;
    }
    if (FindClass(windowClass->lpszClassName) >= 0 || state.classes.size() >= 0x3fff) {
        ReportFailure("RegisterClassExA", "the class \"%s\" is registered already, or too many are",
                      windowClass->lpszClassName);
        return 0;
    }
    const ATOM atom = static_cast<ATOM>(0xc000 + state.classes.size());
    state.classes.push_back({windowClass->lpszClassName, atom, *windowClass});
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
    State &state = Platform();
    const int windowClass = className ? FindClass(className) : -1;
    if (windowClass < 0) {
        ReportFailure("CreateWindowExA", "no window class \"%s\"",
                      className && !IsAtom(className) ? className : "(atom)");
        return nullptr;
    }
    if (!EnsureVideo()) {
        return nullptr;
    }
    HWND window = new HWND__;
    window->windowClass = windowClass;
    window->style = style;
    window->dc.window = window;
    // A popup that covers the display in the mode the program switched to is the fullscreen
    // window of that mode.
    window->fullscreen = state.modeSet && (style & WS_POPUP) && x == 0 && y == 0 &&
                         width == state.mode.w && height == state.mode.h;
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
    state.windows.push_back(window);
    SDL_GetWindowSize(window->sdl, &window->width, &window->height);
    if (SendToWindow(window, WM_CREATE, 0, 0) == -1) {
        ReportFailure("CreateWindowExA", "the window procedure refused WM_CREATE");
        SDL_DestroyWindow(window->sdl);
        state.windows.pop_back();
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
    Platform().active = window;
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
    Platform().cursorCount += show ? 1 : -1;
    ApplyCursor();
    return Platform().cursorCount;
}

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags) {
    State &state = Platform();
    if (!mode) {
        // Back to the mode the display had: SDL restores it when the fullscreen window leaves
        // fullscreen. Nothing to do when no switch happened, or when there is no display. The
        // restore is always made, so CDS_RESET (apply even if unchanged) needs nothing more.
        state.modeSet = false;
        for (HWND window : state.windows) {
            if (window->fullscreen) {
                window->fullscreen = false;
                SDL_SetWindowFullscreen(window->sdl, 0);
            }
        }
        GiveBackSavedMode(state.x);
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
    state.mode = best;
    state.modeSet = true;
    for (HWND window : state.windows) {
        if (window->fullscreen) {
            SaveModeToRestore(state.x, PrimaryBounds());
            SDL_SetWindowDisplayMode(window->sdl, &best);
        }
    }
    return DISP_CHANGE_SUCCESSFUL;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    const UINT buttons = type & 0xf;
    if (buttons != MB_OK && buttons != MB_YESNO) {
        ReportFailure("MessageBoxA", "buttons 0x%x are not offered, only OK and Yes/No", buttons);
        return 0;
    }
    if (!EnsureVideo()) {
        return 0;
    }
    const std::string utf8Text = AnsiToUtf8(text);
    const std::string utf8Caption = AnsiToUtf8(caption ? caption : "Error");
    const SDL_MessageBoxButtonData yesNo[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
    };
    const SDL_MessageBoxButtonData ok[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK,
         "OK"},
    };
    SDL_MessageBoxData box{};
    box.flags = SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.window = LiveWindow(owner) ? owner->sdl : nullptr;
    box.title = utf8Caption.c_str();
    box.message = utf8Text.c_str();
    box.numbuttons = buttons == MB_YESNO ? 2 : 1;
    box.buttons = buttons == MB_YESNO ? yesNo : ok;
    int chosen = -1;
    if (SDL_ShowMessageBox(&box, &chosen) != 0) {
        ReportFailure("MessageBoxA", "no message box: %s", SdlReason().c_str());
        return 0;
    }
    // Closed through the window manager: the answer Escape gives.
    if (chosen < 0) {
        chosen = buttons == MB_YESNO ? IDNO : IDOK;
    }
    return chosen;
}
