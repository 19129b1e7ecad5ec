// The floor of the frame loop: the program's own prompt, set-up and frame loop, with frames that
// are only cleared. Its frame rate is the most a frame of the figure can approach on the same
// platform.
#include "shell.h"
#include "opengl.h"

namespace {

void NothingToPrepare() {}

void ClearFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunProgram(NothingToPrepare, ClearFrame);
}
