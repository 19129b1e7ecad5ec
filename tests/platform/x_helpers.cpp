#include "x_helpers.h"
#include "platform.h"

#include <SDL_syswm.h>

unsigned long XWindowOf(HWND window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(window->sdl, &info) ? info.info.x11.window : 0;
}

Geometry GeometryOf(unsigned long xWindow) {
    const Rect rect = RootRect(xWindow);
    return {rect.x, rect.y, rect.width, rect.height, WindowViewable(xWindow)};
}

Geometry ViewableGeometryOf(unsigned long xWindow) {
    WaitUntil([xWindow] { return WindowViewable(xWindow); });
    return GeometryOf(xWindow);
}

std::vector<MSG> PumpUntil(HWND window, const std::function<bool(const std::vector<MSG> &)> &done) {
    std::vector<MSG> taken;
    const double deadline = Now() + patience;
    while (Now() < deadline && !done(taken)) {
        MSG msg;
        if (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            taken.push_back(msg);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            SleepSeconds(0.001);
        }
    }
    return taken;
}
