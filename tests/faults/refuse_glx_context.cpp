// Preloaded into Wine running the Windows program: the system's GL library creates no GLX
// context. Wine loads the library at run time and looks its functions up by name, so the lookups
// of the context-making functions are answered with ones that refuse; the direct calls are
// refused as well.
#include <GL/glx.h>

#include <dlfcn.h>

#include <cstring>

namespace {

using Lookup = void *(*)(void *, const char *);

Lookup RealDlsym() {
    static Lookup real = [] {
        Lookup found = reinterpret_cast<Lookup>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34"));
        return found ? found : reinterpret_cast<Lookup>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5"));
    }();
    return real;
}

GLXContext Refuse() {
    return nullptr;
}

using GetProc = __GLXextFuncPtr (*)(const GLubyte *);
// The GL library's own lookup, found where the caller found it.
GetProc realGetProcAddress = nullptr;

} // namespace

extern "C" {

GLXContext glXCreateContext(Display *, XVisualInfo *, GLXContext, Bool) {
    return Refuse();
}

GLXContext glXCreateNewContext(Display *, GLXFBConfig, int, GLXContext, Bool) {
    return Refuse();
}

GLXContext glXCreateContextAttribsARB(Display *, GLXFBConfig, GLXContext, Bool, const int *) {
    return Refuse();
}

// The refusing function for a context-making name, or null for every other name.
static void *Refusing(const char *name) {
    if (!name) {
        return nullptr;
    }
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

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte *name) {
    if (void *refusing = Refusing(reinterpret_cast<const char *>(name))) {
        return reinterpret_cast<__GLXextFuncPtr>(refusing);
    }
    if (!realGetProcAddress) {
        realGetProcAddress =
            reinterpret_cast<GetProc>(RealDlsym()(RTLD_NEXT, "glXGetProcAddressARB"));
    }
    return realGetProcAddress ? realGetProcAddress(name) : nullptr;
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte *name) {
    return glXGetProcAddressARB(name);
}

void *dlsym(void *handle, const char *name) {
    if ((std::strcmp(name, "glXGetProcAddressARB") == 0 ||
         std::strcmp(name, "glXGetProcAddress") == 0)) {
        realGetProcAddress = reinterpret_cast<GetProc>(RealDlsym()(handle, name));
        return realGetProcAddress ? reinterpret_cast<void *>(&glXGetProcAddressARB) : nullptr;
    }
    if (void *refusing = Refusing(name)) {
        return refusing;
    }
    return RealDlsym()(handle, name);
}
}
