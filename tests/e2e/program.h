// The program under test as every end-to-end suite starts, answers, watches and ends it, on the
// test's X display; the suite's arguments are in RunProgramTests and docs/testing.md.
#pragma once

#include "geometry.h"
#include "process.h"
#include "wine.h"
#include "x_display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Where the two builds differ in what a user sees, and so in how the scenario drives and measures
// them: docs/testing.md, "Where the two builds differ under test".
struct ProgramKind {
    const char *name;
    bool underWine;
    const char *answerNo, *answerYes; // keys typed into the prompt
    bool frameInsideOuterRect;        // the X window is the client area inside the Win32 frame
    double startSeconds;              // how long the prompt may take to appear
};

extern const ProgramKind *kind;
extern WineSession wine;
extern bool underWindowManager; // --wm
extern bool onWaylandDesktop;   // --wayland
// How long the program may take for anything it does asynchronously (a window, a mode, a frame,
// an exit) on a loaded machine; the waits poll often, so an idle machine does not wait long.
extern std::string programPath;
extern std::string shotDirectory;

// The environment the program runs in (for Wine, the test's own prefix, quiet).
EnvChanges ProgramEnvironment();

std::string Text(const Rect &rect);
// Where the screenshot `name` of the current test goes.
std::string ShotPath(const std::string &name);

// The view state after the program has handled one character, as its window procedure does it.
void Apply(ViewState &view, char key);
std::string Repeat(const std::string &keys, int times);

class Boxwalk : public ::testing::Test {
  protected:
    Child program;
    EnvChanges programEnvironment; // what the program was last started with
    WindowId window = 0;
    Scene scene;    // what the program is expected to draw with now
    Rect startMode; // the display's mode when the test began

    void SetUp() override;
    // Ends a program left running by a close request; a display left switched fails the test
    // (unless Wine lost its mode) and is set back. Wine's session ends with the test.
    void TearDown() override;

    // Starts the program with extra environment changes on top of ProgramEnvironment().
    void Start(const EnvChanges &extra = {});
    // Starts the program and waits for its prompt.
    WindowId StartToPrompt(const EnvChanges &extra = {});
    void Answer(WindowId prompt, bool yes);
    // Types `keys` into `target` as the desktop lets a test: through the keyboard (XTest) with
    // the focus and the pointer on the window, or on a Wayland desktop sent to the window.
    void TypeInto(WindowId target, const std::string &keys);
    // Waits for the window titled `title` after the prompt was answered; `scene` then describes
    // its client area with the first projection `projectionWidth` x `projectionHeight`.
    void WaitForProgramWindow(const char *title, int projectionWidth, int projectionHeight);
    // Waits for the windowed window after the prompt was answered.
    void WaitForWindowed();
    // Opens the windowed window and waits for its first frames, so that the program has
    // finished setting the window up before the test acts on it.
    void OpenWindowed();
    // Answers Yes and waits for the fullscreen window; `scene` then describes it with the first
    // projection for 800 x 600.
    void OpenFullscreen(const EnvChanges &extra = {});
    // Waits for the display to run in `mode`, and checks that it does.
    void ExpectMode(const Rect &mode, const char *after);
    // Checks that the display runs in the mode it had when the test began, waiting for a restore
    // still under way.
    void ExpectStartMode(const char *after);
    // Whether Wine lost the display's mode (the display stays switched whatever the program does);
    // the test then runs again, with the display set back and Wine's session ended.
    bool WineLostTheDisplayMode();
    // Whether the display is not as the test began; a suite that arranges more than one
    // monitor says so of all of them.
    virtual bool DisplayLeftSwitched();
    // Switches the display back to the mode it had as the test began.
    void SetStartModeBack();
    // Waits for the window to lie at `rect` in root coordinates, and checks that it does.
    void ExpectWindowAt(const Rect &rect, const char *what);

    Image Shot(const std::string &name);
    // Takes screenshots until one shows the figure as `expected` puts it and not as `previous`
    // would, for at most `seconds`.
    void WaitForView(const Scene &expected, const Scene *previous, const std::string &name,
                     double seconds = patience);
    // Checks that the figure and the help line lie where the geometry of `scene` puts them in
    // the screenshot `name`.
    void ExpectFigureInPlace(const std::string &name);
    // Types `keys` into the window and waits for the view they lead to.
    void TypeAndExpect(const std::string &keys, const std::string &name, double seconds = patience);
    // Resizes the window, waits for the size to take, and notes it in `scene`; false when the
    // window did not take it.
    bool ResizeTo(int width, int height);
    // Whether a resize that the test makes reaches the program as a size change; where it does
    // not (Wine on a bare X server, see WineSession), ResizeTo leaves `scene` as it was.
    static bool ResizesReachTheProgram();

    void ExpectStillRunning(const char *after);
    void ExpectExitZero(const char *after);
    void ExpectExit(int status, const char *after, double seconds = patience);
};

// The program started and answered No, its window open and drawing.
class BoxwalkWindowed : public Boxwalk {
  protected:
    void SetUp() override;
};

// CTest's status for a suite that lacks what it needs and so has run nothing.
const int skippedStatus = 77;

// Why the windowed window's client area does not sit in `outer` as its frame puts it (a window
// manager's frame, or the Win32 one; on Wayland only the size counts); empty when it does.
std::string WindowedPlaceFault(WindowId window, const Rect &outer);

// Waits for the windowed window to settle where its frame puts it (a window manager may move it
// after it shows), and checks that it does.
void ExpectWindowedPlace(WindowId window, const Rect &outer);

// Names each parameterised test after its parameter's `name`.
template <typename Parameter> std::string NameOf(const ::testing::TestParamInfo<Parameter> &info) {
    return info.param.name;
}

// Runs the suite: --program=PATH | --wine=PATH [--shots=DIR] [--wm | --wayland]; where it lacks
// something (`lacking`, the Windows build, Wine) says so in one line and returns `skippedStatus`.
int RunProgramTests(int argc, char **argv, const std::string &lacking = "",
                    bool startsItsServers = false);
