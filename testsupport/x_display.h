// The test's one connection to the X server: windows by title, their place and pixels, typing as
// the layout lays out the keys, the window manager, screenshots, and XRandR's monitors and modes.
#pragma once

#include "clock.h"

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

// Opens the display named by DISPLAY; false when there is none. On a sway desktop (SWAYSOCK set)
// the helpers that the Wayland desktop's suites use drive sway instead, through swaymsg, wtype and
// grim, its containers the windows.
bool OpenTestDisplay();
bool OnSwayDesktop();
void CloseTestDisplay();

// Waits at most `seconds` until a window manager has taken the display: the root's
// _NET_SUPPORTING_WM_CHECK window names itself, as a running manager keeps it, and the manager
// answers a request for frame extents where it takes them.
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

// An output that shows a picture: where it lies on the screen, the size of its mode, and whether
// the server records a monitor as connected to it (as of its last probe of the outputs).
struct Monitor {
    std::string output;
    Rect rect;
    bool primary = false;
    bool connected = true;
};
// Every monitor, in the server's order of outputs; none where the server has no XRandR.
std::vector<Monitor> Monitors();
// "DUMMY0 (1024, 0) 1024 x 768 primary, DUMMY1 (0, 0) 1024 x 768": how the monitors lie, for
// comparisons and failure messages; "disconnected" follows an output recorded so.
std::string Describe(const std::vector<Monitor> &monitors);
// Whether the output offers a mode of `width` x `height` (one it found or one a client added).
bool OutputOffers(const std::string &output, int width, int height);
// From now on, notes every change announced of a monitor's place or mode, however brief;
// MonitorChanges gives the output's rectangles since, in order (empty where it was turned off).
void WatchMonitors();
std::vector<Rect> MonitorChanges(const std::string &output);

// Whether the pointer shows nothing where it is: XFixes' current cursor image has no pixel that
// is not fully transparent.
bool PointerInvisible();

// The window's title: _NET_WM_NAME where it has one, else WM_NAME.
std::string WindowTitle(WindowId window);
// Viewable windows whose title is `title`, top-level first.
std::vector<WindowId> FindWindows(const std::string &title);
// Polls for a viewable window titled `title` until `seconds` have passed; 0 if none appeared.
WindowId WaitForWindow(const std::string &title, double seconds);
// Polls until no viewable window titled `title` is left; false if one is still there.
bool WaitForNoWindow(const std::string &title, double seconds);
// Every viewable window's title with its rectangle, one per line, for failure messages.
std::string DescribeWindows();

// The window's rectangle in root coordinates (its outer X window, without border).
Rect RootRect(WindowId window);
// Whether the window is mapped and all its ancestors are.
bool WindowViewable(WindowId window);
// What the X server shows at (x, y) of the window, as 0xRRGGBB.
unsigned long PixelOnScreen(WindowId window, int x, int y);
// True when the window asks the window manager for no frame.
bool IsBorderless(WindowId window);

// Gives `window` the keyboard focus and puts the pointer over its centre.
void FocusWindow(WindowId window);

// Typing is as a user of the layout in force types, each character with the modifiers its level
// needs; "\r" is Return, "\x1b" Escape, "\t" Tab. A character on no key types nothing.

// Types `text` through XTest; false when nothing was typed. TypeText is for a caller that has
// checked what it types.
bool TypeAsLaidOut(const std::string &text);
void TypeText(const std::string &text);
// Sends the key events of `text` straight to `window` (XSendEvent), modifiers' presses and all,
// as on a server whose keyboard XTest cannot reach (Xwayland: the compositor owns it).
void SendText(WindowId window, const std::string &text);
// A key by keysym name ("plus", "KP_Add", "A") pressed through XTest; held down for
// `milliseconds` by HoldKey.
void TypeKey(const char *keysymName);
void HoldKey(const char *keysymName, int milliseconds);
// Types `text` into a focused window of the test's own and returns what an X client reads from the
// presses, waiting at most `seconds` for as many characters as were typed.
std::string TypeIntoOwnWindow(const std::string &text, double seconds);
// Presses every key but the modifiers, locks and Escape once plain and once with Shift (through
// XTest, or sent to `window`; on sway types every printable character); returns the text an X
// client reads from the presses.
std::string PressEveryKey();
std::string SendEveryKey(WindowId window);

// The keyboard's rules, model, layout, variant and options as the server keeps them for
// setxkbmap (the root property _XKB_RULES_NAMES); empty where none are kept.
std::vector<std::string> KeyboardNames();

// Moves the pointer to root coordinates (x, y) through XTest.
void MovePointer(int x, int y);

void ResizeWindow(WindowId window, int width, int height);
// Asks for `window` to be placed with its top-left corner at root coordinates (x, y).
void MoveWindow(WindowId window, int x, int y);
// Turns the output off or on, as a screen blanker does, on a sway desktop: the windows stay, with
// the keyboard where it was, but the compositor shows none of them.
void SetOutputPower(bool on);
// Sends the window manager's close request: a WM_PROTOCOLS client message with WM_DELETE_WINDOW.
void RequestClose(WindowId window);
// Destroys `window` as any client of the server may: from under the program that made it.
void TakeWindowAway(WindowId window);

// What the screen shows inside `rect` (root coordinates).
Image Grab(const Rect &rect);
// What `window` shows, read from the window itself: on a rootless server (Xwayland) the root
// window holds none of it. Empty when the window cannot be read.
Image GrabWindow(WindowId window);
