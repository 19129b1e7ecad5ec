// What the test's X server offers, asked on a connection of its own.
#pragma once

// Whether the server on DISPLAY has the extension `name` (e.g. "GLX").
bool ServerHasExtension(const char *name);
