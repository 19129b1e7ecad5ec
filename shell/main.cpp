// The program's entry: start-up, then the frame loop until the quit message arrives.
#include "shell.h"
#include "scene.h"
#include "text.h"

namespace {

// Between set-up and the first frame: the font of the help line.
void BuildFont() {
    fontBase = MakeBitmapFont("Comic Sans MS", 48);
}

// One frame of the program: the figure, then the help line over it.
void DrawFigureAndHelpLine() {
    DrawFrame();
    DrawHelpLine();
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunProgram(BuildFont, DrawFigureAndHelpLine);
}
