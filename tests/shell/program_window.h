// The program's own window and rendering context, set up once per test program by its main.
#pragma once

#include <windows.h>

// Draws scene and text into a fixed square of the window, large enough to read back and small
// enough to lie inside the client area of the 400 x 400 window.
const int drawSize = 300;

// Takes every queued message for the window, dispatching all but the quit message. True when a
// quit message with parameter 0 was among them.
bool DrainMessages();

// Gives the window a fresh current rendering context, as SetupWindow left it.
void RenewRenderContext();
