// The help line as ink: which pixels its glyphs set, as the screen shows them or as the font the
// program asks for sets them, and the measures that tell one weight of a face from another.
#pragma once

#include "geometry.h"

#include <string>
#include <vector>

// A 1-bit picture: `on` holds width * height bytes, rows from the top, 1 where ink is.
struct Ink {
    int width = 0, height = 0;
    std::vector<unsigned char> on;
    std::string face; // the face that set it, for a rendering

    long Count() const;
    // The columns of the leftmost and rightmost ink, -1 for both when there is none.
    int Left() const;
    int Right() const;
    // The median length of the horizontal runs of ink: the width of the vertical stems, which
    // most rows of most letters cross.
    double StemWidth() const;
    // The height of the lowercase letters' bodies: the rows that carry at least 40 % of the ink
    // of the fullest row.
    int BodyHeight() const;
};

// The help line's pixels in a screenshot of the scene: the white ones in the band of its cells.
Ink ScreenInk(const Image &image, const Scene &scene);

// The line `text` as a bitmap font made from the face that fontconfig matches for `family` at the
// OpenType weight `weight` sets it: each glyph rendered in one bit per pixel, its cell (the
// face's Windows ascent and descent) `cellHeight` pixels tall, the pen advanced by each glyph's
// rounded advance. An empty Ink when no face could be loaded.
Ink RenderLine(const char *family, int weight, int cellHeight, const std::string &text);
