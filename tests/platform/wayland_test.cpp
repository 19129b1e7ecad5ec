// The platform natively on a Wayland compositor without X (sway): the pixel format chosen for a
// window is the one its GL context draws with, as GL itself reports it.
#include <gtest/gtest.h>

#include "platform.h"

#include <windows.h>

#include <GL/gl.h>

#include <cstdio>
#include <string>

namespace {

LRESULT CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

struct Request {
    const char *name;
    BYTE colourBits, depthBits, stencilBits;
};

// The program's own request, and two that SDL's default attributes (a 16-bit depth buffer, no
// stencil) would not meet.
const Request requests[] = {{"program", 32, 16, 0}, {"stencil", 32, 24, 8}, {"depth24", 24, 24, 0}};

class WaylandFormats : public testing::TestWithParam<Request> {};

TEST_P(WaylandFormats, GlReportsTheChosenFormatsBits) {
    static const bool registered = [] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = Quiet;
        windowClass.lpszClassName = "WaylandTest";
        return RegisterClassExA(&windowClass) != 0;
    }();
    ASSERT_TRUE(registered);
    const Request &asked = GetParam();
    // Shown once it has its format, as the program's fullscreen window is.
    HWND window = CreateWindowExA(0, "WaylandTest", asked.name, WS_OVERLAPPEDWINDOW, 0, 0, 120, 90,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(platform.wayland, nullptr) << "the platform runs on " << SDL_GetCurrentVideoDriver();
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.cColorBits = asked.colourBits;
    request.cDepthBits = asked.depthBits;
    request.cStencilBits = asked.stencilBits;
    const int format = ChoosePixelFormat(dc, &request);
    ASSERT_GT(format, 0);
    const PixelFormat chosen = platform.formats[format - 1];
    EXPECT_EQ(chosen.depth, asked.depthBits) << "the display offers the depth asked for";
    EXPECT_EQ(chosen.stencil, asked.stencilBits) << "the display offers the stencil asked for";
    ASSERT_TRUE(SetPixelFormat(dc, format, &request));
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    ShowWindow(window, SW_SHOW);

    GLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0;
    GLboolean doubleBuffered = GL_FALSE;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    std::printf("%s: chosen %d-%d-%d-%d, depth %d, stencil %d; GL draws with %d-%d-%d-%d, depth "
                "%d, stencil %d\n",
                asked.name, chosen.red, chosen.green, chosen.blue, chosen.alpha, chosen.depth,
                chosen.stencil, red, green, blue, alpha, depth, stencil);
    EXPECT_EQ(red, chosen.red);
    EXPECT_EQ(green, chosen.green);
    EXPECT_EQ(blue, chosen.blue);
    EXPECT_EQ(alpha, chosen.alpha);
    EXPECT_EQ(depth, chosen.depth);
    EXPECT_EQ(stencil, chosen.stencil);
    EXPECT_EQ(doubleBuffered == GL_TRUE, chosen.doubleBuffer);
    EXPECT_TRUE(SwapBuffers(dc));
    wglMakeCurrent(dc, nullptr);
    wglDeleteContext(context);
}

std::string NameOf(const testing::TestParamInfo<Request> &info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Requests, WaylandFormats, testing::ValuesIn(requests), NameOf);

} // namespace
