// The program's start on Linux: WinMain with this module's instance and an empty command line;
// its result is the exit status.
#include <windows.h>

int main() {
    static char commandLine[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOW);
}
