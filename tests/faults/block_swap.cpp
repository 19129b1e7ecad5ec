// Preloaded into the Linux program: once the file named by BOXWALK_BLOCK_SWAP exists, the next
// buffer swap removes it and never returns, as a swap the display never completes would. The file
// gone tells the test that the swap is blocked.
#include "stand_in.h"

#include <GL/glx.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" void glXSwapBuffers(Display *display, GLXDrawable drawable) {
    const char *trigger = std::getenv("BOXWALK_BLOCK_SWAP");
    if (trigger && unlink(trigger) == 0) {
        for (;;) {
            pause(); // signal handlers still run; the swap does not go on after them
        }
    }
    using Swap = void (*)(Display *, GLXDrawable);
    static const Swap swap = reinterpret_cast<Swap>(RealGlxFunction("glXSwapBuffers"));
    swap(display, drawable);
}

void *StandIn(const char *name) {
    return std::strcmp(name, "glXSwapBuffers") == 0 ? reinterpret_cast<void *>(&glXSwapBuffers)
                                                    : nullptr;
}
