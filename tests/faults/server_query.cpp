#include "server_query.h"

#include <X11/Xlib.h>

bool ServerHasExtension(const char *name) {
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        return false;
    }
    int opcode = 0, event = 0, error = 0;
    const bool has = XQueryExtension(display, name, &opcode, &event, &error) != 0;
    XCloseDisplay(display);
    return has;
}
