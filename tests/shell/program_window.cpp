// Runs the test suite in the windowed set-up of the program: its class, window and context.
#include "program_window.h"
#include "shell.h"

#include <gtest/gtest.h>

bool DrainMessages() {
    bool quit = false;
    MSG msg;
    while (PeekMessageA(&msg, windowHandle, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = quit || msg.wParam == 0;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return quit;
}

void RenewRenderContext() {
    renderContext = wglCreateContext(deviceContext);
    wglMakeCurrent(deviceContext, renderContext);
}

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    fullscreen = 0;
    if (!SetupWindow()) {
        std::fprintf(stderr, "the program's window could not be set up\n");
        return 1;
    }
    DrainMessages();
    return RUN_ALL_TESTS();
}
