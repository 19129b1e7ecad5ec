// For a library preloaded into a program to stand in for some of the GL library's GLX functions,
// however the program finds them: called directly, or looked up by name at run time (with dlsym
// in the library it loads, or with glXGetProcAddress), as SDL and Wine do. The same library can
// instead be the one SDL loads as its GL library (SDL_OPENGL_LIBRARY), which passes SDL's lookups
// on to the system's GL library that it depends on. stand_in.cpp answers the lookups; the library
// defines the functions and StandIn.
#pragma once

// The library's own function for `name`, or null for a name it does not stand in for. A library
// that SDL loads beside the system's GL library gives one named apart from the GLX functions: its
// references to its own exported GLX names are bound to the system's.
void *StandIn(const char *name);

// What the GL library itself has under `name`.
void *RealGlxFunction(const char *name);
