// Preloaded into every process of the sanitizer run: libraries are never unloaded, so that a leak
// report can name the library that made the allocation (the GL driver is unloaded at exit, before
// the leak check, and its frames would show as an unknown module).
extern "C" int dlclose(void *) {
    return 0;
}
