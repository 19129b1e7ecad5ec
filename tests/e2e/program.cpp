#include "program.h"

#include "wine.h"

#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

namespace {

const ProgramKind linuxProgram = {"linux", false, "\x1b", "\r", false, patience};
const ProgramKind windowsProgram = {"windows", true, "n", "y", true, 3 * patience};

std::string CurrentTestName() {
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(test->test_suite_name()) + "." + test->name();
}

std::vector<std::string> ProgramCommand() {
    if (kind->underWine) {
        return {wineLoader, programPath};
    }
    return {programPath};
}

// The X display for every test (unless the suite starts servers of its own for its tests), and
// for the Windows build a Wine prefix of the suite's own.
class TestSession : public ::testing::Environment {
  public:
    explicit TestSession(bool startsItsServers) : ownServers(startsItsServers) {}

    void SetUp() override {
        mkdir(shotDirectory.c_str(), 0755);
        if (kind->underWine) {
            ASSERT_TRUE(wine.Begin()) << "cannot make a Wine prefix";
        }
        if (ownServers) {
            return;
        }
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
    }

    void TearDown() override {
        wine.Remove();
        CloseTestDisplay();
    }

  private:
    bool ownServers;
};

} // namespace

// Screenshots of the runs under a window manager or on a Wayland desktop are kept apart from
// those on a bare server.
std::string ShotPath(const std::string &name) {
    const char *const desktop = OnSwayDesktop()      ? "-sway-"
                                : onWaylandDesktop   ? "-wayland-"
                                : underWindowManager ? "-wm-"
                                                     : "-";
    return shotDirectory + "/" + kind->name + desktop + name + ".png";
}

const ProgramKind *kind = &linuxProgram;
WineSession wine;
bool underWindowManager = false;
bool onWaylandDesktop = false;
std::string programPath;
std::string shotDirectory = ".";

EnvChanges ProgramEnvironment() {
    if (!kind->underWine) {
        if (onWaylandDesktop) {
            return {{"NO_AT_BRIDGE", "1"}}; // zenity's GTK waits long for a session bus otherwise
        }
        return {{"WAYLAND_DISPLAY", nullptr}};
    }
    return wine.Environment();
}

std::string Text(const Rect &rect) {
    std::ostringstream text;
    text << "(" << rect.x << ", " << rect.y << ") " << rect.width << " x " << rect.height;
    return text.str();
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
    if (kind->underWine) {
        wine.End(); // the next test's program starts a Wine of its own, desktop and all
    }
    if (wine.Spoiled(CurrentTestName())) {
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
    const WindowId prompt = WaitForWindow(expected::promptCaption, kind->startSeconds);
    EXPECT_NE(prompt, 0u) << "no window titled \"" << expected::promptCaption
                          << "\" appeared within " << kind->startSeconds << " s; the program "
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
        ASSERT_TRUE(WaitUntil([] { return wine.DesktopRecordedTheMode(); }))
            << "Wine's desktop did not record the display's mode within " << patience << " s";
    }
    const double deadline = Now() + patience;
    do {
        if (OnSwayDesktop() && !yes) {
            RequestClose(prompt); // its zenity takes no key that answers: closing it says No
        } else {
            TypeInto(prompt, yes ? kind->answerYes : kind->answerNo);
        }
    } while (!WaitForNoWindow(expected::promptCaption, 5) && Running(program) && Now() < deadline &&
             !FindWindows(expected::promptCaption).empty());
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
    WaitForProgramWindow(expected::windowedTitle, expected::windowedWidth,
                         expected::windowedHeight);
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
    // Where an X display is, SDL shows its own prompt there, which takes keys.
    if (!OnSwayDesktop() || getenv("DISPLAY")) {
        const WindowId prompt = StartToPrompt(extra);
        ASSERT_NE(prompt, 0u);
        Answer(prompt, true);
        WaitForProgramWindow(expected::fullscreenTitle, expected::fullscreenWidth,
                             expected::fullscreenHeight);
        return;
    }
    // No key or click reaches the buttons of sway's zenity: a stand-in answers Yes where it is
    // asked as the program must ask, and notes how it was asked and what it answered.
    const std::string path = std::string(STAND_IN_PROMPT) + ":" + getenv("PATH");
    const std::string record = shotDirectory + "/prompt-arguments.txt";
    EnvChanges standIn = extra;
    standIn.insert(standIn.end(), {{"PATH", path.c_str()},
                                   {"BOXWALK_PROMPT_RECORD", record.c_str()},
                                   {"BOXWALK_PROMPT_CAPTION", expected::promptCaption},
                                   {"BOXWALK_PROMPT_TEXT", expected::promptText}});
    Start(standIn);
    WaitForProgramWindow(expected::fullscreenTitle, expected::fullscreenWidth,
                         expected::fullscreenHeight);
    const std::string asked = ReadFile(record);
    const std::string answered = "answered Yes\n";
    EXPECT_TRUE(asked.size() > answered.size() &&
                asked.compare(asked.size() - answered.size(), answered.size(), answered) == 0)
        << "the prompt was not asked as the program asks; its arguments:\n"
        << asked;
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

// A run spoiled by Wine shows nothing of the program: it is marked skipped, and runs again once
// the display is set back and Wine's session ended.
bool Boxwalk::WineLostTheDisplayMode() {
    if (!kind->underWine || !DisplayLeftSwitched() ||
        !wine.SpoiledRun(ErrorOutput(program), CurrentTestName())) {
        return false;
    }
    std::printf("the display stays switched (%s)\n", Text(CurrentMode()).c_str());
    SetStartModeBack();
    wine.End();
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

namespace {

// Saves a screenshot of the window at `where` for a person to look at.
void SavePng(const Image &image, const std::string &path, const Rect &where) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (image.rgb.empty() ||
        !png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr)) {
        std::fprintf(stderr, "no screenshot %s: %s\n", path.c_str(),
                     image.rgb.empty()
                         ? ("nothing was grabbed of the window at " + Text(where)).c_str()
                         : png.message);
    }
}

} // namespace

Image Boxwalk::Shot(const std::string &name) {
    const Rect where = RootRect(window);
    Image image = onWaylandDesktop ? GrabWindow(window) : Grab(where);
    // sway scales the 800 x 600 picture of SDL's emulated mode across the output: the nearest
    // pixels at the size the program draws compare with its geometry.
    if (OnSwayDesktop() && image.width > 0 && image.width != scene.width) {
        Image drawn{scene.width, scene.height, {}};
        for (int y = 0; y < drawn.height; ++y) {
            for (int x = 0; x < drawn.width; ++x) {
                const unsigned char *pixel =
                    image.At((2 * x + 1) * image.width / (2 * drawn.width),
                             (2 * y + 1) * image.height / (2 * drawn.height));
                drawn.rgb.insert(drawn.rgb.end(), pixel, pixel + 3);
            }
        }
        image = drawn;
    }
    const std::string path = ShotPath(name);
    SavePng(image, path, where);
    return image;
}

bool Boxwalk::ResizeTo(int width, int height) {
    ResizeWindow(window, width, height);
    WaitUntil([this, width, height] {
        return RootRect(window).width == width && RootRect(window).height == height;
    });
    const Rect client = RootRect(window);
    if (ResizesReachTheProgram()) {
        scene.width = scene.projectionWidth = client.width;
        scene.height = scene.projectionHeight = client.height;
    }
    return client.width == width && client.height == height;
}

// Where Wine does not pass it on, the program draws on as before, in the part of the larger
// window it knows of, from its top-left corner.
bool Boxwalk::ResizesReachTheProgram() {
    return !kind->underWine || underWindowManager || onWaylandDesktop ||
           WineSession::FollowsOtherClientsResizes();
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

int RunProgramTests(int argc, char **argv, const std::string &lacking, bool startsItsServers) {
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
    const std::string missing = !lacking.empty()  ? lacking
                                : kind->underWine ? WineSession::Missing(programPath)
                                                  : "";
    if (!missing.empty()) {
        std::printf("skipped: %s\n", missing.c_str());
        return skippedStatus;
    }
    ::testing::AddGlobalTestEnvironment(new TestSession(startsItsServers));
    return wine.RunSpoiledAgain(arguments, RUN_ALL_TESTS());
}
