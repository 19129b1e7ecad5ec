// The system's OpenGL 1.1 and GLU headers. On Windows they expect what windows.h defines
// (WINGDIAPI, APIENTRY) to come first.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <GL/gl.h>
#include <GL/glu.h>
