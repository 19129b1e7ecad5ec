// Where the figure and the help line must appear on screen, worked out from the camera, the
// projection and the body parts with gluProject, and compared with what a screenshot shows.
#pragma once

#include "expected.h"
#include "x_display.h"

#include <array>
#include <string>

// The colours on screen: the head (white), torso (blue), arms (red) and legs (yellow).
enum Colour { White, Blue, Red, Yellow, ColourCount };
const char *ColourName(int colour);

struct ViewState {
    float eyeX = expected::startEyeX, eyeY = expected::startEyeY, zoom = expected::startZoom;
};

// What the program draws with: its view state, the size its projection was last fitted to
// (the viewport's width and height, from its lower-left corner), and the drawable it draws into.
struct Scene {
    ViewState view;
    int projectionWidth = expected::windowedWidth, projectionHeight = expected::windowedHeight;
    // The client area, as the screenshot covers it.
    int width = expected::windowedWidth, height = expected::windowedHeight;
};

// The windowed window's outer rectangle, and the display switched by Yes, from the corner of the
// primary monitor at (left, top).
inline Rect WindowedOuter(int left = 0, int top = 0) {
    return {left + expected::windowedX, top + expected::windowedY, expected::windowedWidth,
            expected::windowedHeight};
}
inline Rect Switched(int left = 0, int top = 0) {
    return {left, top, expected::fullscreenWidth, expected::fullscreenHeight};
}

// An axis-aligned rectangle in screenshot coordinates (x right, y down, pixel edges).
struct Box2 {
    double left = 0, top = 0, right = 0, bottom = 0;
    bool empty = true;
};

// The rectangle each colour's parts cover for one spin angle and one swing angle (degrees) of
// the arm and leg that swing forwards; the other pair swings by the negated angle.
std::array<Box2, ColourCount> FigureBoxes(const Scene &scene, double spin, double swing);

// Where the help line's raster position falls on screen, and whether it lies inside the view.
struct TextAnchor {
    double x = 0, y = 0;
    bool inside = false;
};
TextAnchor HelpLineAnchor(const Scene &scene);

// What a screenshot shows: the bounding rectangle of each colour, the head told apart from the
// white help line by position (the line lies below its anchor's cell top, the head above).
struct Observed {
    std::array<Box2, ColourCount> figure;
    Box2 text;
    long otherPixels = 0; // pixels of none of the expected colours, nor black
};
Observed Observe(const Image &image, const Scene &scene);
std::string Describe(const Observed &observed);

// The best match over every spin angle and swing angle the figure takes: `score` is the worst
// edge's distance in units of its allowance (at most 1 fits); `worst` says which edge and by how
// much. The arms count only where they reach beyond their place: the torso may hide the far one.
struct Fit {
    double score = 1e9;
    int spin = 0, swing = 0;
    std::string worst;
};
Fit BestFit(const Observed &observed, const Scene &scene);

// Over all spin and swing angles: the union of each colour's rectangles, and the rectangle that
// every frame covers (left > right or top > bottom where no such part exists).
struct Reach {
    std::array<Box2, ColourCount> any;
    std::array<Box2, ColourCount> every;
};
Reach FigureReach(const Scene &scene);

// Pixels an observed edge may lie outside its predicted place (rasterisation), and inside it
// (rasterisation, and parts of another colour hiding a corner in front of it).
double OutwardAllowance();
double InwardAllowance(int colour);
