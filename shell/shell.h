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

// Gives the display back its stored mode; where it was never switched, this changes nothing.
// After a switch, CDS_RESET makes the system apply that mode even where it believes the display
// already runs in it: a mode-change notice still on its way (seen under Wine on a busy machine)
// can make it believe so, and the display would stay switched after the end. Without a switch the
// flag would only make the display blank while it sets its own mode again.
void RestoreDisplay();

// The program's start-up and run: asks whether to run fullscreen, sets the window up (where that
// fails, gives the display back and returns 1), calls `prepare`, then runs the frame loop with
// `drawFrame` and returns its result.
int RunProgram(void (*prepare)(), void (*drawFrame)());

// The frame loop. Each pass takes at most one message for the window, draws one frame with
// `drawFrame` and presents it, then handles the message taken, if any; the quit message gives the
// display back and ends the loop. Returns the quit message's parameter, the exit status.
int RunFrameLoop(void (*drawFrame)());

// The window procedure of the class "MyClass": size changes, closing and the keyboard controls.
LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
