// The desktops users have, as the test sees and drives them: the monitors XRandR shows and where
// they lie, and the keyboard as the layout in force lays it out.
#pragma once

#include "x_display.h"

#include <string>
#include <vector>

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

// From now on, notes every change the server announces of a monitor's place or mode, however
// briefly it lasted.
void WatchMonitors();
// The rectangles the server gave the output since WatchMonitors() (an empty rectangle where it
// was turned off), in their order.
std::vector<Rect> MonitorChanges(const std::string &output);

// The keyboard's rules, model, layout, variant and options as the server keeps them for
// setxkbmap (the root property _XKB_RULES_NAMES); empty where none are kept.
std::vector<std::string> KeyboardNames();

// Types each character of `text` as a user of the layout in force would: on the key that carries
// it in the current group, holding the modifiers the key's type needs for that level (Shift, the
// third-level shift, ...), as the server's keymap says now. "\r" is Return, "\x1b" Escape. False,
// and nothing typed, when a character is on no key that can be reached without a lock.
bool TypeAsLaidOut(const std::string &text);

// Types `text` with TypeAsLaidOut into a window of the test's own that has the keyboard focus,
// and returns what an X client reads from the presses (XLookupString), waiting at most `seconds`
// for as many characters as were typed.
std::string TypeIntoOwnWindow(const std::string &text, double seconds);
