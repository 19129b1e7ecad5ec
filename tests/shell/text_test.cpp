// The bitmap font and the help line, built from the platform's fonts into the program's window.
#include "expected.h"
#include "program_window.h"
#include "scene.h"
#include "shell.h"
#include "text.h"
#include "font.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using expected::helpLine;
const GLuint glyphCount = 96;

struct RasterPosition {
    float x, y;
    bool valid;
};

RasterPosition CurrentRasterPosition() {
    GLfloat position[4];
    GLboolean valid = GL_FALSE;
    glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    return {position[0], position[1], valid == GL_TRUE};
}

// A pixel-for-pixel view of the drawing square, raster positions given in window pixels.
void UsePixelView() {
    glViewport(0, 0, drawSize, drawSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, drawSize, 0, drawSize, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// How far one glyph list moves the raster position, called on its own.
float Advance(GLuint list) {
    glRasterPos2f(10.0f, 100.0f);
    const float before = CurrentRasterPosition().x;
    glCallList(list);
    return CurrentRasterPosition().x - before;
}

float PrintedAdvance(GLuint base, const char *text) {
    glRasterPos2f(10.0f, 100.0f);
    const float before = CurrentRasterPosition().x;
    PrintBitmapText(base, text);
    return CurrentRasterPosition().x - before;
}

struct Pixel {
    int x, y;
};

// The white pixels of the drawing square's back buffer.
std::vector<Pixel> WhitePixels() {
    std::vector<unsigned char> rgb(size_t{3} * drawSize * drawSize);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, drawSize, drawSize, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    std::vector<Pixel> white;
    for (int y = 0; y < drawSize; ++y) {
        for (int x = 0; x < drawSize; ++x) {
            const unsigned char *p = &rgb[size_t{3} * (y * drawSize + x)];
            if (p[0] == 255 && p[1] == 255 && p[2] == 255) {
                white.push_back({x, y});
            }
        }
    }
    return white;
}

std::vector<unsigned char> ReadSquare(int width, int height) {
    std::vector<unsigned char> rgb(size_t{3} * width * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

class TextTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        fontBase = MakeBitmapFont("Comic Sans MS", 48);
    }
    void SetUp() override {
        ASSERT_NE(fontBase, 0u) << "the help-line font is built";
        glDrawBuffer(GL_BACK);
        UsePixelView();
    }
};

TEST_F(TextTest, FontIsNinetySixConsecutiveGlyphLists) {
    for (GLuint i = 0; i < glyphCount; ++i) {
        EXPECT_EQ(glIsList(fontBase + i), GL_TRUE) << "glyph " << 32 + i;
    }
    // Each list draws a glyph that advances the raster position; the bold 48-pixel cell makes
    // every printable glyph wider than nothing and narrower than two cells.
    for (GLuint i = 1; i < glyphCount - 1; ++i) {
        const float advance = Advance(fontBase + i);
        EXPECT_GT(advance, 0.0f) << "glyph " << 32 + i;
        EXPECT_LT(advance, 96.0f) << "glyph " << 32 + i;
    }
}

TEST_F(TextTest, PrintingAdvancesByTheGlyphsOfTheBytes) {
    float expected = 0.0f;
    for (const char *c = helpLine; *c != '\0'; ++c) {
        expected += Advance(fontBase + static_cast<unsigned char>(*c) - 32);
    }
    EXPECT_EQ(PrintedAdvance(fontBase, helpLine), expected);
    EXPECT_GT(PrintedAdvance(fontBase, "WWW"), PrintedAdvance(fontBase, "iii"))
        << "each byte calls its own glyph";
}

TEST_F(TextTest, PrintingRestoresTheListBase) {
    glListBase(1234);
    PrintBitmapText(fontBase, helpLine);
    GLint listBase = 0;
    glGetIntegerv(GL_LIST_BASE, &listBase);
    EXPECT_EQ(listBase, 1234);
    glListBase(0);
}

TEST_F(TextTest, NothingToPrintDrawsNothing) {
    EXPECT_EQ(PrintedAdvance(fontBase, ""), 0.0f);
    EXPECT_EQ(PrintedAdvance(fontBase, nullptr), 0.0f);
    EXPECT_EQ(PrintedAdvance(0, helpLine), 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1.0f, 1.0f, 1.0f);
    glRasterPos2f(10.0f, 100.0f);
    PrintBitmapText(0, helpLine);
    PrintBitmapText(fontBase, "");
    EXPECT_TRUE(WhitePixels().empty());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextTest, FreeingDeletesTheGlyphLists) {
    const GLuint base = MakeBitmapFont("Comic Sans MS", 12);
    ASSERT_NE(base, 0u);
    FreeBitmapFont(base);
    for (GLuint i = 0; i < glyphCount; ++i) {
        EXPECT_EQ(glIsList(base + i), GL_FALSE);
    }
    FreeBitmapFont(0);
    EXPECT_EQ(glIsList(fontBase), GL_TRUE);
    // Selecting the help-line font again: building a font leaves its own font selected.
    fontBase = MakeBitmapFont("Comic Sans MS", 48);
}

// What the platform matched for the font that building a bitmap font left selected.
FontFacts SelectedFontFacts() {
    const HFONT probe = CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_TT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                    FF_DONTCARE | DEFAULT_PITCH, "Comic Sans MS");
    const HFONT selected = static_cast<HFONT>(SelectObject(deviceContext, probe));
    EXPECT_NE(selected, nullptr);
    SelectObject(deviceContext, selected);
    return selected ? selected->facts : FontFacts{};
}

TEST_F(TextTest, OnlyTheFaceNamedSymbolAsksForTheSymbolSet) {
    struct Case {
        const char *name;
        bool symbol;
    };
    const Case cases[] = {{"symbol", true},         {"SyMbOl", true},   {"SYMBOL", true},
                          {"Comic Sans MS", false}, {"symbols", false}, {"symbo", false},
                          {"symbol ", false},       {"xsymbol", false}, {"", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const GLuint base = MakeBitmapFont(c.name, 20);
        ASSERT_NE(base, 0u);
        EXPECT_EQ(SelectedFontFacts().symbol, c.symbol);
        FreeBitmapFont(base);
    }
    EXPECT_EQ(glIsList(fontBase), GL_TRUE);
}

// The raster position of the help line, where the projection for width x height puts the eye
// point (-0.35, -0.2, -1).
RasterPosition ExpectedHelpLinePosition(int width, int height) {
    SetProjection(height, width);
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble x, y, z;
    gluProject(-0.35, -0.2, -1.0, model, projection, viewport, &x, &y, &z);
    return {static_cast<float>(x), static_cast<float>(y), true};
}

TEST_F(TextTest, HelpLineSitsLeftOfAndBelowTheCentre) {
    const RasterPosition expected = ExpectedHelpLinePosition(drawSize, drawSize);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1.0f, 0.0f, 0.0f); // the line sets its own colour
    DrawHelpLine();
    const std::vector<Pixel> white = WhitePixels();
    ASSERT_FALSE(white.empty()) << "the help line is drawn in white";

    int left = drawSize, bottom = drawSize, top = 0;
    for (const Pixel &p : white) {
        left = std::min(left, p.x);
        bottom = std::min(bottom, p.y);
        top = std::max(top, p.y);
    }
    const int centre = drawSize / 2;
    EXPECT_LT(left, centre);
    EXPECT_LT(top, centre) << "the whole line lies below the centre";
    // The glyphs start at the raster position and stand within a 48-pixel cell around it.
    EXPECT_NEAR(left, expected.x, 6.0);
    EXPECT_GT(top, expected.y);
    EXPECT_LT(top, expected.y + 48.0f);
    EXPECT_GT(bottom, expected.y - 48.0f);
}

TEST_F(TextTest, HelpLineIsDrawnOverTheFigure) {
    ExpectedHelpLinePosition(drawSize, drawSize);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawHelpLine();
    const std::vector<Pixel> alone = WhitePixels();
    ASSERT_FALSE(alone.empty());
    DrawFrame();
    DrawHelpLine();
    // Every pixel of the text on black is still white over the figure and its depth.
    std::vector<unsigned char> rgb = ReadSquare(drawSize, drawSize);
    for (const Pixel &p : alone) {
        const unsigned char *c = &rgb[size_t{3} * (p.y * drawSize + p.x)];
        ASSERT_TRUE(c[0] == 255 && c[1] == 255 && c[2] == 255) << p.x << "," << p.y;
    }
}

// Draws one frame of the scene from a fixed animation state, with or without the help line.
std::vector<unsigned char> DrawFixedFrame(int width, int height, bool withHelpLine) {
    spinAngle = 30.0f;
    armSwingA = {5.0f, true};
    armSwingB = {-5.0f, false};
    legSwingA = {5.0f, true};
    legSwingB = {-5.0f, false};
    SetProjection(height, width);
    DrawFrame();
    if (withHelpLine) {
        DrawHelpLine();
    }
    return ReadSquare(width, height);
}

TEST_F(TextTest, NarrowWindowShowsNoHelpLine) {
    // 240 / 300 = 0.8: the line's start lies outside the view volume at the near plane.
    const int width = 240, height = drawSize;
    const std::vector<unsigned char> scene = DrawFixedFrame(width, height, false);
    const std::vector<unsigned char> withLine = DrawFixedFrame(width, height, true);
    EXPECT_FALSE(CurrentRasterPosition().valid);
    EXPECT_TRUE(scene == withLine) << "the scene is unchanged and no text appears";

    // Just wider than the limit the line is there again.
    const std::vector<unsigned char> wide = DrawFixedFrame(260, height, true);
    EXPECT_FALSE(wide == DrawFixedFrame(260, height, false));
}

} // namespace
