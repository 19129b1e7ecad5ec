// For a library preloaded into a program to stand in for some of the GL library's GLX functions,
// however the program finds them: called directly, or looked up by name at run time (with dlsym
// in the library it loads, or with glXGetProcAddress), as SDL and Wine do. stand_in.cpp answers
// the lookups; the library defines the functions and StandIn.
#pragma once

// The library's own function for `name`, or null for a name it does not stand in for.
void *StandIn(const char *name);

// What the GL library itself has under `name`.
void *RealGlxFunction(const char *name);
