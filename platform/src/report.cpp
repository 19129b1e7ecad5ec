// One line on standard error for each platform operation that fails, said once.
#include "platform.h"

#include <cstdarg>
#include <cstdio>

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
