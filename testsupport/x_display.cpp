#include "x_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sstream>

namespace {

Display *display = nullptr;

// Windows can vanish between listing and asking about them; such errors are not the test's.
int IgnoreErrors(Display *, XErrorEvent *) {
    return 0;
}

// The windows below `window`: its children in stacking order, then theirs.
void Walk(Window window, std::vector<Window> &all) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) {
        return;
    }
    all.insert(all.end(), children, children + count);
    for (unsigned int i = 0; i < count; ++i) {
        Walk(children[i], all);
    }
    if (children) {
        XFree(children);
    }
}

// The viewable windows of the display whose title passes `keep`, top-level first.
std::vector<Window> Viewable(const std::function<bool(const std::string &)> &keep) {
    std::vector<Window> all, found;
    Walk(DefaultRootWindow(display), all);
    std::copy_if(all.begin(), all.end(), std::back_inserter(found),
                 [&keep](Window w) { return WindowViewable(w) && keep(WindowTitle(w)); });
    return found;
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
    // Each channel's bits in a pixel: where they begin, and their mask moved down to bit 0.
    unsigned long masks[3] = {shot->red_mask, shot->green_mask, shot->blue_mask};
    int shifts[3] = {};
    for (int c = 0; c < 3; ++c) {
        shifts[c] = masks[c] ? __builtin_ctzl(masks[c]) : 0;
        masks[c] >>= shifts[c];
    }
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const unsigned long pixel = XGetPixel(shot, x, y);
            unsigned char *out = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                out[c] = static_cast<unsigned char>(((pixel >> shifts[c]) & masks[c]) * 255 /
                                                    (masks[c] ? masks[c] : 1));
            }
        }
    }
    XDestroyImage(shot);
    return image;
}

// The first `count` 32-bit items of the property `name` of `window`; fewer where it has fewer.
std::vector<long> Cardinals(Window window, const char *name, Atom type, long count) {
    int format = 0;
    const std::string bytes = Property(window, name, type, count, &format);
    std::vector<long> values(format == 32 ? bytes.size() / sizeof(long) : 0);
    if (!values.empty()) {
        std::memcpy(values.data(), bytes.data(), values.size() * sizeof(long));
    }
    return values;
}

} // namespace

Display *TestConnection() {
    return display;
}

std::string Property(Window window, const char *name, Atom type, long length, int *format) {
    Atom actual = None;
    int bits = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    std::string bytes;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, length, False,
                           type, &actual, &bits, &items, &after, &data) == Success &&
        data && actual != None && (actual == type || type == AnyPropertyType)) {
        bytes.assign(reinterpret_cast<const char *>(data),
                     items * (bits == 32 ? sizeof(long) : static_cast<size_t>(bits) / 8));
    }
    if (data) {
        XFree(data);
    }
    if (format) {
        *format = bits;
    }
    return bytes;
}

std::string WindowTitle(Window window) {
    std::string title =
        Property(window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False), 1024);
    char *name = nullptr;
    if (title.empty() && XFetchName(display, window, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

bool OpenTestDisplay() {
    if (OnSwayDesktop()) {
        return true;
    }
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

namespace {

// openbox names itself on the display before its event loop runs, and a window mapped in between
// stays unmapped until some other event reaches it. A manager that answers requests for frame
// extents runs its loop once it has answered one; each request sent again wakes it.
bool AnswersRequests(double seconds) {
    const Window root = DefaultRootWindow(display);
    const Atom request = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    const std::vector<long> supported = Cardinals(root, "_NET_SUPPORTED", XA_ATOM, 1024);
    if (std::find(supported.begin(), supported.end(), static_cast<long>(request)) ==
        supported.end()) {
        return true;
    }
    const Window probe = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    const bool answered = WaitUntil(
        [probe, request, root] {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = probe;
            event.xclient.message_type = request;
            event.xclient.format = 32;
            XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask,
                       &event);
            XSync(display, False);
            return !Cardinals(probe, "_NET_FRAME_EXTENTS", XA_CARDINAL, 4).empty();
        },
        seconds);
    XDestroyWindow(display, probe);
    XSync(display, False);
    return answered;
}

} // namespace

bool WaitForWindowManager(double seconds) {
    if (OnSwayDesktop()) {
        return true; // sway manages the windows as it runs
    }
    const auto checkOf = [](Window window) {
        const std::vector<long> named = Cardinals(window, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, 1);
        return named.empty() ? Window{0} : static_cast<Window>(named[0]);
    };
    const double deadline = Now() + seconds;
    return WaitUntil(
               [checkOf] {
                   const Window check = checkOf(DefaultRootWindow(display));
                   return check != 0 && checkOf(check) == check;
               },
               seconds) &&
           AnswersRequests(deadline - Now());
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
    if (OnSwayDesktop()) {
        return SwayOutput("rect");
    }
    return RootRect(DefaultRootWindow(display)); // the root lies at (0, 0) of itself
}

bool PointerInvisible() {
    XFixesCursorImage *cursor = XFixesGetCursorImage(display);
    if (!cursor) {
        return false;
    }
    const bool invisible = std::none_of(
        cursor->pixels, cursor->pixels + static_cast<ptrdiff_t>(cursor->width) * cursor->height,
        [](unsigned long pixel) { return (pixel >> 24) & 0xff; });
    XFree(cursor);
    return invisible;
}

std::vector<Window> FindWindows(const std::string &title) {
    if (!OnSwayDesktop()) {
        return Viewable([&title](const std::string &its) { return its == title; });
    }
    std::vector<Window> found;
    for (const TitledWindow &window : SwayWindows()) {
        if (window.title == title) {
            found.push_back(window.id);
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
    std::vector<TitledWindow> windows =
        OnSwayDesktop() ? SwayWindows() : std::vector<TitledWindow>();
    if (!OnSwayDesktop()) {
        for (Window window : Viewable([](const std::string &title) { return !title.empty(); })) {
            windows.push_back({window, RootRect(window), WindowTitle(window)});
        }
    }
    std::ostringstream text;
    for (const TitledWindow &window : windows) {
        const Rect &rect = window.rect;
        text << "  \"" << window.title << "\" at (" << rect.x << ", " << rect.y << ") "
             << rect.width << " x " << rect.height << "\n";
    }
    const std::string listed = text.str();
    return listed.empty() ? "  (no titled window)\n" : listed;
}

Rect RootRect(Window window) {
    if (OnSwayDesktop()) {
        const std::vector<TitledWindow> windows = SwayWindows();
        const auto found =
            std::find_if(windows.begin(), windows.end(),
                         [window](const TitledWindow &its) { return its.id == window; });
        return found == windows.end() ? Rect{} : found->rect;
    }
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

void ResizeWindow(Window window, int width, int height) {
    if (OnSwayDesktop()) {
        return SwayCommand(window,
                           "resize set " + std::to_string(width) + " " + std::to_string(height));
    }
    XResizeWindow(display, window, width, height);
    XSync(display, False);
}

void MoveWindow(Window window, int x, int y) {
    if (OnSwayDesktop()) {
        return SwayCommand(window, "move position " + std::to_string(x) + " " + std::to_string(y));
    }
    XMoveWindow(display, window, x, y);
    XSync(display, False);
}

void RequestClose(Window window) {
    if (OnSwayDesktop()) {
        return SwayCommand(window, "kill"); // sway's close request
    }
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
    if (OnSwayDesktop()) {
        return SwayGrab(RootRect(window));
    }
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
