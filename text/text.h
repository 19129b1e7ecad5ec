// The text overlay: a system font turned into bitmap glyph lists, and the help line drawn with it.
#pragma once

#include <windows.h>
#include <GL/gl.h>

// First of the 96 glyph lists of the help-line font; 0 when no font could be built.
extern GLuint fontBase;

// Builds 96 display lists, one bitmap glyph each for the characters 32 to 127 of the named face at
// the given cell height, from the font selected into deviceContext. Returns the first list, or 0
// when the font cannot be created. Needs a current rendering context.
GLuint MakeBitmapFont(const char *faceName, int height);

// Draws a NUL-terminated byte string at the current raster position; nothing for base 0 or null.
void PrintBitmapText(GLuint base, const char *text);

// Deletes the 96 glyph lists of a font built by MakeBitmapFont.
void FreeBitmapFont(GLuint base);

// Draws the help line in white over the frame, left of and below the centre of the view.
void DrawHelpLine();
