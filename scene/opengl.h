// The system's OpenGL 1.1 and GLU headers. On Windows GL/gl.h pulls in what it needs itself.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>
