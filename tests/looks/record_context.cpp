// Preloaded into the Linux program: every release of a rendering context is written, with its
// result, as one line to the file named by BOXWALK_CONTEXT_RECORD, and then carried out.
#include <windows.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

extern "C" BOOL WINAPI wglDeleteContext(HGLRC context) {
    using Delete = BOOL (*)(HGLRC);
    static const Delete release = reinterpret_cast<Delete>(dlsym(RTLD_NEXT, "wglDeleteContext"));
    const BOOL result = release ? release(context) : FALSE;
    const char *path = std::getenv("BOXWALK_CONTEXT_RECORD");
    if (FILE *record = path ? std::fopen(path, "a") : nullptr) {
        std::fprintf(record, "wglDeleteContext %s\n", result ? "TRUE" : "FALSE");
        std::fclose(record);
    }
    return result;
}
