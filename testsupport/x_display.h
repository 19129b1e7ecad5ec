// The test's side of the X server: finding windows by title, reading their place and size,
// typing through XTest or straight to a window, resizing, asking a window to close, and taking
// screenshots of the screen or of one window.
#pragma once

#include <functional>
#include <string>
#include <vector>

// An X window id (Xlib's Window); Xlib itself stays out of the tests, whose names it clashes
// with.
using WindowId = unsigned long;

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// An RGB screenshot, rows from the top.
struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb; // width * height * 3 bytes

    const unsigned char *At(int x, int y) const {
        return &rgb[(static_cast<size_t>(y) * width + x) * 3];
    }
};

// Opens the display named by DISPLAY; false when there is none.
bool OpenTestDisplay();
void CloseTestDisplay();

// Waits until a window manager has taken the display: the root window names a check window
// (_NET_SUPPORTING_WM_CHECK) that names itself, as a running manager keeps it. False when none
// did within `seconds`.
bool WaitForWindowManager(double seconds);

// The widths of the frame the window manager puts around a client window, as it announces them
// (_NET_FRAME_EXTENTS); all 0 where it announces none.
struct FrameExtents {
    int left = 0, right = 0, top = 0, bottom = 0;
};
FrameExtents WindowFrame(WindowId window);

// Size of the root window (the screen).
Rect ScreenRect();

// The size of the mode the display runs in, as XRandR reports it for the first output that shows
// one; an empty rectangle when the server has no XRandR.
Rect CurrentMode();
// The sizes of every mode XRandR offers, "WIDTHxHEIGHT" each, for failure messages.
std::string DescribeModes();

// Whether the pointer shows nothing where it is: XFixes' current cursor image has no pixel that
// is not fully transparent.
bool PointerInvisible();

// The window's title: _NET_WM_NAME where it has one, else WM_NAME.
std::string WindowTitle(WindowId window);

// Viewable windows whose title (_NET_WM_NAME or WM_NAME) is `title`, top-level first.
std::vector<WindowId> FindWindows(const std::string &title);

// Polls for a viewable window titled `title` until `seconds` have passed; 0 if none appeared.
WindowId WaitForWindow(const std::string &title, double seconds);

// Polls until no viewable window titled `title` is left; false if one is still there.
bool WaitForNoWindow(const std::string &title, double seconds);

// Every viewable window's title with its rectangle, one per line, for failure messages.
std::string DescribeWindows();

// The window's rectangle in root coordinates (its outer X window, without border).
Rect RootRect(WindowId window);

// Viewable child windows of `window`, in stacking order.
std::vector<WindowId> ChildWindows(WindowId window);

// Gives `window` the keyboard focus and puts the pointer over its centre.
void FocusWindow(WindowId window);

// Types each character of `text` with XTest (Shift where the keymap needs it). "\r" is Return,
// "\x1b" is Escape.
void TypeText(const std::string &text);

// Sends the key events that type `text` straight to `window` (XSendEvent), as on a server that
// takes no keyboard input through XTest (Xwayland: the compositor owns the keyboard): Shift's
// own press and release go around the characters that need it. "\r" is Return, "\x1b" is Escape.
void SendText(WindowId window, const std::string &text);

// Presses and releases every key of the keyboard once plain and once with Shift, except the
// modifier and lock keys and those that give Escape; returns the text the presses type, as an X
// client reads it.
std::string PressEveryKey();
// The same presses sent straight to `window`, as SendText sends them.
std::string SendEveryKey(WindowId window);

// Clicks the first pointer button at root coordinates (x, y).
void ClickAt(int x, int y);

void ResizeWindow(WindowId window, int width, int height);

// Sends the window manager's close request: a WM_PROTOCOLS client message with WM_DELETE_WINDOW.
void RequestClose(WindowId window);

// Destroys `window` as any client of the server may: from under the program that made it.
void TakeWindowAway(WindowId window);

// What the screen shows inside `rect` (root coordinates).
Image Grab(const Rect &rect);
// What `window` shows, read from the window itself: on a rootless server (Xwayland) the root
// window holds none of it. Empty when the window cannot be read.
Image GrabWindow(WindowId window);

// Seconds on a monotonic clock, for deadlines.
double Now();
void SleepSeconds(double seconds);

// How long a test waits for what it asked of the X server, the platform or the program: long
// enough for a machine whose cores are all busy, and a bound that a wait which never ends
// reaches.
const double patience = 30;

// Asks `condition` every hundredth of a second until it holds or `seconds` have passed; its last
// answer.
bool WaitUntil(const std::function<bool()> &condition, double seconds = patience);
