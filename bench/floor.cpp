// The floor of the frame loop: the program's own prompt and set-up, then a loop that takes at
// most one message, clears and presents. Its frame rate is the most a frame of the figure can
// approach on the same platform.
#include "shell.h"
#include "opengl.h"

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    AskFullscreen();
    if (!SetupWindow()) {
        ChangeDisplaySettingsA(NULL, 0);
        return 1;
    }
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    for (;;) {
        const bool taken = PeekMessageA(&msg, windowHandle, 0, 0, PM_REMOVE) != 0;
        if (taken && msg.message == WM_QUIT) {
            ChangeDisplaySettingsA(NULL, 0);
            break;
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SwapBuffers(deviceContext);
        if (taken) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
