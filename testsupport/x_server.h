// What the test support's own files share of the X server; Xlib stays out of x_display.h, whose
// users it clashes with.
#pragma once

#include <X11/Xlib.h>

#include "x_display.h"

#include <functional>
#include <string>
#include <vector>

// The test's one connection to the display (OpenTestDisplay); null while none is open.
Display *TestConnection();

// The bytes of `window`'s property `name` of type `type` (or AnyPropertyType), at most `length`
// 32-bit units; its format in `format` where given (32 gives a long an item, as Xlib does).
std::string Property(Window window, const char *name, Atom type, long length,
                     int *format = nullptr);

// Takes the events the server has sent the connection: the changes of monitors into the notes
// that WatchMonitors keeps, every other event to `other` where it is given.
void TakeEvents(const std::function<void(XEvent &)> &other = nullptr);

// A window with its rectangle in root coordinates and its title.
struct TitledWindow {
    WindowId id = 0;
    Rect rect;
    std::string title;
};

// The sway desktop's side of the helpers (sway_desktop.cpp): its windows, a command for one window
// (`[con_id=N] COMMAND`), the output's rectangle with the size `size` ("rect", or "current_mode"
// for its mode) and the modes it offers, keys and a screenshot.
std::vector<TitledWindow> SwayWindows();
void SwayCommand(WindowId window, const std::string &command);
Rect SwayOutput(const std::string &size);
std::string SwayModes();
void SwayType(const std::string &text);
Image SwayGrab(const Rect &rect);
