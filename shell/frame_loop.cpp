// Start-up and the frame loop: one frame drawn and presented, then at most one message handled,
// until the quit message arrives.
#include "shell.h"

#include <cstring>

void RestoreDisplay() {
    ChangeDisplaySettingsA(NULL, fullscreen ? CDS_RESET : 0);
}

int RunProgram(void (*prepare)(), void (*drawFrame)()) {
    AskFullscreen();
    if (!SetupWindow()) {
        // Without a window no quit message can ever arrive: give the display back and stop.
        RestoreDisplay();
        return 1;
    }
    prepare();
    return RunFrameLoop(drawFrame);
}

int RunFrameLoop(void (*drawFrame)()) {
    // One pass: take at most one message, draw and present one frame, then handle the message.
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    bool done = false;
    while (!done) {
        const bool taken = PeekMessageA(&msg, windowHandle, 0, 0, PM_REMOVE) != 0;
        if (taken && msg.message == WM_QUIT) {
            RestoreDisplay();
            done = true;
            continue;
        }
        drawFrame();
        SwapBuffers(deviceContext);
        if (taken) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
