// What a font handle holds: the face FreeType loaded and what fontconfig matched.
#pragma once

#include <windows.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

struct FontFacts {
    std::string family;
    std::string style;
    std::string file;
    int ascent = 0, descent = 0; // pixels above and below the baseline; their sum is the cell
    bool symbol = false;         // matched as a symbol face
};

struct HFONT__ {
    FT_Face face = nullptr;
    FontFacts facts;
    bool emboldened = false; // a bold request met by a face that is not bold
};
