// The program's start on Linux. As an installed Linux program it answers --help and --version
// without opening a display; otherwise, whatever the arguments, it calls WinMain with this
// module's instance and an empty command line, and its result is the exit status.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char helpText[] =
    "Usage: boxwalk [--help | --version]\n"
    "\n"
    "Shows a figure made of six flat-coloured boxes that turns on the spot while its arms\n"
    "and legs swing, so that it walks. At start a box asks \"Would you like Fullscreen?\":\n"
    "Yes switches the display to 800 x 600 and covers it, No opens a 400 x 400 window.\n"
    "\n"
    "Keys (letters in either case):\n"
    "  +        camera one unit closer\n"
    "  -        camera one unit farther away\n"
    "  E / D    eye 0.1 down / up\n"
    "  S / F    eye 0.1 right / left\n"
    "  Escape   quit (so does closing the window)\n"
    "\n"
    "Options:\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "It runs on the X display named by DISPLAY; on Wayland, where no X display opens or\n"
    "SDL_VIDEODRIVER=wayland asks for it, on the compositor named by WAYLAND_DISPLAY.\n";

// Writes an answer to standard output; status 0 once it is all written, 1 if it could not be.
int Answer(const char *text) {
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "boxwalk: cannot write to standard output: %s\n",
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            return Answer(helpText);
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            return Answer("boxwalk " BOXWALK_VERSION "\n");
        }
    }
    static char commandLine[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOW);
}
