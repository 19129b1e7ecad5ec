#include <X11/Xlib.h>

#include "x_display.h"

#include <ctime>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/XTest.h>

#include <sstream>

namespace {

Display *display = nullptr;

bool Viewable(Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

// Windows can vanish between listing and asking about them; such errors are not the test's.
int IgnoreErrors(Display *, XErrorEvent *) {
    return 0;
}

void Walk(Window window, std::vector<Window> &all) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) {
        return;
    }
    for (unsigned int i = 0; i < count; ++i) {
        all.push_back(children[i]);
    }
    for (unsigned int i = 0; i < count; ++i) {
        Walk(children[i], all);
    }
    if (children) {
        XFree(children);
    }
}

// How a keyboard types `symbol`: the key that carries it, and whether Shift is held for it.
struct Stroke {
    KeyCode code = 0;
    bool shifted = false;
};

Stroke StrokeFor(KeySym symbol) {
    Stroke stroke;
    stroke.code = XKeysymToKeycode(display, symbol);
    stroke.shifted = stroke.code != 0 && XkbKeycodeToKeysym(display, stroke.code, 0, 0) != symbol &&
                     XkbKeycodeToKeysym(display, stroke.code, 0, 1) == symbol;
    return stroke;
}

KeySym SymbolFor(char c) {
    if (c == '\r') {
        return XK_Return;
    }
    if (c == '\x1b') {
        return XK_Escape;
    }
    return static_cast<unsigned char>(c);
}

// Presses and releases a key through XTest, as the keyboard would.
void PressKey(Stroke stroke) {
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    if (stroke.shifted) {
        XTestFakeKeyEvent(display, shift, True, CurrentTime);
    }
    XTestFakeKeyEvent(display, stroke.code, True, CurrentTime);
    XTestFakeKeyEvent(display, stroke.code, False, CurrentTime);
    if (stroke.shifted) {
        XTestFakeKeyEvent(display, shift, False, CurrentTime);
    }
}

void SendKeyEvent(Window window, int type, KeyCode code, unsigned int state) {
    XEvent event{};
    event.xkey.type = type;
    event.xkey.display = display;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display);
    event.xkey.subwindow = None;
    event.xkey.time = CurrentTime;
    event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 1;
    event.xkey.state = state;
    event.xkey.keycode = code;
    event.xkey.same_screen = True;
    XSendEvent(display, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
}

// Sends the events of a key press and release to `window`, with the Shift key's own press and
// release around them where the key is shifted: a client that keeps its own keyboard state (Wine)
// learns of Shift from those, one that reads the event's state (SDL) from the state.
void SendKey(Window window, Stroke stroke) {
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    const unsigned int state = stroke.shifted ? ShiftMask : 0;
    if (stroke.shifted) {
        SendKeyEvent(window, KeyPress, shift, 0);
    }
    SendKeyEvent(window, KeyPress, stroke.code, state);
    SendKeyEvent(window, KeyRelease, stroke.code, state);
    if (stroke.shifted) {
        SendKeyEvent(window, KeyRelease, shift, ShiftMask);
    }
}

// Presses every key of the keyboard once plain and once with Shift, by `press`, except the
// modifier and lock keys and those that give Escape; returns the text the presses type.
template <typename Press> std::string EveryKey(Press press) {
    int first = 0, last = 0;
    XDisplayKeycodes(display, &first, &last);
    std::string typed;
    for (const bool shifted : {false, true}) {
        for (int code = first; code <= last; ++code) {
            const KeySym plain = XkbKeycodeToKeysym(display, code, 0, 0);
            const KeySym upper = XkbKeycodeToKeysym(display, code, 0, 1);
            if (IsModifierKey(plain) || IsModifierKey(upper) || plain == XK_Escape ||
                upper == XK_Escape || plain == XK_Caps_Lock || plain == XK_Num_Lock ||
                plain == XK_Scroll_Lock) {
                continue;
            }
            // What a client reads from the press: the same lookup it makes.
            XKeyEvent event{};
            event.type = KeyPress;
            event.display = display;
            event.keycode = static_cast<unsigned>(code);
            event.state = shifted ? ShiftMask : 0;
            char text[16];
            const int length = XLookupString(&event, text, sizeof text, nullptr, nullptr);
            typed.append(text, length > 0 ? length : 0);
            press(Stroke{static_cast<KeyCode>(code), shifted});
        }
        XSync(display, False);
    }
    return typed;
}

// The image's pixels as RGB, rows from the top.
Image Pixels(XImage *shot) {
    Image image;
    if (!shot) {
        return image;
    }
    image.width = shot->width;
    image.height = shot->height;
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    // Each channel's place and width in a pixel, found once for the whole image.
    struct Channel {
        int shift = 0;
        unsigned long mask = 0; // the channel's bits, moved down to bit 0
    };
    auto channelOf = [](unsigned long mask) {
        Channel channel;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++channel.shift;
        }
        channel.mask = mask;
        return channel;
    };
    const Channel channels[3] = {channelOf(shot->red_mask), channelOf(shot->green_mask),
                                 channelOf(shot->blue_mask)};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const unsigned long pixel = XGetPixel(shot, x, y);
            unsigned char *out = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const unsigned long mask = channels[c].mask;
                out[c] = static_cast<unsigned char>(((pixel >> channels[c].shift) & mask) * 255 /
                                                    (mask ? mask : 1));
            }
        }
    }
    XDestroyImage(shot);
    return image;
}

// The first `count` 32-bit items of the property `name` of `window`, or none.
std::vector<long> Cardinals(Window window, const char *name, Atom type, unsigned long count) {
    Atom actual = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    std::vector<long> values;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0,
                           static_cast<long>(count), False, type, &actual, &format, &items, &after,
                           &data) == Success &&
        data) {
        if (actual == type && format == 32 && items == count) {
            const long *longs = reinterpret_cast<const long *>(data);
            values.assign(longs, longs + count);
        }
        XFree(data);
    }
    return values;
}

} // namespace

std::string WindowTitle(Window window) {
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char *>(data), count);
        XFree(data);
        if (!title.empty()) {
            return title;
        }
    }
    char *name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

bool OpenTestDisplay() {
    display = XOpenDisplay(nullptr);
    if (display) {
        XSetErrorHandler(IgnoreErrors);
    }
    return display != nullptr;
}

void CloseTestDisplay() {
    if (display) {
        XCloseDisplay(display);
        display = nullptr;
    }
}

bool WaitForWindowManager(double seconds) {
    const char *const check = "_NET_SUPPORTING_WM_CHECK";
    return WaitUntil(
        [check] {
            const std::vector<long> named =
                Cardinals(DefaultRootWindow(display), check, XA_WINDOW, 1);
            if (named.empty()) {
                return false;
            }
            const Window window = static_cast<Window>(named[0]);
            const std::vector<long> self = Cardinals(window, check, XA_WINDOW, 1);
            return !self.empty() && static_cast<Window>(self[0]) == window;
        },
        seconds);
}

FrameExtents WindowFrame(Window window) {
    const std::vector<long> sides = Cardinals(window, "_NET_FRAME_EXTENTS", XA_CARDINAL, 4);
    FrameExtents frame;
    if (!sides.empty()) {
        frame = {static_cast<int>(sides[0]), static_cast<int>(sides[1]), static_cast<int>(sides[2]),
                 static_cast<int>(sides[3])};
    }
    return frame;
}

Rect ScreenRect() {
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, root, &attributes);
    return {0, 0, attributes.width, attributes.height};
}

Rect CurrentMode() {
    Rect mode;
    int event = 0, error = 0;
    if (!XRRQueryExtension(display, &event, &error)) {
        return mode;
    }
    XRRScreenResources *resources =
        XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (!resources) {
        return mode;
    }
    for (int i = 0; i < resources->ncrtc && mode.width == 0; ++i) {
        XRRCrtcInfo *crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[i]);
        if (crtc && crtc->mode != None && crtc->noutput > 0) {
            mode = {crtc->x, crtc->y, static_cast<int>(crtc->width),
                    static_cast<int>(crtc->height)};
        }
        if (crtc) {
            XRRFreeCrtcInfo(crtc);
        }
    }
    XRRFreeScreenResources(resources);
    return mode;
}

std::string DescribeModes() {
    std::ostringstream text;
    XRRScreenResources *resources =
        XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    for (int i = 0; resources && i < resources->nmode; ++i) {
        text << (i ? ", " : "") << resources->modes[i].width << "x" << resources->modes[i].height;
    }
    if (resources) {
        XRRFreeScreenResources(resources);
    }
    return text.str();
}

bool PointerInvisible() {
    XFixesCursorImage *cursor = XFixesGetCursorImage(display);
    if (!cursor) {
        return false;
    }
    bool invisible = true;
    for (int i = 0; i < cursor->width * cursor->height; ++i) {
        if ((cursor->pixels[i] >> 24) & 0xff) {
            invisible = false;
        }
    }
    XFree(cursor);
    return invisible;
}

std::vector<Window> FindWindows(const std::string &title) {
    std::vector<Window> all, found;
    Walk(DefaultRootWindow(display), all);
    for (Window window : all) {
        if (WindowTitle(window) == title && Viewable(window)) {
            found.push_back(window);
        }
    }
    return found;
}

Window WaitForWindow(const std::string &title, double seconds) {
    Window window = 0;
    WaitUntil(
        [&] {
            const std::vector<Window> found = FindWindows(title);
            window = found.empty() ? 0 : found.front();
            return window != 0;
        },
        seconds);
    return window;
}

bool WaitForNoWindow(const std::string &title, double seconds) {
    return WaitUntil([&] { return FindWindows(title).empty(); }, seconds);
}

std::string DescribeWindows() {
    std::vector<Window> all;
    Walk(DefaultRootWindow(display), all);
    std::ostringstream text;
    for (Window window : all) {
        const std::string title = WindowTitle(window);
        if (!title.empty() && Viewable(window)) {
            const Rect rect = RootRect(window);
            text << "  \"" << title << "\" at (" << rect.x << ", " << rect.y << ") " << rect.width
                 << " x " << rect.height << "\n";
        }
    }
    const std::string listed = text.str();
    return listed.empty() ? "  (no titled window)\n" : listed;
}

Rect RootRect(Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

std::vector<Window> ChildWindows(Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    std::vector<Window> found;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) {
            if (Viewable(children[i])) {
                found.push_back(children[i]);
            }
        }
        if (children) {
            XFree(children);
        }
    }
    return found;
}

void FocusWindow(Window window) {
    const Rect rect = RootRect(window);
    XTestFakeMotionEvent(display, -1, rect.x + rect.width / 2, rect.y + rect.height / 2,
                         CurrentTime);
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
}

void TypeText(const std::string &text) {
    for (char c : text) {
        const Stroke stroke = StrokeFor(SymbolFor(c));
        if (stroke.code != 0) {
            PressKey(stroke);
        }
    }
    XSync(display, False);
}

void SendText(Window window, const std::string &text) {
    for (char c : text) {
        const Stroke stroke = StrokeFor(SymbolFor(c));
        if (stroke.code != 0) {
            SendKey(window, stroke);
        }
    }
    XSync(display, False);
}

std::string PressEveryKey() {
    return EveryKey(PressKey);
}

std::string SendEveryKey(Window window) {
    return EveryKey([window](Stroke stroke) { SendKey(window, stroke); });
}

void ClickAt(int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
}

void ResizeWindow(Window window, int width, int height) {
    XResizeWindow(display, window, width, height);
    XSync(display, False);
}

void RequestClose(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

void TakeWindowAway(Window window) {
    XDestroyWindow(display, window);
    XSync(display, False);
}

Image Grab(const Rect &rect) {
    return Pixels(XGetImage(display, DefaultRootWindow(display), rect.x, rect.y, rect.width,
                            rect.height, AllPlanes, ZPixmap));
}

Image GrabWindow(Window window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) {
        return Image{};
    }
    return Pixels(
        XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap));
}

double Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void SleepSeconds(double seconds) {
    timespec pause{};
    pause.tv_sec = static_cast<time_t>(seconds);
    pause.tv_nsec = static_cast<long>((seconds - static_cast<double>(pause.tv_sec)) * 1e9);
    nanosleep(&pause, nullptr);
}

bool WaitUntil(const std::function<bool()> &condition, double seconds) {
    const double deadline = Now() + seconds;
    while (!condition()) {
        if (Now() > deadline) {
            return condition();
        }
        SleepSeconds(0.01);
    }
    return true;
}
