#include "x_server.h"

#include <ctime>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/XTest.h>

#include <sstream>

namespace {

Display *display = nullptr;

// Windows can vanish between listing and asking about them; such errors are not the test's.
int IgnoreErrors(Display *, XErrorEvent *) {
    return 0;
}

// The children of `window` in stacking order, and theirs after them where `deep`.
void Walk(Window window, std::vector<Window> &all, bool deep) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) {
        return;
    }
    all.insert(all.end(), children, children + count);
    for (unsigned int i = 0; deep && i < count; ++i) {
        Walk(children[i], all, deep);
    }
    if (children) {
        XFree(children);
    }
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

// The first `count` 32-bit items of the property `name` of `window`; fewer where it has fewer.
std::vector<long> Cardinals(Window window, const char *name, Atom type, long count) {
    std::vector<long> values;
    ReadProperty(window, name, type, count,
                 [&values](const unsigned char *data, int format, unsigned long items) {
                     const long *longs = reinterpret_cast<const long *>(data);
                     if (format == 32) {
                         values.assign(longs, longs + items);
                     }
                 });
    return values;
}

} // namespace

Display *TestConnection() {
    return display;
}

void ReadProperty(Window window, const char *name, Atom type, long length,
                  const std::function<void(const unsigned char *, int, unsigned long)> &read) {
    Atom actual = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, length, False,
                           type, &actual, &format, &items, &after, &data) != Success ||
        !data) {
        return;
    }
    if (actual != None && (actual == type || type == AnyPropertyType)) {
        read(data, format, items);
    }
    XFree(data);
}

std::string WindowTitle(Window window) {
    std::string title;
    ReadProperty(window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False), 1024,
                 [&title](const unsigned char *data, int, unsigned long count) {
                     title.assign(reinterpret_cast<const char *>(data), count);
                 });
    char *name = nullptr;
    if (title.empty() && XFetchName(display, window, &name) && name) {
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
    if (sides.size() == 4) {
        frame = {static_cast<int>(sides[0]), static_cast<int>(sides[1]), static_cast<int>(sides[2]),
                 static_cast<int>(sides[3])};
    }
    return frame;
}

bool IsBorderless(Window window) {
    const std::vector<long> fields = Cardinals(window, "_MOTIF_WM_HINTS", AnyPropertyType, 5);
    // Flags bit 1: the decorations field counts; decorations 0: none.
    return fields.size() >= 3 && (fields[0] & 2) && fields[2] == 0;
}

Rect ScreenRect() {
    return RootRect(DefaultRootWindow(display)); // the root lies at (0, 0) of itself
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
    Walk(DefaultRootWindow(display), all, true);
    for (Window window : all) {
        if (WindowTitle(window) == title && WindowViewable(window)) {
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
    Walk(DefaultRootWindow(display), all, true);
    std::ostringstream text;
    for (Window window : all) {
        const std::string title = WindowTitle(window);
        if (!title.empty() && WindowViewable(window)) {
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

bool WindowViewable(Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

std::vector<Window> ChildWindows(Window window) {
    std::vector<Window> all, found;
    Walk(window, all, false);
    for (Window child : all) {
        if (WindowViewable(child)) {
            found.push_back(child);
        }
    }
    return found;
}

void FocusWindow(Window window) {
    const Rect rect = RootRect(window);
    MovePointer(rect.x + rect.width / 2, rect.y + rect.height / 2);
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
}

void MovePointer(int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
}

void ClickAt(int x, int y) {
    MovePointer(x, y);
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

unsigned long PixelOnScreen(Window window, int x, int y) {
    const Image one = Pixels(XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap));
    return one.rgb.empty() ? ~0ul
                           : (static_cast<unsigned long>(one.rgb[0]) << 16) |
                                 (static_cast<unsigned long>(one.rgb[1]) << 8) | one.rgb[2];
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
