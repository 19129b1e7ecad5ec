#include "text.h"
#include "shell.h"

#include <cctype>
#include <cstring>

GLuint fontBase = 0;

namespace {

// Glyphs cover the printable ASCII range: 96 characters from the space on.
const GLsizei glyphCount = 96;
const int firstGlyph = 32;

const char helpLine[] = "keys: +,-,e,d,s,f";

// True when the face name is "symbol" in any mix of upper and lower case.
bool IsSymbolFace(const char *faceName) {
    if (faceName == NULL) {
        return false;
    }
    for (const char *symbol = "symbol"; *symbol != '\0'; ++symbol, ++faceName) {
        if (std::tolower(static_cast<unsigned char>(*faceName)) != *symbol) {
            return false;
        }
    }
    return *faceName == '\0';
}

} // namespace

GLuint MakeBitmapFont(const char *faceName, int height) {
    const GLuint base = glGenLists(glyphCount);
    const DWORD charset = IsSymbolFace(faceName) ? SYMBOL_CHARSET : ANSI_CHARSET;
    const HFONT font = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, charset,
                                   OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                   FF_DONTCARE | DEFAULT_PITCH, faceName);
    if (font == NULL) {
        return 0;
    }
    // The font stays selected into the window's device context for the life of the program.
    SelectObject(deviceContext, font);
    wglUseFontBitmapsA(deviceContext, firstGlyph, glyphCount, base);
    return base;
}

void PrintBitmapText(GLuint base, const char *text) {
    if (base == 0 || text == NULL) {
        return;
    }
    glPushAttrib(GL_LIST_BIT);
    glListBase(base - firstGlyph);
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

void FreeBitmapFont(GLuint base) {
    if (base != 0) {
        glDeleteLists(base, glyphCount);
    }
}

void DrawHelpLine() {
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -1.0f);
    // The colour comes first: the raster position takes the current colour when it is set.
    glColor3f(1.0f, 1.0f, 1.0f);
    glRasterPos2f(-0.35f, -0.2f);
    PrintBitmapText(fontBase, helpLine);
}
