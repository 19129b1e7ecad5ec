// Pixel formats: the display's GLX frame-buffer configurations, or on Wayland its EGL
// configurations, numbered from 1 in the order the display lists them, the one closest to a
// request, and the SDL attributes that make a window of one.
#include "platform.h"

#include <dlfcn.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glx.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

void ReadGlxConfigs(Display *x, std::vector<PixelFormat> &formats) {
    int count = 0;
    GLXFBConfig *configs = glXGetFBConfigs(x, DefaultScreen(x), &count);
    for (int i = 0; i < count; ++i) {
        auto get = [&](int attribute) {
            int value = 0;
            glXGetFBConfigAttrib(x, configs[i], attribute, &value);
            return value;
        };
        PixelFormat f;
        f.visual = static_cast<unsigned long>(get(GLX_VISUAL_ID));
        const int visualType = get(GLX_X_VISUAL_TYPE);
        f.usable = f.visual != 0 && (get(GLX_RENDER_TYPE) & GLX_RGBA_BIT) &&
                   (get(GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) && get(GLX_LEVEL) == 0 &&
                   (visualType == GLX_TRUE_COLOR || visualType == GLX_DIRECT_COLOR);
        f.doubleBuffer = get(GLX_DOUBLEBUFFER);
        f.stereo = get(GLX_STEREO);
        f.slow = get(GLX_CONFIG_CAVEAT) == GLX_SLOW_CONFIG;
        f.red = get(GLX_RED_SIZE);
        f.green = get(GLX_GREEN_SIZE);
        f.blue = get(GLX_BLUE_SIZE);
        f.alpha = get(GLX_ALPHA_SIZE);
        f.depth = get(GLX_DEPTH_SIZE);
        f.stencil = get(GLX_STENCIL_SIZE);
        f.accum = get(GLX_ACCUM_RED_SIZE) + get(GLX_ACCUM_GREEN_SIZE) + get(GLX_ACCUM_BLUE_SIZE) +
                  get(GLX_ACCUM_ALPHA_SIZE);
        f.aux = get(GLX_AUX_BUFFERS);
        f.samples = get(GLX_SAMPLES);
        formats.push_back(f);
    }
    if (configs) {
        XFree(static_cast<void *>(configs));
    }
}

// The EGL display of SDL's Wayland connection is the one SDL draws through; it stays initialised
// for SDL. An EGL window surface always has a back buffer, and no stereo, accumulation or
// auxiliary buffers.
void ReadEglConfigs(wl_display *wayland, std::vector<PixelFormat> &formats) {
    // EGL is loaded as SDL loads it, on Wayland only: on X the program keeps its libraries as
    // they were (a forked message box ends there without EGL's teardown).
    void *egl = dlopen("libEGL.so.1", RTLD_NOW | RTLD_GLOBAL);
    auto load = [egl](const char *name) { return egl ? dlsym(egl, name) : nullptr; };
    const auto eglGetPlatformDisplay =
        reinterpret_cast<decltype(&::eglGetPlatformDisplay)>(load("eglGetPlatformDisplay"));
    const auto eglGetDisplay = reinterpret_cast<decltype(&::eglGetDisplay)>(load("eglGetDisplay"));
    const auto eglInitialize = reinterpret_cast<decltype(&::eglInitialize)>(load("eglInitialize"));
    const auto eglGetConfigs = reinterpret_cast<decltype(&::eglGetConfigs)>(load("eglGetConfigs"));
    const auto eglGetConfigAttrib =
        reinterpret_cast<decltype(&::eglGetConfigAttrib)>(load("eglGetConfigAttrib"));
    if (!(eglGetPlatformDisplay || eglGetDisplay) || !eglInitialize || !eglGetConfigs ||
        !eglGetConfigAttrib) {
        return;
    }
    // EGL 1.5 names the platform; an EGL 1.4 library takes the connection for its one platform.
    EGLDisplay display = eglGetPlatformDisplay
                             ? eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, wayland, nullptr)
                             : eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(wayland));
    EGLint count = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr) ||
        !eglGetConfigs(display, nullptr, 0, &count)) {
        return;
    }
    std::vector<EGLConfig> configs(static_cast<size_t>(std::max(count, 0)));
    eglGetConfigs(display, configs.data(), count, &count);
    for (EGLConfig config : configs) {
        auto get = [&](EGLint attribute) {
            EGLint value = 0;
            eglGetConfigAttrib(display, config, attribute, &value);
            return value;
        };
        PixelFormat f;
        f.visual = static_cast<unsigned long>(get(EGL_CONFIG_ID));
        f.usable = (get(EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) &&
                   (get(EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) &&
                   get(EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER;
        f.doubleBuffer = true;
        f.slow = get(EGL_CONFIG_CAVEAT) == EGL_SLOW_CONFIG;
        f.red = get(EGL_RED_SIZE);
        f.green = get(EGL_GREEN_SIZE);
        f.blue = get(EGL_BLUE_SIZE);
        f.alpha = get(EGL_ALPHA_SIZE);
        f.depth = get(EGL_DEPTH_SIZE);
        f.stencil = get(EGL_STENCIL_SIZE);
        f.samples = get(EGL_SAMPLES);
        formats.push_back(f);
    }
}

} // namespace

// Read once, when the display is known: on Wayland, with the first window.
const std::vector<PixelFormat> &Formats() {
    std::vector<PixelFormat> &formats = platform.formats;
    if (!platform.formatsRead && platform.x) {
        ReadGlxConfigs(platform.x, formats);
        platform.formatsRead = true;
    } else if (!platform.formatsRead && platform.wayland) {
        ReadEglConfigs(platform.wayland, formats);
        platform.formatsRead = true;
    }
    return formats;
}

namespace {

// The bits of each colour channel of the display's own mode (8 where SDL does not say).
int DisplayChannelBits() {
    SDL_DisplayMode mode{};
    int depth = 0;
    Uint32 red = 0, green = 0, blue = 0, alpha = 0;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0 ||
        !SDL_PixelFormatEnumToMasks(mode.format, &depth, &red, &green, &blue, &alpha) || !red) {
        return 8;
    }
    return __builtin_popcount(red);
}

// How far a format is from a request, on a display of `channel` bits a colour; lower is closer.
int Distance(const PixelFormat &f, const PIXELFORMATDESCRIPTOR &request, int channel) {
    const DWORD flags = request.dwFlags;
    int distance = 0;
    if (!(flags & PFD_DOUBLEBUFFER_DONTCARE) && f.doubleBuffer != bool(flags & PFD_DOUBLEBUFFER)) {
        distance += 100000;
    }
    if (f.stereo != bool(flags & PFD_STEREO)) {
        distance += 100000;
    }
    // Colour bits as Windows drivers count them: the bits of a pixel, alpha or padding included,
    // so that 8-8-8 and 8-8-8-8 are 32 as 10-10-10 is. Of formats as close, those whose channels
    // are as deep as the display's come first, as Windows drivers list them, and those without
    // an alpha channel not asked for: a compositor may show through a window where the program
    // leaves alpha below 1, as its clear colour does.
    const int bits = f.red + f.green + f.blue + f.alpha;
    const int colour = bits <= 16 ? 16 : bits <= 32 ? 32 : bits;
    distance += 100 * std::abs(colour - request.cColorBits) + (colour < request.cColorBits);
    distance += (request.cAlphaBits > 0 ? 100 : 1) * std::abs(f.alpha - request.cAlphaBits);
    distance +=
        std::abs(f.red - channel) + std::abs(f.green - channel) + std::abs(f.blue - channel);
    if (!(flags & PFD_DEPTH_DONTCARE)) {
        // Fewer depth bits than asked for cost more than more bits.
        distance += f.depth < request.cDepthBits ? 1000 * (request.cDepthBits - f.depth)
                                                 : 10 * (f.depth - request.cDepthBits);
    }
    distance += 10 * std::abs(f.stencil - request.cStencilBits);
    distance += std::abs(f.accum - request.cAccumBits) + 10 * std::abs(f.aux - request.cAuxBuffers);
    distance += 1000 * f.samples + (f.slow ? 10000 : 0);
    return distance;
}

} // namespace

int ClosestPixelFormat(const PIXELFORMATDESCRIPTOR &request) {
    const auto &formats = Formats();
    const int channel = DisplayChannelBits();
    int best = 0, bestDistance = INT_MAX;
    for (size_t i = 0; i < formats.size(); ++i) {
        const int distance = Distance(formats[i], request, channel);
        if (formats[i].usable && distance < bestDistance) {
            best = static_cast<int>(i) + 1;
            bestDistance = distance;
        }
    }
    return best;
}

const PixelFormat *FormatOf(int format) {
    const auto &formats = Formats();
    return format >= 1 && format <= static_cast<int>(formats.size()) && formats[format - 1].usable
               ? &formats[format - 1]
               : nullptr;
}

unsigned long DefaultWindowVisual() {
    // A window starts with the format closest to a double-buffered true-colour window with a
    // depth buffer, so that the usual request needs no new window.
    PIXELFORMATDESCRIPTOR usual{};
    usual.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    usual.cColorBits = 32;
    usual.cDepthBits = 16;
    return VisualOfPixelFormat(ClosestPixelFormat(usual));
}

unsigned long VisualOfPixelFormat(int format) {
    const PixelFormat *f = FormatOf(format);
    return f ? f->visual : 0;
}

namespace {

void AskFor(const PixelFormat *f) {
    if (!f) {
        return;
    }
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, f->red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, f->green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, f->blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, f->alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, f->depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, f->stencil);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, f->doubleBuffer);
}

} // namespace

void ApplyPixelFormat(HDC dc) {
    AskFor(FormatOf(dc->pixelFormat));
}

void AskForVisual(unsigned long visual) {
    const auto &formats = Formats();
    const auto found = std::find_if(formats.begin(), formats.end(), [visual](const PixelFormat &f) {
        return f.usable && f.visual == visual;
    });
    AskFor(visual && found != formats.end() ? &*found : nullptr);
}
