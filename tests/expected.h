// What the program is to show and do, in its own numbers and texts: the one place the suites take
// them from. Written from what the program is meant to do, never from its sources.
#pragma once

namespace expected {

// The prompt, answered before any window opens.
inline const char promptCaption[] = "User-Selection";
inline const char promptText[] = "Would you like Fullscreen?";

// The windows: titles; the windowed window's outer rectangle on the screen (from the primary
// monitor's corner), whose first projection is its outer size; and the display mode Yes switches
// to, which the fullscreen window covers and its projection fits.
inline const char windowedTitle[] = "OpenGL Windows Application Windowed!";
inline const char fullscreenTitle[] = "OpenGL Windows Application FullScreen!";
constexpr int windowedX = 100, windowedY = 100, windowedWidth = 400, windowedHeight = 400;
constexpr int fullscreenWidth = 800, fullscreenHeight = 600;

// The help line over the figure.
inline const char helpLine[] = "keys: +,-,e,d,s,f";

// The view at start, and what each key adds to it (either case of a letter), each sum formed in
// single precision: 1 for the zoom, the float nearest 0.1 for the eye.
constexpr float startEyeX = 0.0f, startEyeY = 0.0f, startZoom = 5.0f;
constexpr float zoomStep = 1.0f, eyeStep = 0.1f;
struct KeyStep {
    char key;
    float eyeX, eyeY, zoom;
};
constexpr KeyStep keySteps[] = {
    {'+', 0.0f, 0.0f, -zoomStep}, {'-', 0.0f, 0.0f, zoomStep}, {'D', 0.0f, eyeStep, 0.0f},
    {'E', 0.0f, -eyeStep, 0.0f},  {'F', -eyeStep, 0.0f, 0.0f}, {'S', eyeStep, 0.0f, 0.0f},
};

// The animation: the figure turns by one degree a frame, 1, 2, ..., 359, 0, ...; its limbs swing
// one degree a frame between the two extremes, each drawn once a cycle.
constexpr int spinStep = 1, spinTurn = 360;
constexpr int swingStep = 1, swingLimit = 15;

} // namespace expected
