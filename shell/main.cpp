// The program's entry: start-up, then the frame loop until the quit message arrives.
#include "shell.h"
#include "scene.h"
#include "text.h"

#include <cstring>

namespace {

// Gives the display back its stored mode. CDS_RESET makes the system apply that mode even where
// it believes the display already runs in it: a mode-change notice still on its way (seen on a
// busy machine) can make it believe so, and the display would stay switched after the end.
void RestoreDisplay() {
    ChangeDisplaySettingsA(NULL, CDS_RESET);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    AskFullscreen();
    if (!SetupWindow()) {
        // Without a window no quit message can ever arrive: give the display back and stop.
        RestoreDisplay();
        return 1;
    }
    fontBase = MakeBitmapFont("Comic Sans MS", 48);

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
        DrawFrame();
        DrawHelpLine();
        SwapBuffers(deviceContext);
        if (taken) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
