// A real OpenGL context on the test's X display, for tests that draw and read back.
#pragma once

#include <array>

// Opens a width x height window with a current double-buffered RGBA context and a depth buffer.
void OpenTestContext(int width, int height);
void CloseTestContext();

// Reads one pixel of the back buffer; (x, y) counts from the bottom-left corner.
std::array<int, 3> ReadPixel(int x, int y);
