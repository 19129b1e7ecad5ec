// Pixel formats and rendering contexts on Mesa, and fonts turned into bitmap display lists.
#include <gtest/gtest.h>

#include "font.h"
#include "platform.h"
#include "x_helpers.h"

#include <windows.h>

#include <GL/gl.h>
#include <GL/glx.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <string>
#include <vector>

namespace {

LRESULT CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

PIXELFORMATDESCRIPTOR ProgramRequest() {
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 32;
    request.cDepthBits = 16;
    request.iLayerType = PFD_MAIN_PLANE;
    return request;
}

// A shown 200 x 200 window with the program's pixel format and a current context.
class GlWindow : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = Quiet;
        windowClass.lpszClassName = "GlTest";
        RegisterClassExA(&windowClass);
        window = CreateWindowExA(0, "GlTest", "gl", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, nullptr,
                                 nullptr, nullptr, nullptr);
        dc = GetDC(window);
        const PIXELFORMATDESCRIPTOR request = ProgramRequest();
        SetPixelFormat(dc, ChoosePixelFormat(dc, &request), &request);
        context = wglCreateContext(dc);
        wglMakeCurrent(dc, context);
    }
    static HWND window;
    static HDC dc;
    static HGLRC context;
};
HWND GlWindow::window;
HDC GlWindow::dc;
HGLRC GlWindow::context;

TEST(Contexts, MadeBoundSwappedAndReleased) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Quiet;
    windowClass.lpszClassName = "ContextTest";
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, "ContextTest", "context", WS_POPUP | WS_VISIBLE, 300, 0, 64,
                                  64, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    EXPECT_EQ(GetDC(window), dc) << "the window's own device context";
    EXPECT_EQ(wglCreateContext(dc), nullptr) << "no pixel format yet";

    const PIXELFORMATDESCRIPTOR request = ProgramRequest();
    const int format = ChoosePixelFormat(dc, &request);
    ASSERT_GT(format, 0);
    ASSERT_TRUE(SetPixelFormat(dc, format, &request));
    EXPECT_FALSE(SetPixelFormat(dc, format + 1000000, &request));
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(glXGetCurrentContext(), nullptr) << "making a context does not bind it";

    ASSERT_TRUE(wglMakeCurrent(dc, context));
    EXPECT_NE(glXGetCurrentContext(), nullptr);
    GLboolean doubleBuffered = GL_FALSE;
    GLint depthBits = 0, redBits = 0;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_RED_BITS, &redBits);
    EXPECT_TRUE(doubleBuffered);
    EXPECT_GE(depthBits, 16);
    EXPECT_GE(redBits, 8);

    const unsigned long xWindow = XWindowOf(window);
    ASSERT_TRUE(ViewableGeometryOf(xWindow).viewable);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    EXPECT_NE(PixelOnScreen(xWindow, 32, 32), 0xff0000u) << "not before the swap";
    ASSERT_TRUE(SwapBuffers(dc));
    // The swap's picture reaches the server on the platform's own connection, which the test's
    // connection does not wait for.
    EXPECT_TRUE(WaitUntil([xWindow] { return PixelOnScreen(xWindow, 32, 32) == 0xff0000u; }))
        << "the cleared back buffer is shown";

    EXPECT_TRUE(wglMakeCurrent(dc, nullptr));
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    EXPECT_FALSE(SwapBuffers(dc)) << "nothing to swap without a context";
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    EXPECT_TRUE(wglDeleteContext(context));
    EXPECT_EQ(glXGetCurrentContext(), nullptr) << "deleting the current context unbinds it";
    EXPECT_FALSE(wglDeleteContext(context));
    EXPECT_FALSE(wglMakeCurrent(dc, context));
    EXPECT_EQ(ChoosePixelFormat(nullptr, &request), 0);
    EXPECT_EQ(ChoosePixelFormat(dc, nullptr), 0);
}

HFONT ProgramFont(const char *face, int height, DWORD charSet) {
    return CreateFontA(height, 0, 0, 0, FW_BOLD, 0, 0, 0, charSet, OUT_TT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FF_DONTCARE | DEFAULT_PITCH, face);
}

FontFacts FactsOf(HFONT font) {
    EXPECT_NE(font, nullptr);
    return font ? font->facts : FontFacts{};
}

TEST(Fonts, RequestedFaceIsMatchedAtItsCellHeight) {
    const FontFacts comic = FactsOf(ProgramFont("Comic Sans MS", 48, ANSI_CHARSET));
    EXPECT_EQ(comic.family, "Comic Neue") << "the installed look-alike";
    EXPECT_NE(comic.style.find("Bold"), std::string::npos) << comic.style;
    EXPECT_EQ(comic.ascent + comic.descent, 48);
    EXPECT_GT(comic.ascent, comic.descent);
    EXPECT_FALSE(comic.symbol);

    const FontFacts symbol = FactsOf(ProgramFont("symbol", 48, SYMBOL_CHARSET));
    EXPECT_TRUE(symbol.symbol) << symbol.family;
    const FontFacts symbolAsLatin = FactsOf(ProgramFont("symbol", 48, ANSI_CHARSET));
    EXPECT_FALSE(symbolAsLatin.symbol)
        << "the Latin set wins over the name: " << symbolAsLatin.family;
    EXPECT_NE(symbolAsLatin.family, symbol.family);
    EXPECT_TRUE(FactsOf(ProgramFont("Comic Sans MS", 48, SYMBOL_CHARSET)).symbol);

    const HFONT fallback = ProgramFont("", 20, ANSI_CHARSET);
    ASSERT_NE(fallback, nullptr) << "no name: the default face";
    EXPECT_EQ(FactsOf(fallback).ascent + FactsOf(fallback).descent, 20);
    EXPECT_EQ(ProgramFont(nullptr, 100000, ANSI_CHARSET), nullptr) << "absurd height";
    EXPECT_EQ(CreateFontA(48, -5, 0, 0, 5000, 0, 0, 0, 0, 0, 0, 0, 0, "Comic Sans MS"), nullptr);
}

// The advance of a character at the font's size, straight from the font file.
int AdvanceOf(const FontFacts &facts, char c) {
    FT_Library library;
    FT_Face face;
    FT_Init_FreeType(&library);
    FT_New_Face(library, facts.file.c_str(), 0, &face);
    const TT_OS2 *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double cell = os2->usWinAscent + os2->usWinDescent;
    const double em = (facts.ascent + facts.descent) * face->units_per_EM / cell;
    FT_Set_Char_Size(face, 0, std::lround(em * 64), 72, 72);
    FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_TARGET_MONO);
    const int advance =
        static_cast<int>(std::lround(static_cast<double>(face->glyph->advance.x) / 64.0));
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return advance;
}

TEST_F(GlWindow, GlyphListsDrawAndAdvanceByTheGlyph) {
    ASSERT_NE(context, nullptr);
    const GLuint base = glGenLists(96);
    EXPECT_FALSE(wglUseFontBitmapsA(dc, 32, 96, base)) << "no font selected";
    const HFONT first = ProgramFont("Comic Sans MS", 48, ANSI_CHARSET);
    const HFONT second = ProgramFont("Comic Sans MS", 24, ANSI_CHARSET);
    EXPECT_EQ(SelectObject(dc, first), nullptr);
    EXPECT_EQ(SelectObject(dc, second), first) << "the previous font";
    EXPECT_EQ(SelectObject(dc, first), second);
    EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(0x99)), nullptr);

    ASSERT_TRUE(wglUseFontBitmapsA(dc, 32, 96, base));
    for (GLuint i = 0; i < 96; ++i) {
        EXPECT_TRUE(glIsList(base + i)) << i;
    }

    glViewport(0, 0, 200, 200);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 200, 0, 200, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    for (char c : std::string("W.k")) {
        glRasterPos2i(20, 50);
        glCallList(base + (c - 32));
        GLfloat position[4];
        glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
        EXPECT_FLOAT_EQ(position[0], 20.0f + AdvanceOf(FactsOf(first), c)) << c;
        EXPECT_FLOAT_EQ(position[1], 50.0f);
    }

    // The glyph's ink lands above the baseline, right of the pen.
    glClear(GL_COLOR_BUFFER_BIT);
    glRasterPos2i(20, 50);
    glCallList(base + ('W' - 32));
    std::vector<unsigned char> pixels(size_t{200} * 200);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 200, 200, GL_RED, GL_UNSIGNED_BYTE, pixels.data());
    int lit = 0, litBelowBaseline = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (pixels[y * 200 + x] == 255) {
                ++lit;
                litBelowBaseline += y < 50;
                EXPECT_LT(y, 50 + 48) << "within the cell";
            }
        }
    }
    EXPECT_GT(lit, 100) << "a bold 48-pixel W";
    EXPECT_EQ(litBelowBaseline, 0);
    EXPECT_FALSE(wglUseFontBitmapsA(dc, 32, 96, 0));
}

} // namespace
