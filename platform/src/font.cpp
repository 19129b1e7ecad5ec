// Fonts: matched through fontconfig, loaded and rasterised with FreeType, turned into GL bitmap
// display lists.
#include "font.h"
#include "platform.h"

#include <GL/gl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Beyond this a request is not a font for the screen.
const int largestHeight = 2048;
// The cell height asked for by height 0.
const int defaultHeight = 16;

// The installed look-alike of the face the program asks for by name.
const char aliases[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="same">
    <family>Comic Sans MS</family>
    <prefer><family>Comic Neue</family></prefer>
  </alias>
</fontconfig>
)";

// Starts fontconfig and FreeType on first use; false when they cannot be started.
bool StartFonts() {
    if (platform.fontsTried) {
        return platform.fontLibrary != nullptr;
    }
    platform.fontsTried = true;
    FT_Library library;
    if (!FcInit() || FT_Init_FreeType(&library) != 0) {
        return false;
    }
    FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(), reinterpret_cast<const FcChar8 *>(aliases),
                                   FcFalse);
    platform.fontLibrary = library;
    // The faces the configuration names for "Symbol", before it falls back to generic ones.
    FcPattern *symbol = FcNameParse(reinterpret_cast<const FcChar8 *>("Symbol"));
    FcConfigSubstitute(nullptr, symbol, FcMatchPattern);
    FcChar8 *family;
    for (int i = 0; FcPatternGetString(symbol, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
        const std::string name = reinterpret_cast<const char *>(family);
        if (name == "sans-serif" || name == "serif" || name == "monospace") {
            break;
        }
        platform.symbolFamilies.insert(name);
    }
    FcPatternDestroy(symbol);
    return true;
}

std::string StringOf(FcPattern *pattern, const char *property) {
    FcChar8 *value = nullptr;
    return FcPatternGetString(pattern, property, 0, &value) == FcResultMatch
               ? reinterpret_cast<const char *>(value)
               : std::string();
}

bool IsSymbolFace(FcPattern *font) {
    FcBool symbol = FcFalse;
    FcPatternGetBool(font, FC_SYMBOL, 0, &symbol);
    return symbol || platform.symbolFamilies.count(StringOf(font, FC_FAMILY)) > 0;
}

// A face serves a character set when it is scalable and, for the symbol set, a symbol face; for
// any other, a face with the printable ASCII characters that is not a symbol face.
bool Serves(FcPattern *font, DWORD charSet) {
    FcBool scalable = FcFalse;
    FcPatternGetBool(font, FC_SCALABLE, 0, &scalable);
    if (!scalable) {
        return false;
    }
    if (charSet == SYMBOL_CHARSET) {
        return IsSymbolFace(font);
    }
    FcCharSet *chars = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &chars) != FcResultMatch) {
        return false;
    }
    for (FcChar32 c = 0x20; c < 0x7f; ++c) {
        if (!FcCharSetHasChar(chars, c)) {
            return false;
        }
    }
    return !IsSymbolFace(font);
}

// Sizes the face so that its cell (Windows ascent + descent) is the height asked for, or, for a
// negative height, so that its em is that many pixels.
bool SizeFace(HFONT font, int height) {
    FT_Face face = font->face;
    const TT_OS2 *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double ascender = face->ascender, descender = -face->descender;
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        ascender = os2->usWinAscent;
        descender = os2->usWinDescent;
    }
    const double cell = ascender + descender;
    if (cell <= 0 || face->units_per_EM == 0) {
        return false;
    }
    double em;
    if (height >= 0) {
        const int pixels = height ? height : defaultHeight;
        em = pixels * face->units_per_EM / cell;
        font->facts.ascent = static_cast<int>(std::lround(pixels * ascender / cell));
        font->facts.descent = pixels - font->facts.ascent;
    } else {
        em = -height;
        font->facts.ascent = static_cast<int>(std::lround(ascender * em / face->units_per_EM));
        font->facts.descent = static_cast<int>(std::lround(descender * em / face->units_per_EM));
    }
    return FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72) == 0;
}

// Loads the first face in fontconfig's order of preference that serves the character set, or
// failing that, the first scalable face.
bool LoadFace(HFONT font, FcPattern *request, DWORD charSet) {
    FcResult result;
    FcFontSet *sorted = FcFontSort(nullptr, request, FcFalse, nullptr, &result);
    if (!sorted) {
        return false;
    }
    for (int pass = 0; pass < 2 && !font->face; ++pass) {
        for (int i = 0; i < sorted->nfont && !font->face; ++i) {
            FcPattern *candidate = sorted->fonts[i];
            FcBool scalable = FcFalse;
            FcPatternGetBool(candidate, FC_SCALABLE, 0, &scalable);
            if (pass == 0 ? !Serves(candidate, charSet) : !scalable) {
                continue;
            }
            int index = 0;
            FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
            const std::string file = StringOf(candidate, FC_FILE);
            if (FT_New_Face(platform.fontLibrary, file.c_str(), index, &font->face) != 0) {
                font->face = nullptr;
                continue;
            }
            font->facts.family = StringOf(candidate, FC_FAMILY);
            font->facts.style = StringOf(candidate, FC_STYLE);
            font->facts.file = file;
            font->facts.symbol = IsSymbolFace(candidate);
            int weight = FC_WEIGHT_REGULAR;
            FcPatternGetInteger(candidate, FC_WEIGHT, 0, &weight);
            int requested = FC_WEIGHT_REGULAR;
            FcPatternGetInteger(request, FC_WEIGHT, 0, &requested);
            font->emboldened = requested >= FC_WEIGHT_BOLD && weight < FC_WEIGHT_DEMIBOLD;
        }
    }
    FcFontSetDestroy(sorted);
    return font->face != nullptr;
}

HFONT LiveFont(const void *object) {
    return FindLive(platform.fonts, object);
}

// The glyph index of an 8-bit character: symbol faces are looked up by the byte, in their
// symbol map where they have one; others by the character's code point.
FT_UInt GlyphOf(HFONT font, unsigned code) {
    FT_Face face = font->face;
    if (font->facts.symbol) {
        if (FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0) {
            const FT_UInt glyph = FT_Get_Char_Index(face, code);
            return glyph ? glyph : FT_Get_Char_Index(face, 0xf000 | code);
        }
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        return FT_Get_Char_Index(face, code);
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    return FT_Get_Char_Index(face,
                             code < 256 ? CodePointOfAnsi(static_cast<unsigned char>(code)) : code);
}

// Compiles one glyph into the display list being made: its 1-bit image placed by its origin,
// and the pen advanced by its advance width.
void CompileGlyph(HFONT font, unsigned code, std::vector<GLubyte> &bits) {
    FT_Face face = font->face;
    FT_GlyphSlot slot = face->glyph;
    if (FT_Load_Glyph(face, GlyphOf(font, code), FT_LOAD_TARGET_MONO) != 0) {
        return;
    }
    if (font->emboldened) {
        FT_GlyphSlot_Embolden(slot);
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) {
        return;
    }
    const FT_Bitmap &bitmap = slot->bitmap;
    const int width = static_cast<int>(bitmap.width), rows = static_cast<int>(bitmap.rows);
    const int rowBytes = (width + 7) / 8;
    bits.assign(static_cast<size_t>(rowBytes) * rows, 0);
    // FreeType's rows run top down, GL's bottom up.
    for (int row = 0; row < rows && bitmap.pixel_mode == FT_PIXEL_MODE_MONO; ++row) {
        std::memcpy(&bits[static_cast<size_t>(rows - 1 - row) * rowBytes],
                    bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch, rowBytes);
    }
    const float advance = std::round(static_cast<float>(slot->advance.x) / 64.0f);
    glBitmap(width, rows, static_cast<float>(-slot->bitmap_left),
             static_cast<float>(rows - slot->bitmap_top), advance, 0, bits.data());
}

} // namespace

HFONT WINAPI CreateFontA(int height, int width, int, int, int weight, DWORD italic, DWORD, DWORD,
                         DWORD charSet, DWORD, DWORD, DWORD, DWORD, LPCSTR faceName) {
    if (!StartFonts()) {
        ReportFailure("CreateFontA", "fontconfig or FreeType could not be started");
        return nullptr;
    }
    if (height == INT_MIN || std::abs(height) > largestHeight || width < 0 ||
        width > largestHeight || weight < 0 || weight > 1000) {
        ReportFailure("CreateFontA", "no font of height %d, width %d and weight %d", height, width,
                      weight);
        return nullptr;
    }
    FcPattern *request = FcPatternCreate();
    // A face name is at most 31 characters; an empty one asks for the default face.
    const std::string family = faceName ? std::string(faceName, strnlen(faceName, 31)) : "";
    if (!family.empty()) {
        FcPatternAddString(request, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    }
    if (charSet == SYMBOL_CHARSET) {
        FcPatternAddString(request, FC_FAMILY, reinterpret_cast<const FcChar8 *>("Symbol"));
    }
    if (weight != FW_DONTCARE) {
        FcPatternAddInteger(request, FC_WEIGHT, FcWeightFromOpenType(weight));
    }
    FcPatternAddInteger(request, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, request, FcMatchPattern);
    FcDefaultSubstitute(request);
    HFONT font = new HFONT__;
    const bool loaded = LoadFace(font, request, charSet) && SizeFace(font, height);
    FcPatternDestroy(request);
    if (!loaded) {
        ReportFailure("CreateFontA", "fontconfig offers no scalable face for \"%s\"",
                      family.c_str());
        if (font->face) {
            FT_Done_Face(font->face);
        }
        delete font;
        return nullptr;
    }
    platform.fonts.push_back(font);
    return font;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    HFONT font = LiveFont(object);
    if (!LiveDc(dc) || !font) {
        ReportFailure("SelectObject", "no device context or no font");
        return nullptr;
    }
    HFONT previous = dc->font;
    dc->font = font;
    return previous;
}

BOOL WINAPI wglUseFontBitmapsA(HDC dc, DWORD first, DWORD count, DWORD listBase) {
    if (!LiveDc(dc) || !LiveFont(dc->font) || !SDL_GL_GetCurrentContext() || listBase == 0 ||
        count > 0x10000 || first > 0x10ffff || listBase > UINT_MAX - count) {
        ReportFailure("wglUseFontBitmapsA",
                      "needs a device context with a font, a current rendering context and lists "
                      "%u to %u",
                      static_cast<unsigned>(listBase), static_cast<unsigned>(listBase + count));
        return FALSE;
    }
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    std::vector<GLubyte> bits;
    for (DWORD i = 0; i < count; ++i) {
        glNewList(listBase + i, GL_COMPILE);
        CompileGlyph(dc->font, first + i, bits);
        glEndList();
    }
    glPopClientAttrib();
    return TRUE;
}
