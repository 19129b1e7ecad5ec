// Pixel formats chosen and set, rendering contexts and buffer swaps. On X a window takes the X
// visual of its format, and its contexts are made for that visual; on Wayland a surface of its
// EGL configuration.
#include "platform.h"

#include <algorithm>

namespace {

HGLRC LiveContext(HGLRC context) {
    return FindLive(platform.contexts, context);
}

void MakeNothingCurrent() {
    if (SDL_GL_GetCurrentContext()) {
        SDL_GL_MakeCurrent(nullptr, nullptr);
    }
}

} // namespace

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *request) {
    if (!LiveDc(dc) || !request) {
        ReportFailure("ChoosePixelFormat", "no device context or no request");
        return 0;
    }
    const int format = ClosestPixelFormat(*request);
    if (!format) {
        ReportFailure("ChoosePixelFormat",
                      "no %s configuration of the display draws to a window in RGBA (it offers "
                      "%zu configurations)",
                      platform.x ? "GLX frame-buffer" : "EGL", Formats().size());
    }
    return format;
}

BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR *) {
    if (!LiveDc(dc) || !FormatOf(format)) {
        ReportFailure("SetPixelFormat", "no device context or no pixel format %d", format);
        return FALSE;
    }
    // A window's pixel format is set once.
    if (dc->pixelFormat) {
        return dc->pixelFormat == format;
    }
    // A window is made anew where it was made for another format: on X for the format's visual,
    // on Wayland with a surface of the format's EGL configuration.
    HWND window = dc->window;
    const unsigned long visual = VisualOfPixelFormat(format);
    if (visual != window->visual && !RecreateWindow(window, visual)) {
        ReportFailure("SetPixelFormat", "no window of the format's %s 0x%lx: %s",
                      platform.x ? "visual" : "EGL configuration", visual, SdlReason().c_str());
        return FALSE;
    }
    dc->pixelFormat = format;
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC dc) {
    if (!LiveDc(dc) || !dc->pixelFormat) {
        ReportFailure("wglCreateContext", "no device context with a pixel format");
        return nullptr;
    }
    ApplyPixelFormat(dc);
    SDL_Window *currentWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext current = SDL_GL_GetCurrentContext();
    SDL_GLContext made = SDL_GL_CreateContext(dc->window->sdl);
    // Making a context leaves the one that was current, as on Windows.
    if (current) {
        SDL_GL_MakeCurrent(currentWindow, current);
    } else {
        MakeNothingCurrent();
    }
    if (!made) {
        ReportFailure("wglCreateContext", "no %s context: %s", platform.x ? "GLX" : "EGL",
                      SdlReason().c_str());
        return nullptr;
    }
    HGLRC context = new HGLRC__{made, dc};
    platform.contexts.push_back(context);
    return context;
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context) {
    if (!context) {
        MakeNothingCurrent();
        return TRUE;
    }
    if (!LiveContext(context) || !LiveDc(dc) || !dc->pixelFormat ||
        VisualOfPixelFormat(dc->pixelFormat) != VisualOfPixelFormat(context->dc->pixelFormat)) {
        ReportFailure("wglMakeCurrent",
                      "no such rendering context, or a device context of another pixel format");
        return FALSE;
    }
    if (SDL_GL_MakeCurrent(dc->window->sdl, context->sdl) != 0) {
        ReportFailure("wglMakeCurrent", "%s", SdlReason().c_str());
        return FALSE;
    }
    // On Wayland the compositor paces the frames, as a hardware driver's default swap interval
    // does on X and on Windows: a swap waits for the compositor's next frame, and SDL waits no
    // longer than about ten frames, so a window the compositor does not show keeps going. SDL
    // starts its Wayland contexts at interval 0, which draws as fast as the processor can.
    if (platform.wayland) {
        SDL_GL_SetSwapInterval(1);
    }
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC context) {
    if (!LiveContext(context)) {
        ReportFailure("wglDeleteContext", "no such rendering context");
        return FALSE;
    }
    if (SDL_GL_GetCurrentContext() == context->sdl) {
        MakeNothingCurrent();
    }
    SDL_GL_DeleteContext(context->sdl);
    auto &contexts = platform.contexts;
    contexts.erase(std::find(contexts.begin(), contexts.end(), context));
    delete context;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc) {
    // A window no context draws into has no buffers to swap: asking the X server to swap it
    // anyway would be an error there.
    if (!LiveDc(dc) || !SDL_GL_GetCurrentContext() ||
        SDL_GL_GetCurrentWindow() != dc->window->sdl) {
        return FALSE;
    }
    SDL_GL_SwapWindow(dc->window->sdl);
    EndIfDisplayWentAway();
    return TRUE;
}
