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

    long Count() const;
    // The columns of the leftmost and rightmost ink, -1 for both when there is none.
    int Left() const;
    int Right() const;
    // The median length of the horizontal runs of ink: the width of the vertical stems, which
    // most rows of most letters cross.
    int StemWidth() const;
    // The height of the lowercase letters' bodies: the rows that carry at least 40 % of the ink
    // of the fullest row.
    int BodyHeight() const;
    // The number of rows from the highest ink to the lowest.
    int InkHeight() const;
};

// The help line's pixels in a screenshot of the scene: the white ones in the band of its cells.
Ink ScreenInk(const Image &image, const Scene &scene);

// A face the system offers: its file, its index in the file, its name and OpenType weight.
struct Face {
    std::string file;
    int index = 0;
    std::string name;
    int weight = 0;
};

// The face fontconfig matches for `family` at the OpenType weight `weight` (upright); an empty
// file when there is none.
Face MatchFace(const char *family, int weight);

// Every scalable face the system offers.
std::vector<Face> SystemFaces();

// The line `text` as a bitmap font made from `face` sets it: each glyph rendered in one bit per
// pixel, its cell (the face's Windows ascent and descent) `cellHeight` pixels tall, the pen
// advanced by each glyph's rounded advance. An empty Ink when the face cannot be loaded.
Ink RenderLine(const Face &face, int cellHeight, const std::string &text);
