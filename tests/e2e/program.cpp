#include "program.h"

#include "png_file.h"
#include "wine.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <sstream>

const char *const promptTitle = "User-Selection";
const char *const windowedTitle = "OpenGL Windows Application Windowed!";
const char *const fullscreenTitle = "OpenGL Windows Application FullScreen!";

namespace {

const ProgramKind linuxProgram = {"linux", false, "\x1b", "\r", false, patience};
const ProgramKind windowsProgram = {"windows", true, "n", "y", true, 3 * patience};

std::string winePrefix;

// Wine keeps quiet but for its errors about the displays, which name its own faults.
const char *const wineQuiet = "-all,err+system";
const char *const wineNoAddons = "mscoree,mshtml="; // no Mono or Gecko installer prompts

// Ends every Wine process of the prefix and its server.
void EndWineSession() {
    RunCommand({wineServer, "-k"}, ProgramEnvironment(), 30);
    RunCommand({wineServer, "-w"}, ProgramEnvironment(), 30);
}

// Wine's desktop process records the display's mode as it starts: the value `Modes\FFFFFFFE` (the
// registry settings) of the display adapter's key below this one, which the Windows program's
// restore returns the display to. The program waits for the desktop only until one of its threads
// takes messages, so on a busy machine the prompt can be answered before the record is made,
// which then records the mode that Yes switched to, and the display stays switched. The keys live
// as long as the Wine session, and each test's program starts a session of its own (see
// Boxwalk::TearDown): a record seen is that of the program's own desktop.
bool WineDesktopRecordedTheMode(const EnvChanges &programEnvironment) {
    const char *const videoKey =
        "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\"
        "CurrentControlSet\\Control\\Video";
    return RunCommand({"/bin/sh", "-c",
                       "\"$0\" reg query \"$1\" /v 'Modes\\FFFFFFFE' /s | grep -q FFFFFFFE",
                       wineLoader, videoKey},
                      programEnvironment, patience) == 0;
}

std::string CurrentTestName() {
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(test->test_suite_name()) + "." + test->name();
}

// The tests, by full name, that Wine's loss of the display's mode spoiled (see
// Boxwalk::WineLostTheDisplayMode); they run once more.
std::vector<std::string> spoiledTests;

// Screenshots of the runs under a window manager or on a Wayland desktop are kept apart from
// those on a bare server.
std::string ShotPath(const std::string &name) {
    const char *const desktop =
        onWaylandDesktop ? "-wayland-" : (underWindowManager ? "-wm-" : "-");
    return shotDirectory + "/" + kind->name + desktop + name + ".png";
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
        if (underWindowManager || onWaylandDesktop) {
            ASSERT_TRUE(WaitForWindowManager(patience))
                << "no window manager took the display within " << patience << " s";
        }
        if (onWaylandDesktop) {
            const char *const names[] = {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
            for (const char *name : names) {
                std::printf("the program runs with %s=%s\n", name,
                            getenv(name) ? getenv(name) : "(unset)");
            }
        }
        mkdir(shotDirectory.c_str(), 0755);
        if (!kind->underWine || access(programPath.c_str(), R_OK) != 0) {
            return;
        }
        char directory[] = "/tmp/boxwalk-wine-XXXXXX";
        ASSERT_NE(mkdtemp(directory), nullptr);
        winePrefix = directory;
        const double started = Now();
        ASSERT_TRUE(MakeWinePrefix(winePrefix, ProgramEnvironment()))
            << "cannot make the Wine prefix " << winePrefix;
        std::printf("Wine prefix %s made in %.1f s\n", winePrefix.c_str(), Now() - started);
    }

    void TearDown() override {
        if (!winePrefix.empty()) {
            // The prefix goes only once its server has ended, so that no server still running
            // is found by the next suite's Wine.
            EndWineSession();
            RunCommand({"/bin/rm", "-rf", winePrefix}, {}, 60);
        }
        CloseTestDisplay();
    }
};

// Why the client area of a Wayland desktop's window, placed by the compositor, does not have the
// size that the frames around it leave of the outer rectangle `outer`; empty when it has. The
// Linux program's client is the whole rectangle; the Win32 frame takes as much on the left as on
// the right and the bottom, and more above for the caption.
std::string WindowedSizeFault(const Rect &client, const Rect &outer) {
    const int across = outer.width - client.width, down = outer.height - client.height;
    const bool fits = kind->frameInsideOuterRect
                          ? across >= 0 && across % 2 == 0 && down - across / 2 > across / 2
                          : across == 0 && down == 0;
    return fits ? std::string()
                : "client area " + std::to_string(client.width) + " x " +
                      std::to_string(client.height) + " is not what the frame leaves of " +
                      std::to_string(outer.width) + " x " + std::to_string(outer.height);
}

} // namespace

std::string WindowedPlaceFault(WindowId window, const Rect &outer) {
    const Rect client = RootRect(window);
    if (onWaylandDesktop) {
        return WindowedSizeFault(client, outer);
    }
    if (!kind->frameInsideOuterRect) {
        Rect expected = outer;
        if (underWindowManager) {
            const FrameExtents frame = WindowFrame(window);
            if (frame.top <= 0) {
                return "the window manager announces no frame around the window";
            }
            expected.x += frame.left;
            expected.y += frame.top;
        }
        return Text(client) == Text(expected)
                   ? std::string()
                   : "client area " + Text(client) + ", expected " + Text(expected);
    }
    const int left = client.x - outer.x, top = client.y - outer.y;
    const int right = outer.x + outer.width - (client.x + client.width);
    const int bottom = outer.y + outer.height - (client.y + client.height);
    if (left >= 0 && left == right && left == bottom && top > left) {
        return std::string();
    }
    return "client area " + Text(client) + " is not framed inside " + Text(outer) +
           ": borders left " + std::to_string(left) + ", right " + std::to_string(right) +
           ", bottom " + std::to_string(bottom) + ", top " + std::to_string(top);
}

void ExpectWindowedPlace(WindowId window, const Rect &outer) {
    WaitUntil([window, &outer] { return WindowedPlaceFault(window, outer).empty(); });
    EXPECT_EQ(WindowedPlaceFault(window, outer), "") << "windows seen:\n" << DescribeWindows();
}

const ProgramKind *kind = &linuxProgram;
bool underWindowManager = false;
bool onWaylandDesktop = false;
std::string programPath;
std::string shotDirectory = ".";

EnvChanges ProgramEnvironment() {
    if (!kind->underWine) {
        if (onWaylandDesktop) {
            return {};
        }
        return {{"WAYLAND_DISPLAY", nullptr}};
    }
    return {{"WINEPREFIX", winePrefix.c_str()},
            {"WINEDEBUG", wineQuiet},
            {"WINEDLLOVERRIDES", wineNoAddons}};
}

std::string Text(const Rect &rect) {
    std::ostringstream text;
    text << "(" << rect.x << ", " << rect.y << ") " << rect.width << " x " << rect.height;
    return text.str();
}

// Steps of 1 for zoom and of the float nearest 0.1 for the eye, each result stored as a float.
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

void Boxwalk::SetUp() {
    if (access(programPath.c_str(), X_OK) != 0 && access(programPath.c_str(), R_OK) != 0) {
        FAIL() << programPath << " is missing; "
               << (kind->underWine ? "run `cmake --preset windows && cmake --build --preset "
                                     "windows`"
                                   : "build it with `cmake --build build`");
    }
    startMode = CurrentMode();
}

void Boxwalk::TearDown() {
    if (program.pid > 0 && Running(program) && window != 0) {
        RequestClose(window);
        EXPECT_TRUE(WaitForExit(program, patience))
            << "the program still runs " << patience << " s after a close request; windows seen:\n"
            << DescribeWindows() << DescribeProcesses(program);
    }
    const bool ended = !Running(program);
    Kill(program);
    // The last requests of a program that ended can reach the server after its end shows here:
    // a restore still under way is waited for. A program that had to be killed restores nothing.
    WaitUntil([this] { return startMode.width == 0 || Text(CurrentMode()) == Text(startMode); },
              ended ? patience : 0);
    if (startMode.width != 0 && Text(CurrentMode()) != Text(startMode) &&
        !(ended && WineLostTheDisplayMode())) {
        ADD_FAILURE() << "the display was left in the mode " << Text(CurrentMode())
                      << (ended
                              ? "; the program ended with status " + std::to_string(program.status)
                              : std::string("; the program had to be killed"))
                      << "; its standard error:\n"
                      << ErrorOutput(program);
        SetStartModeBack();
    }
    if (kind->underWine && !winePrefix.empty()) {
        EndWineSession(); // the next test's program starts a Wine of its own, desktop and all
    }
    if (!spoiledTests.empty() && spoiledTests.back() == CurrentTestName()) {
        GTEST_SKIP() << "Wine lost the display's mode at the switch; the test runs again";
    }
}

bool Boxwalk::DisplayLeftSwitched() {
    return Text(CurrentMode()) != Text(startMode);
}

void Boxwalk::SetStartModeBack() {
    if (startMode.width == 0) {
        return;
    }
    RunCommand({"/usr/bin/xrandr", "-s",
                std::to_string(startMode.width) + "x" + std::to_string(startMode.height)},
               {}, 30);
}

void Boxwalk::Start(const EnvChanges &extra) {
    programEnvironment = ProgramEnvironment();
    programEnvironment.insert(programEnvironment.end(), extra.begin(), extra.end());
    ::Start(program, ProgramCommand(), programEnvironment);
}

WindowId Boxwalk::StartToPrompt(const EnvChanges &extra) {
    Start(extra);
    const WindowId prompt = WaitForWindow(promptTitle, kind->startSeconds);
    EXPECT_NE(prompt, 0u) << "no window titled \"" << promptTitle << "\" appeared within "
                          << kind->startSeconds << " s; the program "
                          << (Running(program) ? "still runs" : "has ended") << "; windows seen:\n"
                          << DescribeWindows() << "stderr: " << ErrorOutput(program) << "\n"
                          << DescribeProcesses(program);
    return prompt;
}

// A press can go astray while the display is busy (a window manager taking the focus back to
// itself as it settles): the answer is typed again while the prompt is still there.
void Boxwalk::Answer(WindowId prompt, bool yes) {
    // Where Yes switches the display (not on the Wayland desktop, whose display keeps its mode,
    // nor on a display without the mode), Wine's desktop has to have recorded the mode to return
    // to first.
    if (yes && kind->underWine && !onWaylandDesktop &&
        DescribeModes().find("800x600") != std::string::npos) {
        ASSERT_TRUE(WaitUntil([this] { return WineDesktopRecordedTheMode(programEnvironment); }))
            << "Wine's desktop did not record the display's mode within " << patience << " s";
    }
    const double deadline = Now() + patience;
    do {
        TypeInto(prompt, yes ? kind->answerYes : kind->answerNo);
    } while (!WaitForNoWindow(promptTitle, 5) && Running(program) && Now() < deadline &&
             !FindWindows(promptTitle).empty());
}

void Boxwalk::WaitForProgramWindow(const char *title, int projectionWidth, int projectionHeight) {
    window = WaitForWindow(title, patience);
    ASSERT_NE(window, 0u) << "no window titled \"" << title
                          << "\" appeared after the prompt was answered; windows seen:\n"
                          << DescribeWindows() << "stderr: " << ErrorOutput(program);
    const Rect client = RootRect(window);
    scene = Scene{};
    scene.width = client.width;
    scene.height = client.height;
    scene.projectionWidth = projectionWidth;
    scene.projectionHeight = projectionHeight;
}

void Boxwalk::WaitForWindowed() {
    WaitForProgramWindow(windowedTitle, 400, 400);
}

void Boxwalk::OpenWindowed() {
    const WindowId prompt = StartToPrompt();
    ASSERT_NE(prompt, 0u);
    Answer(prompt, false);
    WaitForWindowed();
    if (!HasFatalFailure()) {
        WaitForView(scene, nullptr, "first-frame");
    }
}

void Boxwalk::OpenFullscreen(const EnvChanges &extra) {
    const WindowId prompt = StartToPrompt(extra);
    ASSERT_NE(prompt, 0u);
    Answer(prompt, true);
    WaitForProgramWindow(fullscreenTitle, 800, 600);
}

void Boxwalk::ExpectMode(const Rect &mode, const char *after) {
    const double started = Now();
    const bool waited = Text(CurrentMode()) != Text(mode);
    WaitUntil([&mode] { return Text(CurrentMode()) == Text(mode); });
    if (waited && Text(CurrentMode()) == Text(mode)) {
        std::printf("the display mode %s came %.2f s after the check began\n",
                    Text(CurrentMode()).c_str(), Now() - started);
    }
    EXPECT_EQ(Text(CurrentMode()), Text(mode))
        << "the display mode " << after << " after " << patience
        << " s (modes offered: " << DescribeModes() << ")";
}

void Boxwalk::ExpectStartMode(const char *after) {
    WaitUntil([this] { return Text(CurrentMode()) == Text(startMode); });
    if (!WineLostTheDisplayMode()) {
        ExpectMode(startMode, after);
    }
}

// Wine 8 keeps the display's mode, the one that the Windows program's restore returns to, in
// registry keys that its desktop process and a program that switches the display both rebuild
// right after the switch, at the same time and with nothing to keep them apart. Now and then one
// of them reads the keys half rebuilt and says so on standard error; the desktop then takes the
// switched mode for the display's own, the program's restore returns the display to it, and the
// display stays switched. A test run that this befell shows nothing of the program: it is marked
// skipped and runs again (RunProgramTests), where the display's mode has to come back. Here the
// display is set back and Wine's session ended, so that a program the test starts next starts
// afresh.
bool Boxwalk::WineLostTheDisplayMode() {
    const char *const winesFault = "err:system:update_display_cache";
    if (!kind->underWine || getenv("BOXWALK_RUN_AGAIN") || !DisplayLeftSwitched()) {
        return false;
    }
    const std::string errors = ErrorOutput(program);
    const size_t at = errors.find(winesFault);
    if (at == std::string::npos) {
        return false;
    }
    std::printf("the display stays switched (%s) and Wine said: %s\n", Text(CurrentMode()).c_str(),
                errors.substr(at, errors.find('\n', at) - at).c_str());
    if (spoiledTests.empty() || spoiledTests.back() != CurrentTestName()) {
        spoiledTests.push_back(CurrentTestName());
    }
    SetStartModeBack();
    EndWineSession();
    return true;
}

void Boxwalk::ExpectWindowAt(const Rect &rect, const char *what) {
    WaitUntil([this, &rect] { return Text(RootRect(window)) == Text(rect); });
    EXPECT_EQ(Text(RootRect(window)), Text(rect)) << what << "; windows seen:\n"
                                                  << DescribeWindows();
}

void Boxwalk::TypeInto(WindowId target, const std::string &keys) {
    if (onWaylandDesktop) {
        SendText(target, keys);
        return;
    }
    FocusWindow(target);
    TypeText(keys);
}

Image Boxwalk::Shot(const std::string &name) {
    Image image = onWaylandDesktop ? GrabWindow(window) : Grab(RootRect(window));
    const std::string path = ShotPath(name);
    SavePng(image, path);
    return image;
}

void Boxwalk::WaitForView(const Scene &expected, const Scene *previous, const std::string &name,
                          double seconds) {
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
                  << expected.view.zoom << " on a " << expected.width << " x " << expected.height
                  << " client with the projection fitted to " << expected.projectionWidth << " x "
                  << expected.projectionHeight << ".\nClosest frame: spin " << fit.spin
                  << ", swing " << fit.swing << ", worst: " << fit.worst << " (score " << fit.score
                  << ").\n"
                  << (previous ? "The view before the change fits with score " +
                                     std::to_string(old.score) + ".\n"
                               : std::string())
                  << "Last screenshot (" << ShotPath(name) << "):\n"
                  << Describe(observed);
}

void Boxwalk::ExpectFigureInPlace(const std::string &name) {
    const Observed observed = Observe(Shot(name), scene);
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
    // Frames follow each other unpaced, so a screenshot can catch the window as one frame
    // replaces the last; a screenshot that shows a single frame is waited for.
    Observed last = observed;
    Fit fit = BestFit(last, scene);
    WaitUntil([&] {
        if (fit.score > 1.0) {
            last = Observe(Shot(name + "-again"), scene);
            fit = BestFit(last, scene);
        }
        return fit.score <= 1.0;
    });
    EXPECT_LE(fit.score, 1.0) << "no single frame fits: closest spin " << fit.spin << ", swing "
                              << fit.swing << ", " << fit.worst << "\n"
                              << Describe(last);
    EXPECT_EQ(observed.otherPixels, 0) << Describe(observed);

    // The help line starts at its raster position, left of and below the centre, and reaches no
    // higher than a cell of the 48-pixel font.
    const TextAnchor anchor = HelpLineAnchor(scene);
    if (!anchor.inside) {
        EXPECT_TRUE(observed.text.empty) << Describe(observed);
        return;
    }
    if (!observed.text.empty) {
        EXPECT_GE(observed.text.left, anchor.x - 3) << Describe(observed);
        EXPECT_LE(observed.text.left, anchor.x + 12) << Describe(observed);
        EXPECT_GE(observed.text.top, anchor.y - 52) << Describe(observed);
        EXPECT_LE(observed.text.bottom, anchor.y + 16) << Describe(observed);
        EXPECT_LT(observed.text.right, scene.width + 1) << Describe(observed);
    }
    std::printf("help line %s\n", observed.text.empty ? "not drawn" : "drawn");
}

void Boxwalk::TypeAndExpect(const std::string &keys, const std::string &name, double seconds) {
    const Scene previous = scene;
    for (char key : keys) {
        Apply(scene.view, key);
    }
    TypeInto(window, keys);
    WaitForView(scene, &previous, name, seconds);
}

bool Boxwalk::ResizeTo(int width, int height) {
    ResizeWindow(window, width, height);
    WaitUntil([this, width, height] {
        return RootRect(window).width == width && RootRect(window).height == height;
    });
    const Rect client = RootRect(window);
    scene.width = scene.projectionWidth = client.width;
    scene.height = scene.projectionHeight = client.height;
    return client.width == width && client.height == height;
}

// Whether a program has not ended can only be seen by giving it time to end.
void Boxwalk::ExpectStillRunning(const char *after) {
    SleepSeconds(1.0);
    EXPECT_TRUE(Running(program)) << "the program ended " << after << " with status "
                                  << program.status << "; stderr: " << ErrorOutput(program);
}

void Boxwalk::ExpectExit(int status, const char *after, double seconds) {
    EXPECT_TRUE(WaitForExit(program, seconds))
        << "the program still runs " << seconds << " s " << after << "; windows seen:\n"
        << DescribeWindows() << DescribeProcesses(program);
    if (program.exited) {
        EXPECT_EQ(program.status, status)
            << "exit status " << after << "; stderr: " << ErrorOutput(program);
    }
}

void Boxwalk::ExpectExitZero(const char *after) {
    ExpectExit(0, after);
}

void BoxwalkWindowed::SetUp() {
    Boxwalk::SetUp();
    if (!HasFatalFailure()) {
        OpenWindowed();
    }
}

std::string WindowsBuildMissing(const std::string &exe) {
    if (access(wineLoader, X_OK) != 0) {
        return std::string(wineLoader) +
               " is missing (Debian package wine64; cmake/install-deps.sh installs it)";
    }
    if (access(exe.c_str(), R_OK) != 0) {
        return "the Windows build " + exe +
               " is missing (make it with `cmake --preset windows && cmake --build --preset "
               "windows`)";
    }
    return std::string();
}

namespace {

// Runs this suite again, as it was started, for the tests named in `filter` alone; its exit
// status.
int RunAgain(const std::vector<std::string> &arguments, const std::string &filter) {
    std::vector<std::string> again = arguments;
    again.push_back("--gtest_filter=" + filter);
    std::vector<char *> argv;
    argv.reserve(again.size() + 1);
    for (std::string &argument : again) {
        argv.push_back(&argument[0]);
    }
    argv.push_back(nullptr);
    std::printf("running again: %s\n", filter.c_str());
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        setenv("BOXWALK_RUN_AGAIN", "1", 1);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return 1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int RunProgramTests(int argc, char **argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
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
        } else if (arg == "--wm") {
            underWindowManager = true;
        } else if (arg == "--wayland") {
            onWaylandDesktop = true;
        }
    }
    if (programPath.empty()) {
        std::fprintf(stderr,
                     "usage: %s --program=PATH | --wine=PATH [--shots=DIR] [--wm | --wayland]\n",
                     argv[0]);
        return 2;
    }
    const std::string missing = kind->underWine ? WindowsBuildMissing(programPath) : "";
    if (!missing.empty()) {
        std::printf("skipped: %s\n", missing.c_str());
        return skippedStatus;
    }
    ::testing::AddGlobalTestEnvironment(new TestSession);
    const int status = RUN_ALL_TESTS();
    if (status != 0 || spoiledTests.empty()) {
        return status;
    }
    std::string filter;
    for (const std::string &name : spoiledTests) {
        filter += (filter.empty() ? "" : ":") + name;
    }
    return RunAgain(arguments, filter);
}
