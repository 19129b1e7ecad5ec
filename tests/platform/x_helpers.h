// What the platform suite sees of its own windows on the X display, and its message loop run by
// hand; the rest (typing, the pointer, pixels, what a window manager does) is in x_display.h.
#pragma once

#include "x_display.h"

#include <windows.h>

#include <functional>
#include <vector>

struct Geometry {
    int x, y, width, height;
    bool viewable;
};

// The X window that shows a platform window.
unsigned long XWindowOf(HWND window);
Geometry GeometryOf(unsigned long xWindow);
// Waits for the window to be viewable on the test's connection (every request the platform made
// before mapping it has then been handled), and returns its geometry.
Geometry ViewableGeometryOf(unsigned long xWindow);

// Runs the message loop's steps (peek, translate, dispatch) until the messages taken satisfy
// `done` or patience pass; returns the messages taken.
std::vector<MSG> PumpUntil(HWND window, const std::function<bool(const std::vector<MSG> &)> &done);
