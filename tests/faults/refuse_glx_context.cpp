// Preloaded into Wine running the Windows program: the system's GL library creates no GLX
// context. Wine loads the library at run time and looks its functions up by name, so the lookups
// of the context-making functions are answered with ones that refuse; the direct calls are
// refused as well.
#include "stand_in.h"

#include <GL/glx.h>

#include <cstring>

extern "C" {

GLXContext glXCreateContext(Display *, XVisualInfo *, GLXContext, Bool) {
    return nullptr;
}

GLXContext glXCreateNewContext(Display *, GLXFBConfig, int, GLXContext, Bool) {
    return nullptr;
}

GLXContext glXCreateContextAttribsARB(Display *, GLXFBConfig, GLXContext, Bool, const int *) {
    return nullptr;
}
}

void *StandIn(const char *name) {
    if (std::strcmp(name, "glXCreateContext") == 0) {
        return reinterpret_cast<void *>(&glXCreateContext);
    }
    if (std::strcmp(name, "glXCreateNewContext") == 0) {
        return reinterpret_cast<void *>(&glXCreateNewContext);
    }
    if (std::strcmp(name, "glXCreateContextAttribsARB") == 0) {
        return reinterpret_cast<void *>(&glXCreateContextAttribsARB);
    }
    return nullptr;
}
