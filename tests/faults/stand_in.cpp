#include "stand_in.h"

#include <GL/glx.h>

#include <dlfcn.h>

#include <cstring>

namespace {

using Lookup = void *(*)(void *, const char *);
using GetProc = __GLXextFuncPtr (*)(const GLubyte *);

// The C library's own dlsym.
Lookup RealDlsym() {
    static const Lookup real = [] {
        Lookup found = reinterpret_cast<Lookup>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34"));
        return found ? found : reinterpret_cast<Lookup>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5"));
    }();
    return real;
}

// The GL library's own lookup, found where the caller found it.
GetProc realGetProcAddress = nullptr;

bool IsGetProcAddress(const char *name) {
    return std::strcmp(name, "glXGetProcAddressARB") == 0 ||
           std::strcmp(name, "glXGetProcAddress") == 0;
}

} // namespace

void *RealGlxFunction(const char *name) {
    return RealDlsym()(RTLD_NEXT, name);
}

extern "C" {

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte *name) {
    if (void *standIn = name ? StandIn(reinterpret_cast<const char *>(name)) : nullptr) {
        return reinterpret_cast<__GLXextFuncPtr>(standIn);
    }
    if (!realGetProcAddress) {
        realGetProcAddress = reinterpret_cast<GetProc>(RealGlxFunction("glXGetProcAddressARB"));
    }
    return realGetProcAddress ? realGetProcAddress(name) : nullptr;
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte *name) {
    return glXGetProcAddressARB(name);
}

void *dlsym(void *handle, const char *name) {
    if (IsGetProcAddress(name)) {
        realGetProcAddress = reinterpret_cast<GetProc>(RealDlsym()(handle, name));
        return realGetProcAddress ? reinterpret_cast<void *>(&glXGetProcAddressARB) : nullptr;
    }
    if (void *standIn = StandIn(name)) {
        return standIn;
    }
    return RealDlsym()(handle, name);
}
}
