#include "ink.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>

long Ink::Count() const {
    return static_cast<long>(std::count(on.begin(), on.end(), 1));
}

int Ink::Left() const {
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            if (on[static_cast<size_t>(y) * width + x]) {
                return x;
            }
        }
    }
    return -1;
}

int Ink::Right() const {
    for (int x = width - 1; x >= 0; --x) {
        for (int y = 0; y < height; ++y) {
            if (on[static_cast<size_t>(y) * width + x]) {
                return x;
            }
        }
    }
    return -1;
}

int Ink::StemWidth() const {
    std::vector<int> runs;
    for (int y = 0; y < height; ++y) {
        int run = 0;
        for (int x = 0; x <= width; ++x) {
            if (x < width && on[static_cast<size_t>(y) * width + x]) {
                ++run;
            } else if (run > 0) {
                runs.push_back(run);
                run = 0;
            }
        }
    }
    if (runs.empty()) {
        return 0;
    }
    const auto middle = runs.begin() + static_cast<std::ptrdiff_t>(runs.size() / 2);
    std::nth_element(runs.begin(), middle, runs.end());
    return *middle;
}

int Ink::BodyHeight() const {
    std::vector<int> rows(static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        rows[y] = static_cast<int>(std::count(on.begin() + static_cast<long>(y) * width,
                                              on.begin() + static_cast<long>(y + 1) * width, 1));
    }
    const int fullest = rows.empty() ? 0 : *std::max_element(rows.begin(), rows.end());
    return static_cast<int>(std::count_if(rows.begin(), rows.end(),
                                          [&](int n) { return n > 0 && n * 5 >= fullest * 2; }));
}

int Ink::InkHeight() const {
    int top = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        if (std::find(on.begin() + static_cast<long>(y) * width,
                      on.begin() + static_cast<long>(y + 1) * width,
                      1) != on.begin() + static_cast<long>(y + 1) * width) {
            top = top < 0 ? y : top;
            bottom = y;
        }
    }
    return top < 0 ? 0 : bottom - top + 1;
}

Ink ScreenInk(const Image &image, const Scene &scene) {
    const TextAnchor anchor = HelpLineAnchor(scene);
    // The band of the 48-pixel cells: up to a cell above the raster position, and the descenders
    // below it.
    const int top = std::max(0, static_cast<int>(std::floor(anchor.y - 52)));
    const int bottom = std::min(image.height, static_cast<int>(std::ceil(anchor.y + 16)));
    Ink ink;
    ink.width = image.width;
    ink.height = std::max(0, bottom - top);
    ink.on.assign(static_cast<size_t>(ink.width) * ink.height, 0);
    for (int y = 0; y < ink.height; ++y) {
        for (int x = 0; x < ink.width; ++x) {
            const unsigned char *pixel = image.At(x, top + y);
            ink.on[static_cast<size_t>(y) * ink.width + x] =
                pixel[0] > 200 && pixel[1] > 200 && pixel[2] > 200 ? 1 : 0;
        }
    }
    return ink;
}

namespace {

Face FaceOf(FcPattern *pattern) {
    Face face;
    FcChar8 *value = nullptr;
    if (FcPatternGetString(pattern, FC_FILE, 0, &value) == FcResultMatch) {
        face.file = reinterpret_cast<const char *>(value);
    }
    FcPatternGetInteger(pattern, FC_INDEX, 0, &face.index);
    if (FcPatternGetString(pattern, FC_FAMILY, 0, &value) == FcResultMatch) {
        face.name = reinterpret_cast<const char *>(value);
    }
    if (FcPatternGetString(pattern, FC_STYLE, 0, &value) == FcResultMatch) {
        face.name += std::string(" ") + reinterpret_cast<const char *>(value);
    }
    int weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(pattern, FC_WEIGHT, 0, &weight);
    face.weight = FcWeightToOpenType(weight);
    return face;
}

// The vertical metrics a font file states in its own tables, read from its bytes: the design
// units per em ('head'), and the cell above and below the baseline that Windows sizes a font by,
// the Windows ascent and descent ('OS/2'), or where those are zero, the ascender and descender of
// 'hhea'.
struct FileMetrics {
    long unitsPerEm = 0, ascent = 0, descent = 0;
};

FileMetrics ReadFileMetrics(const Face &face) {
    std::ifstream in(face.file, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    const auto number = [&bytes](size_t at, int size) {
        long value = 0;
        for (int i = 0; i < size; ++i) {
            value = value << 8 | (at + i < bytes.size() ? bytes[at + i] : 0);
        }
        return value;
    };
    const auto tagAt = [&bytes](size_t at) {
        return at + 4 <= bytes.size() ? std::string(bytes.begin() + static_cast<long>(at),
                                                    bytes.begin() + static_cast<long>(at + 4))
                                      : std::string();
    };
    // A collection lists the offsets of its fonts' table directories.
    const size_t font =
        tagAt(0) == "ttcf"
            ? static_cast<size_t>(number(12 + 4 * static_cast<size_t>(face.index & 0xffff), 4))
            : 0;
    FileMetrics metrics;
    long hheaAscent = 0, hheaDescent = 0;
    for (long table = 0; table < number(font + 4, 2); ++table) {
        const size_t record = font + 12 + static_cast<size_t>(table) * 16;
        const size_t at = static_cast<size_t>(number(record + 8, 4));
        const std::string tag = tagAt(record);
        if (tag == "head") {
            metrics.unitsPerEm = number(at + 18, 2);
        } else if (tag == "OS/2") {
            metrics.ascent = number(at + 74, 2);
            metrics.descent = number(at + 76, 2);
        } else if (tag == "hhea") {
            hheaAscent = static_cast<int16_t>(number(at + 4, 2));
            hheaDescent = -static_cast<int16_t>(number(at + 6, 2));
        }
    }
    if (metrics.ascent + metrics.descent == 0) {
        metrics.ascent = hheaAscent;
        metrics.descent = hheaDescent;
    }
    return metrics;
}

// Sizes the face so that its cell, the Windows ascent plus descent, spans `cellHeight` pixels;
// returns the ascent in pixels, or -1.
int SizeToCell(FT_Face loaded, const Face &face, int cellHeight) {
    const FileMetrics metrics = ReadFileMetrics(face);
    const auto cell = static_cast<double>(metrics.ascent + metrics.descent);
    if (cell <= 0 || metrics.unitsPerEm == 0) {
        return -1;
    }
    const double em = cellHeight * static_cast<double>(metrics.unitsPerEm) / cell;
    if (FT_Set_Char_Size(loaded, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72) != 0) {
        return -1;
    }
    return static_cast<int>(std::lround(cellHeight * static_cast<double>(metrics.ascent) / cell));
}

} // namespace

Face MatchFace(const char *family, int weight) {
    Face face;
    if (!FcInit()) {
        return face;
    }
    FcPattern *request = FcPatternCreate();
    FcPatternAddString(request, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family));
    FcPatternAddInteger(request, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(request, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, request, FcMatchPattern);
    FcDefaultSubstitute(request);
    FcResult result;
    FcPattern *match = FcFontMatch(nullptr, request, &result);
    if (match) {
        face = FaceOf(match);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(request);
    return face;
}

std::vector<Face> SystemFaces() {
    std::vector<Face> faces;
    if (!FcInit()) {
        return faces;
    }
    FcPattern *all = FcPatternCreate();
    FcPatternAddBool(all, FC_SCALABLE, FcTrue);
    FcObjectSet *objects =
        FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_STYLE, FC_WEIGHT, nullptr);
    FcFontSet *set = FcFontList(nullptr, all, objects);
    for (int i = 0; set && i < set->nfont; ++i) {
        faces.push_back(FaceOf(set->fonts[i]));
    }
    if (set) {
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(all);
    return faces;
}

Ink RenderLine(const Face &source, int cellHeight, const std::string &text) {
    Ink ink;
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        return ink;
    }
    FT_Face face = nullptr;
    if (source.file.empty() ||
        FT_New_Face(library, source.file.c_str(), source.index, &face) != 0) {
        FT_Done_FreeType(library);
        return ink;
    }
    const int ascent = SizeToCell(face, source, cellHeight);
    const int margin = cellHeight;
    ink.width = static_cast<int>(text.size()) * cellHeight * 2 + 2 * margin;
    ink.height = cellHeight + 2 * margin;
    ink.on.assign(static_cast<size_t>(ink.width) * ink.height, 0);
    const int baseline = margin + ascent;
    int pen = margin;
    for (const char c : text) {
        if (ascent < 0 ||
            FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_TARGET_MONO) != 0 ||
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) != 0) {
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap &bitmap = slot->bitmap;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned column = 0; column < bitmap.width; ++column) {
                const unsigned char byte = bitmap.buffer[row * bitmap.pitch + column / 8];
                const int x = pen + slot->bitmap_left + static_cast<int>(column);
                const int y = baseline - slot->bitmap_top + static_cast<int>(row);
                if ((byte & (0x80 >> (column % 8))) && x >= 0 && x < ink.width && y >= 0 &&
                    y < ink.height) {
                    ink.on[static_cast<size_t>(y) * ink.width + x] = 1;
                }
            }
        }
        pen += static_cast<int>(std::lround(static_cast<double>(slot->advance.x) / 64.0));
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return ink;
}
