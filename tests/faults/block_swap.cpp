// SDL's GL library for the Linux program (SDL_OPENGL_LIBRARY): the system's, but once the file
// named by BOXWALK_BLOCK_SWAP exists, the next buffer swap removes it and never returns, as a
// swap the display never completes would. The file gone tells the test that the swap is blocked.
// With BOXWALK_BLOCK_SWAP_AFTER_ERROR set, the swap first makes a request the X server refuses,
// as a frame drawn into a window the server has taken away does, so that the error is noted while
// the frame never comes back.
//
// SDL finds every GLX function in this library or, through it, in the system's GL library, which
// it depends on. It is loaded, not preloaded, because a preloaded library that catches dlsym
// breaks the sanitizers, whose runtimes look their own functions up with dlsym at start.
#include "stand_in.h"

#include <GL/glx.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

// Named apart from glXSwapBuffers: loaded by SDL beside the system's GL library, this library's
// own name for the function would be bound to the system's.
void BlockingSwap(Display *display, GLXDrawable drawable) {
    const char *trigger = std::getenv("BOXWALK_BLOCK_SWAP");
    if (trigger && unlink(trigger) == 0) {
        if (std::getenv("BOXWALK_BLOCK_SWAP_AFTER_ERROR")) {
            Window root = 0;
            int x = 0, y = 0;
            unsigned width = 0, height = 0, border = 0, depth = 0;
            XGetGeometry(display, None, &root, &x, &y, &width, &height, &border, &depth);
        }
        for (;;) {
            pause(); // signal handlers still run; the swap does not go on after them
        }
    }
    using Swap = void (*)(Display *, GLXDrawable);
    static const Swap swap = reinterpret_cast<Swap>(RealGlxFunction("glXSwapBuffers"));
    swap(display, drawable);
}

} // namespace

extern "C" void glXSwapBuffers(Display *display, GLXDrawable drawable) {
    BlockingSwap(display, drawable);
}

void *StandIn(const char *name) {
    return std::strcmp(name, "glXSwapBuffers") == 0 ? reinterpret_cast<void *>(&BlockingSwap)
                                                    : nullptr;
}
