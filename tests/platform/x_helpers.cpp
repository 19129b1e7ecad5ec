#include "x_helpers.h"
#include "platform.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <thread>

namespace {

Display *TestDisplay() {
    static Display *display = XOpenDisplay(nullptr);
    return display;
}

void Press(KeyCode code, bool down) {
    XTestFakeKeyEvent(TestDisplay(), code, down, CurrentTime);
    XSync(TestDisplay(), False);
}

// The key of a symbol, and whether Shift is needed to type it.
KeyCode KeyOf(const char *keysymName, bool *shift) {
    Display *x = TestDisplay();
    const KeySym symbol = XStringToKeysym(keysymName);
    const KeyCode code = XKeysymToKeycode(x, symbol);
    int perCode = 0;
    KeySym *map = XGetKeyboardMapping(x, code, 1, &perCode);
    *shift = perCode > 1 && map[0] != symbol && map[1] == symbol;
    XFree(map);
    return code;
}

} // namespace

unsigned long XWindowOf(HWND window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(window->sdl, &info) ? info.info.x11.window : 0;
}

Geometry GeometryOf(unsigned long xWindow) {
    Display *x = TestDisplay();
    XWindowAttributes attributes;
    XGetWindowAttributes(x, xWindow, &attributes);
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(x, xWindow, DefaultRootWindow(x), 0, 0, &rootX, &rootY, &child);
    return {rootX, rootY, attributes.width, attributes.height, attributes.map_state == IsViewable};
}

Geometry ViewableGeometryOf(unsigned long xWindow) {
    WaitUntil([xWindow] { return GeometryOf(xWindow).viewable; });
    return GeometryOf(xWindow);
}

bool IsBorderless(unsigned long xWindow) {
    Display *x = TestDisplay();
    const Atom hints = XInternAtom(x, "_MOTIF_WM_HINTS", False);
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    XGetWindowProperty(x, xWindow, hints, 0, 5, False, AnyPropertyType, &type, &format, &count,
                       &after, &data);
    const long *fields = reinterpret_cast<long *>(data);
    // Flags bit 1: the decorations field counts; decorations 0: none.
    const bool borderless = data && count >= 3 && (fields[0] & 2) && fields[2] == 0;
    XFree(data);
    return borderless;
}

void TypeKey(const char *keysymName) {
    HoldKey(keysymName, 0);
}

void HoldKey(const char *keysymName, int milliseconds) {
    bool shift = false;
    const KeyCode code = KeyOf(keysymName, &shift);
    const KeyCode shiftCode = XKeysymToKeycode(TestDisplay(), XK_Shift_L);
    if (shift) {
        Press(shiftCode, true);
    }
    Press(code, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    Press(code, false);
    if (shift) {
        Press(shiftCode, false);
    }
}

unsigned long PixelOnScreen(unsigned long xWindow, int x, int y) {
    XImage *image = XGetImage(TestDisplay(), xWindow, x, y, 1, 1, AllPlanes, ZPixmap);
    const unsigned long pixel = image ? XGetPixel(image, 0, 0) & 0xffffff : ~0ul;
    if (image) {
        XDestroyImage(image);
    }
    return pixel;
}

void MovePointer(int x, int y) {
    XTestFakeMotionEvent(TestDisplay(), -1, x, y, CurrentTime);
    XSync(TestDisplay(), False);
}

std::vector<MSG> PumpUntil(HWND window, const std::function<bool(const std::vector<MSG> &)> &done) {
    std::vector<MSG> taken;
    const double deadline = Now() + patience;
    while (Now() < deadline && !done(taken)) {
        MSG msg;
        if (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            taken.push_back(msg);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return taken;
}
