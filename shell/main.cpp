// The program's entry: start-up, then the frame loop until the quit message arrives.
#include "shell.h"
#include "scene.h"
#include "text.h"

namespace {

// One frame of the program: the figure, then the help line over it.
void DrawFigureAndHelpLine() {
    DrawFrame();
    DrawHelpLine();
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    AskFullscreen();
    if (!SetupWindow()) {
        // Without a window no quit message can ever arrive: give the display back and stop.
        RestoreDisplay();
        return 1;
    }
    fontBase = MakeBitmapFont("Comic Sans MS", 48);
    return RunFrameLoop(DrawFigureAndHelpLine);
}
