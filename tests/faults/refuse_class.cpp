// Preloaded into the Linux program: the window-class registration is refused. The message boxes
// the program shows are still shown for real; their caption and text are also written, one line
// each, to the file named by BOXWALK_FAULT_RECORD, since the box draws its text as pixels only.
#include <windows.h>

#include <SDL.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

extern "C" ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *) {
    return 0;
}

extern "C" int SDL_ShowMessageBox(const SDL_MessageBoxData *box, int *button) {
    const char *path = std::getenv("BOXWALK_FAULT_RECORD");
    if (FILE *record = path ? std::fopen(path, "a") : nullptr) {
        std::fprintf(record, "%s\n%s\n", box->title, box->message);
        std::fclose(record);
    }
    using Show = int (*)(const SDL_MessageBoxData *, int *);
    static const Show show = reinterpret_cast<Show>(dlsym(RTLD_NEXT, "SDL_ShowMessageBox"));
    return show(box, button);
}
