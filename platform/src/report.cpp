// One line on standard error for each platform operation that fails, said once.
#include "platform.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

void ReportFailure(const char *operation, const char *format, ...) {
    char reason[512];
    va_list arguments;
    va_start(arguments, format);
    // va_start initialises the list; the fortified vsnprintf hides that from the analyser.
    std::vsnprintf(reason, sizeof(reason), format, // NOLINT(clang-analyzer-valist.Uninitialized)
                   arguments);
    va_end(arguments);
    // A failure that repeats on every frame (a swap without a context) is said the first time.
    const std::string line = std::string("boxwalk: ") + operation + ": " + reason + "\n";
    if (platform.reported.insert(line).second) {
        std::fputs(line.c_str(), stderr);
    }
}

std::string SdlReason() {
    const char *error = SDL_GetError();
    return error && *error ? error : "no reason given";
}

const char *XErrorName(Display *x, int code, char *name, size_t size) {
    name[0] = '\0';
    if (x && size > 1) {
        // Xlib's text is the name and then its meaning in brackets: "BadValue (integer ...)".
        XGetErrorText(x, code, name, static_cast<int>(size));
        name[std::strcspn(name, " ")] = '\0';
        if (std::isdigit(static_cast<unsigned char>(name[0]))) {
            name[0] = '\0'; // the code's number: no name Xlib knows
        }
    }
    return name;
}
