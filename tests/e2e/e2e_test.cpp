// The program end to end: started for real on the test's X display, answered, typed at, resized,
// closed, and photographed. One scenario runs against two programs: the Linux build, and the
// Windows build under Wine.
//
//   e2e_test --program=build/boxwalk [--shots=DIR]
//   e2e_test --wine=build-windows/boxwalk.exe [--shots=DIR]
#include "geometry.h"
#include "png_file.h"
#include "process.h"
#include "x_display.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <sstream>
#include <string>

namespace {

const char *const promptTitle = "User-Selection";
const char *const windowedTitle = "OpenGL Windows Application Windowed!";
const char *const fullscreenTitle = "OpenGL Windows Application FullScreen!";

// Where the two programs really differ in what a user sees, and so in how the scenario drives and
// measures them:
//
// | What                | Linux build                     | Windows build under Wine          |
// |---------------------|---------------------------------|-----------------------------------|
// | started as          | the program itself              | wine64 with a private prefix      |
// | prompt answered by  | Escape / Return: the box's      | the keys N / Y: the mnemonics of  |
// | (No / Yes)          | escape and default buttons      | the No and Yes buttons (a Win32   |
// |                     |                                 | yes/no box ignores Escape)        |
// | window frame        | the window manager's: the X     | Win32's, drawn by Wine only when  |
// |                     | window is the whole 400 x 400   | a window manager asks; the X      |
// |                     | outer rectangle                 | window is the client area, inset  |
// |                     |                                 | in the outer 400 x 400 by the     |
// |                     |                                 | frame (equal sides and bottom,    |
// |                     |                                 | caption on top)                   |
// | first projection    | 400 x 400, the whole client     | 400 x 400 from the client's       |
// |                     |                                 | lower-left corner, larger than    |
// |                     |                                 | the client until a size change    |
// | no display          | exit 1, one line on stderr      | Wine's own diagnostics on stderr  |
// |                     |                                 | (no display driver could be       |
// |                     |                                 | loaded); the prompt and the window|
// |                     |                                 | fail, the program exits 1         |
// | start-up            | under a second                  | several seconds (Wine's services) |
struct ProgramKind {
    const char *name;
    bool underWine;
    const char *answerNo, *answerYes; // keys typed into the prompt
    bool frameInsideOuterRect;        // the X window is the client area inside the Win32 frame
    double startSeconds;              // how long the prompt may take to appear
};

const ProgramKind linuxProgram = {"linux", false, "\x1b", "\r", false, 10.0};
const ProgramKind windowsProgram = {"windows", true, "n", "y", true, 60.0};

const ProgramKind *kind = &linuxProgram;
std::string programPath;
std::string shotDirectory = ".";
std::string winePrefix;

const char *const wineLoader = "/usr/lib/wine/wine64";
const char *const wineQuiet = "-all";
const char *const wineNoAddons = "mscoree,mshtml="; // no Mono or Gecko installer prompts

EnvChanges ProgramEnvironment() {
    if (!kind->underWine) {
        return {{"WAYLAND_DISPLAY", nullptr}};
    }
    return {{"WINEPREFIX", winePrefix.c_str()},
            {"WINEDEBUG", wineQuiet},
            {"WINEDLLOVERRIDES", wineNoAddons}};
}

std::vector<std::string> ProgramCommand() {
    if (kind->underWine) {
        return {wineLoader, programPath};
    }
    return {programPath};
}

// The X display for every test, and for the Windows build a Wine prefix of the test's own.
class TestSession : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(OpenTestDisplay()) << "cannot open the X display \""
                                       << (getenv("DISPLAY") ? getenv("DISPLAY") : "") << "\"";
        if (!kind->underWine || access(programPath.c_str(), R_OK) != 0) {
            return;
        }
        char directory[] = "/tmp/boxwalk-wine-XXXXXX";
        ASSERT_NE(mkdtemp(directory), nullptr);
        winePrefix = directory;
        const double started = Now();
        const int status = RunCommand({wineLoader, "wineboot", "-i"}, ProgramEnvironment(), 240);
        ASSERT_EQ(status, 0) << "wineboot -i failed in " << winePrefix;
        std::printf("Wine prefix %s made in %.1f s\n", winePrefix.c_str(), Now() - started);
    }

    void TearDown() override {
        if (!winePrefix.empty()) {
            RunCommand({"/usr/lib/wine/wineserver", "-k"}, ProgramEnvironment(), 30);
            RunCommand({"/bin/rm", "-rf", winePrefix}, {}, 60);
        }
        CloseTestDisplay();
    }
};

std::string Text(const Rect &rect) {
    std::ostringstream text;
    text << "(" << rect.x << ", " << rect.y << ") " << rect.width << " x " << rect.height;
    return text.str();
}

// The view state after the program has handled one character, as its window procedure does it:
// steps of 1 for zoom and of the float nearest 0.1 for the eye, each result stored as a float.
void Apply(ViewState &view, char key) {
    const float eyeStep = 0.1f;
    switch (toupper(static_cast<unsigned char>(key))) {
    case '+':
        view.zoom = view.zoom - 1.0f;
        break;
    case '-':
        view.zoom = view.zoom + 1.0f;
        break;
    case 'D':
        view.eyeY = view.eyeY + eyeStep;
        break;
    case 'E':
        view.eyeY = view.eyeY - eyeStep;
        break;
    case 'F':
        view.eyeX = view.eyeX - eyeStep;
        break;
    case 'S':
        view.eyeX = view.eyeX + eyeStep;
        break;
    default:
        break;
    }
}

std::string Repeat(const std::string &keys, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += keys;
    }
    return all;
}

class Boxwalk : public ::testing::Test {
  protected:
    Child program;
    WindowId window = 0;
    Scene scene; // what the program is expected to draw with now

    void SetUp() override {
        if (access(programPath.c_str(), X_OK) != 0 && access(programPath.c_str(), R_OK) != 0) {
            FAIL() << programPath << " is missing; "
                   << (kind->underWine ? "run `cmake --preset windows && cmake --build --preset "
                                         "windows`"
                                       : "build it with `cmake --build build`");
        }
    }

    void Start(const EnvChanges &extra = {}) {
        EnvChanges env = ProgramEnvironment();
        env.insert(env.end(), extra.begin(), extra.end());
        ::Start(program, ProgramCommand(), env);
    }

    // Starts the program and waits for its prompt.
    WindowId StartToPrompt() {
        Start();
        const WindowId prompt = WaitForWindow(promptTitle, kind->startSeconds);
        EXPECT_NE(prompt, 0u) << "no window titled \"" << promptTitle << "\" appeared within "
                              << kind->startSeconds << " s; the program "
                              << (Running(program) ? "still runs" : "has ended")
                              << "; windows seen:\n"
                              << DescribeWindows() << "stderr: " << ErrorOutput(program);
        return prompt;
    }

    void Answer(WindowId prompt, bool yes) {
        FocusWindow(prompt);
        TypeText(yes ? kind->answerYes : kind->answerNo);
    }

    // Waits for the windowed window after the prompt was answered.
    void WaitForWindowed() {
        window = WaitForWindow(windowedTitle, 20);
        ASSERT_NE(window, 0u) << "no window titled \"" << windowedTitle
                              << "\" appeared after the prompt was answered; windows seen:\n"
                              << DescribeWindows() << "stderr: " << ErrorOutput(program);
        const Rect client = RootRect(window);
        scene = Scene{};
        scene.width = client.width;
        scene.height = client.height;
    }

    // Opens the windowed window and waits for its first frames, so that the program has
    // finished setting the window up before the test acts on it.
    void OpenWindowed() {
        const WindowId prompt = StartToPrompt();
        ASSERT_NE(prompt, 0u);
        Answer(prompt, false);
        WaitForWindowed();
        if (!HasFatalFailure()) {
            WaitForView(scene, nullptr, "first-frame");
        }
    }

    Image Shot(const std::string &name) {
        const Image image = Grab(RootRect(window));
        const std::string path = shotDirectory + "/" + kind->name + "-" + name + ".png";
        SavePng(image, path);
        return image;
    }

    // Takes screenshots until one shows the figure as `expected` puts it and not as `previous`
    // would, for at most `seconds`.
    void WaitForView(const Scene &expected, const Scene *previous, const std::string &name,
                     double seconds = 20) {
        const double deadline = Now() + seconds;
        Observed observed;
        Fit fit, old;
        do {
            observed = Observe(Shot(name), expected);
            fit = BestFit(observed, expected);
            if (previous) {
                old = BestFit(observed, *previous);
            }
            if (fit.score <= 1.0 && (!previous || old.score > 1.0)) {
                return;
            }
            SleepSeconds(0.1);
        } while (Now() < deadline);
        ADD_FAILURE() << "after " << seconds << " s no screenshot showed the view eye ("
                      << expected.view.eyeX << ", " << expected.view.eyeY << "), zoom "
                      << expected.view.zoom << " on a " << expected.width << " x "
                      << expected.height << " client with the projection fitted to "
                      << expected.projectionWidth << " x " << expected.projectionHeight
                      << ".\nClosest frame: spin " << fit.spin << ", swing " << fit.swing
                      << ", worst: " << fit.worst << " (score " << fit.score << ").\n"
                      << (previous ? "The view before the change fits with score " +
                                         std::to_string(old.score) + ".\n"
                                   : std::string())
                      << "Last screenshot (" << shotDirectory << "/" << kind->name << "-" << name
                      << ".png):\n"
                      << Describe(observed);
    }

    // Types `keys` into the window and waits for the view they lead to.
    void TypeAndExpect(const std::string &keys, const std::string &name) {
        const Scene previous = scene;
        for (char key : keys) {
            Apply(scene.view, key);
        }
        FocusWindow(window);
        TypeText(keys);
        WaitForView(scene, &previous, name);
    }

    void ExpectStillRunning(const char *after) {
        SleepSeconds(1.0);
        EXPECT_TRUE(Running(program)) << "the program ended " << after << " with status "
                                      << program.status << "; stderr: " << ErrorOutput(program);
    }

    void ExpectExitZero(const char *after) {
        EXPECT_TRUE(WaitForExit(program, 10))
            << "the program still runs 10 s " << after << "; windows seen:\n"
            << DescribeWindows();
        if (program.exited) {
            EXPECT_EQ(program.status, 0)
                << "exit status " << after << "; stderr: " << ErrorOutput(program);
        }
    }
};

// The program started and answered No, its window open and drawing.
class BoxwalkWindowed : public Boxwalk {
  protected:
    void SetUp() override {
        Boxwalk::SetUp();
        if (!HasFatalFailure()) {
            OpenWindowed();
        }
    }
};

// Checks that the client area `client` sits in the outer rectangle (100, 100) 400 x 400 as this
// program's frame puts it: the same rectangle without a frame, or inset by the Win32 frame, whose
// border is equally wide on the left, the right and the bottom and has the caption above.
void ExpectWindowedPlace(const Rect &client) {
    const Rect outer = {100, 100, 400, 400};
    if (!kind->frameInsideOuterRect) {
        EXPECT_EQ(Text(client), Text(outer)) << "windows seen:\n" << DescribeWindows();
        return;
    }
    const int left = client.x - outer.x, top = client.y - outer.y;
    const int right = outer.x + outer.width - (client.x + client.width);
    const int bottom = outer.y + outer.height - (client.y + client.height);
    EXPECT_TRUE(left >= 0 && left == right && left == bottom && top > left)
        << "client area " << Text(client) << " is not framed inside " << Text(outer)
        << ": borders left " << left << ", right " << right << ", bottom " << bottom << ", top "
        << top;
}

TEST_F(Boxwalk, PromptAnsweredNoOpensTheWindowedWindow) {
    const WindowId prompt = StartToPrompt();
    ASSERT_NE(prompt, 0u);
    EXPECT_TRUE(FindWindows(windowedTitle).empty()) << "the window opened before the answer";
    Answer(prompt, false);
    WaitForWindowed();
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_TRUE(WaitForNoWindow(promptTitle, 5)) << "the prompt stayed open after the answer";

    ExpectWindowedPlace(RootRect(window));
    EXPECT_TRUE(FindWindows(fullscreenTitle).empty());
    ExpectStillRunning("after opening its window");
    Shot("windowed");
}

TEST_F(BoxwalkWindowed, FigureAppearsInItsColoursWhereTheGeometryPutsIt) {
    SleepSeconds(0.5);
    const Observed observed = Observe(Shot("figure"), scene);
    const Reach reach = FigureReach(scene);
    for (int colour = 0; colour < ColourCount; ++colour) {
        const Box2 &seen = observed.figure[colour];
        const Box2 &any = reach.any[colour];
        const Box2 &every = reach.every[colour];
        ASSERT_FALSE(seen.empty) << "no " << ColourName(colour) << " on screen:\n"
                                 << Describe(observed);
        const double out = OutwardAllowance(), in = InwardAllowance(colour);
        // Within the union of all frames...
        EXPECT_GE(seen.left, any.left - out) << ColourName(colour) << "\n" << Describe(observed);
        EXPECT_LE(seen.right, any.right + out) << ColourName(colour) << "\n" << Describe(observed);
        EXPECT_GE(seen.top, any.top - out) << ColourName(colour) << "\n" << Describe(observed);
        EXPECT_LE(seen.bottom, any.bottom + out) << ColourName(colour) << "\n"
                                                 << Describe(observed);
        // ...and covering what every frame covers.
        if (every.left <= every.right) {
            EXPECT_LE(seen.left, every.left + in) << ColourName(colour) << "\n"
                                                  << Describe(observed);
            EXPECT_GE(seen.right, every.right - in) << ColourName(colour) << "\n"
                                                    << Describe(observed);
        }
        if (every.top <= every.bottom) {
            EXPECT_LE(seen.top, every.top + in) << ColourName(colour) << "\n" << Describe(observed);
            EXPECT_GE(seen.bottom, every.bottom - in) << ColourName(colour) << "\n"
                                                      << Describe(observed);
        }
    }
    const Fit fit = BestFit(observed, scene);
    EXPECT_LE(fit.score, 1.0) << "no single frame fits: closest spin " << fit.spin << ", swing "
                              << fit.swing << ", " << fit.worst << "\n"
                              << Describe(observed);
    EXPECT_EQ(observed.otherPixels, 0) << Describe(observed);

    // The help line starts at its raster position, left of and below the centre, and reaches no
    // higher than a cell of the 48-pixel font.
    const TextAnchor anchor = HelpLineAnchor(scene);
    ASSERT_TRUE(anchor.inside);
    if (!observed.text.empty) {
        EXPECT_GE(observed.text.left, anchor.x - 3) << Describe(observed);
        EXPECT_LE(observed.text.left, anchor.x + 12) << Describe(observed);
        EXPECT_GE(observed.text.top, anchor.y - 52) << Describe(observed);
        EXPECT_LE(observed.text.bottom, anchor.y + 16) << Describe(observed);
        EXPECT_LT(observed.text.right, scene.width + 1) << Describe(observed);
    }
    std::printf("help line %s\n", observed.text.empty ? "not drawn" : "drawn");
}

TEST_F(BoxwalkWindowed, KeysMoveTheCameraByTheirSteps) {
    TypeAndExpect(Repeat("-", 20), "zoom-out");
    TypeAndExpect(Repeat("+", 40), "zoom-in");
    TypeAndExpect(Repeat("s", 10) + Repeat("S", 10), "eye-right");
    TypeAndExpect(Repeat("f", 20) + Repeat("F", 20), "eye-left");
    TypeAndExpect(Repeat("d", 10) + Repeat("D", 10), "eye-up");
    TypeAndExpect(Repeat("e", 20) + Repeat("E", 20), "eye-down");
    // Nothing was left in the queue: the view stays where the last step put it.
    SleepSeconds(0.5);
    const Observed observed = Observe(Shot("eye-down"), scene);
    const Fit fit = BestFit(observed, scene);
    EXPECT_LE(fit.score, 1.0) << fit.worst << "\n" << Describe(observed);
}

TEST_F(BoxwalkWindowed, OtherKeysChangeNothing) {
    // Every other digit and letter in both cases, Enter, and the unshifted keys that carry + and
    // - on their shifted level; then 20 presses of + mark the end: once their effect shows, the
    // keys before them have been handled, and only the 20 steps of + are to be seen.
    std::string ignored = "0123456789=_\r";
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        if (std::string("defs").find(letter) == std::string::npos) {
            ignored += letter;
            ignored += static_cast<char>(toupper(letter));
        }
    }
    FocusWindow(window);
    TypeText(Repeat(ignored, 10));
    TypeAndExpect(Repeat("+", 20), "other-keys");
}

TEST_F(BoxwalkWindowed, ResizingRefitsTheProjection) {
    const int sizes[][2] = {{600, 450}, {300, 500}};
    for (const auto &size : sizes) {
        const Scene previous = scene;
        ResizeWindow(window, size[0], size[1]);
        const double deadline = Now() + 5;
        while ((RootRect(window).width != size[0] || RootRect(window).height != size[1]) &&
               Now() < deadline) {
            SleepSeconds(0.05);
        }
        const Rect client = RootRect(window);
        scene.width = scene.projectionWidth = client.width;
        scene.height = scene.projectionHeight = client.height;
        ASSERT_EQ(Text(client), Text({client.x, client.y, size[0], size[1]}))
            << "the window did not take the new size";
        const std::string name =
            "resized-" + std::to_string(size[0]) + "x" + std::to_string(size[1]);
        WaitForView(scene, &previous, name);
        // A window narrower than about 0.845 of its height puts the help line's raster position
        // outside the view: no text is drawn then.
        if (!HelpLineAnchor(scene).inside) {
            const Observed observed = Observe(Shot(name), scene);
            EXPECT_TRUE(observed.text.empty) << Describe(observed);
        }
    }
}

TEST_F(BoxwalkWindowed, EscapeEndsTheProgramWithStatusZero) {
    FocusWindow(window);
    TypeText("\x1b");
    ExpectExitZero("after Escape");
}

TEST_F(BoxwalkWindowed, CloseRequestEndsTheProgramWithStatusZero) {
    RequestClose(window);
    ExpectExitZero("after the window manager's close request");
}

TEST_F(Boxwalk, YesWithoutAnEightHundredBySixHundredModeFallsBackToWindowed) {
    const Rect screen = ScreenRect();
    const WindowId prompt = StartToPrompt();
    ASSERT_NE(prompt, 0u);
    Answer(prompt, true);
    WaitForWindowed();
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_TRUE(FindWindows(fullscreenTitle).empty());
    ExpectWindowedPlace(RootRect(window));
    EXPECT_EQ(Text(ScreenRect()), Text(screen)) << "the display mode changed";
    ExpectStillRunning("after falling back to windowed mode");
    Shot("yes-fallback");
    FocusWindow(window);
    TypeText("\x1b");
    ExpectExitZero("after Escape");
    EXPECT_EQ(Text(ScreenRect()), Text(screen)) << "the display mode changed";
}

TEST_F(Boxwalk, WithoutADisplayTheProgramEndsWithStatusOne) {
    const char *const displays[] = {nullptr, ":999"};
    for (const char *display : displays) {
        SCOPED_TRACE(display ? std::string("DISPLAY=") + display : "DISPLAY unset");
        EnvChanges env = {{"DISPLAY", display}};
        if (kind->underWine) {
            env.push_back({"WINEDEBUG", nullptr}); // let Wine say why no window could be made
        }
        const double started = Now();
        Start(env);
        const double allowed = kind->underWine ? 20.0 : 1.0;
        ASSERT_TRUE(WaitForExit(program, allowed))
            << "the program still runs " << allowed << " s without a display";
        std::printf("ended after %.2f s\n", Now() - started);
        EXPECT_EQ(program.status, 1);
        const std::string error = ErrorOutput(program);
        if (kind->underWine) {
            EXPECT_NE(error.find("no driver could be loaded"), std::string::npos)
                << "stderr: " << error;
        } else {
            ASSERT_FALSE(error.empty()) << "nothing on stderr";
            EXPECT_EQ(error.find('\n'), error.size() - 1) << "not one line: " << error;
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--program=", 0) == 0) {
            programPath = arg.substr(10);
            kind = &linuxProgram;
        } else if (arg.rfind("--wine=", 0) == 0) {
            programPath = arg.substr(7);
            kind = &windowsProgram;
        } else if (arg.rfind("--shots=", 0) == 0) {
            shotDirectory = arg.substr(8);
        }
    }
    if (programPath.empty()) {
        std::fprintf(stderr, "usage: %s --program=PATH | --wine=PATH [--shots=DIR]\n", argv[0]);
        return 2;
    }
    ::testing::AddGlobalTestEnvironment(new TestSession);
    return RUN_ALL_TESTS();
}
