// The application shell: the window, its rendering context and the handling of its messages.
#pragma once

#include <windows.h>

// Display state, filled in by SetupWindow.
extern HINSTANCE instanceHandle;
extern HWND windowHandle;
extern HDC deviceContext;
extern HGLRC renderContext;
extern int screenWidth;
extern int screenHeight;
extern int screenBits;
extern int fullscreen;

// Asks in a yes/no box whether to run fullscreen and sets fullscreen to 1 for Yes, else 0.
void AskFullscreen();

// Registers the window class, switches the display mode when fullscreen is set, creates and shows
// the window with a current OpenGL context and sets the first projection. False on failure.
bool SetupWindow();

// The window procedure of the class "MyClass": size changes, closing and the keyboard controls.
LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
