// The test's own view of the X display: what a user or window manager sees and does.
#pragma once

#include "x_display.h"

#include <windows.h>

#include <functional>
#include <string>
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
// What the X server shows at (x, y) of the window, as 0xRRGGBB.
unsigned long PixelOnScreen(unsigned long xWindow, int x, int y);
// True when the window asks the window manager for no frame.
bool IsBorderless(unsigned long xWindow);

// Real input through XTest: a key by keysym name, with Shift when the layout needs it for that
// symbol; a key held down for a while; the pointer moved.
void TypeKey(const char *keysymName);
void HoldKey(const char *keysymName, int milliseconds);
void MovePointer(int x, int y);
// What a window manager does (give a window the keyboard, resize it, ask it to close) is in
// x_display.h.

// Runs the message loop's steps (peek, translate, dispatch) until the messages taken satisfy
// `done` or patience pass; returns the messages taken.
std::vector<MSG> PumpUntil(HWND window, const std::function<bool(const std::vector<MSG> &)> &done);
