// The program end to end: started for real on the test's X display, answered, typed at, resized,
// closed, and photographed. One scenario runs against two programs: the Linux build, and the
// Windows build under Wine (see program.h for how they differ).
#include "program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const Rect windowedOuter = WindowedOuter();

TEST_F(Boxwalk, PromptAnsweredNoOpensTheWindowedWindow) {
    const WindowId prompt = StartToPrompt();
    ASSERT_NE(prompt, 0u);
    EXPECT_TRUE(FindWindows(expected::windowedTitle).empty())
        << "the window opened before the answer";
    Answer(prompt, false);
    WaitForWindowed();
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_TRUE(WaitForNoWindow(expected::promptCaption, patience))
        << "the prompt stayed open after the answer";

    ExpectWindowedPlace(window, windowedOuter);
    EXPECT_TRUE(FindWindows(expected::fullscreenTitle).empty());
    ExpectStillRunning("after opening its window");
    Shot("windowed");
}

TEST_F(BoxwalkWindowed, FigureAppearsInItsColoursWhereTheGeometryPutsIt) {
    ASSERT_TRUE(HelpLineAnchor(scene).inside);
    ExpectFigureInPlace("figure");
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
    TypeInto(window, Repeat(ignored, 10));
    TypeAndExpect(Repeat("+", 20), "other-keys");
}

TEST_F(BoxwalkWindowed, ResizingRefitsTheProjection) {
    const int sizes[][2] = {{600, 450}, {300, 500}};
    for (const auto &size : sizes) {
        const Scene previous = scene;
        ASSERT_TRUE(ResizeTo(size[0], size[1]))
            << "the window did not take the new size " << size[0] << " x " << size[1];
        const std::string name =
            "resized-" + std::to_string(size[0]) + "x" + std::to_string(size[1]);
        WaitForView(scene, ResizesReachTheProgram() ? &previous : nullptr, name);
        // A window narrower than about 0.845 of its height puts the help line's raster position
        // outside the view: no text is drawn then.
        if (!HelpLineAnchor(scene).inside) {
            const Observed observed = Observe(Shot(name), scene);
            EXPECT_TRUE(observed.text.empty) << Describe(observed);
        }
    }
}

TEST_F(BoxwalkWindowed, EscapeEndsTheProgramWithStatusZero) {
    TypeInto(window, "\x1b");
    ExpectExitZero("after Escape");
}

TEST_F(BoxwalkWindowed, CloseRequestEndsTheProgramWithStatusZero) {
    RequestClose(window);
    ExpectExitZero("after the window manager's close request");
}

// With its output off, as a screen blanker turns it off, the compositor shows the window nothing
// and asks it for no frame: each buffer swap waits as long as SDL lets it (about ten frames), and
// the program still ends soon after Escape and after a close request, each five times.
TEST_F(Boxwalk, WithTheOutputOffEscapeAndACloseRequestStillEndTheProgram) {
    const double soon = 2.0;
    for (const bool escape : {true, false}) {
        for (int run = 1; run <= 5; ++run) {
            SCOPED_TRACE(std::string(escape ? "Escape" : "close request") + ", run " +
                         std::to_string(run));
            OpenWindowed();
            if (HasFatalFailure()) {
                return;
            }
            SetOutputPower(false);
            if (escape) {
                TypeInto(window, "\x1b");
            } else {
                RequestClose(window);
            }
            ExpectExit(0, escape ? "after Escape" : "after the close request", soon);
            SetOutputPower(true);
            Kill(program);
        }
    }
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
    EXPECT_TRUE(FindWindows(expected::fullscreenTitle).empty());
    ExpectWindowedPlace(window, windowedOuter);
    EXPECT_EQ(Text(ScreenRect()), Text(screen)) << "the display mode changed";
    ExpectStillRunning("after falling back to windowed mode");
    Shot("yes-fallback");
    TypeInto(window, "\x1b");
    ExpectExitZero("after Escape");
    EXPECT_EQ(Text(ScreenRect()), Text(screen)) << "the display mode changed";
}

TEST_F(Boxwalk, WithoutADisplayTheProgramEndsWithStatusOne) {
    const char *const displays[] = {nullptr, ":999"};
    for (const char *display : displays) {
        SCOPED_TRACE(display ? std::string("DISPLAY=") + display : "DISPLAY unset");
        EnvChanges env = {{"DISPLAY", display}, {"WAYLAND_DISPLAY", nullptr}};
        if (kind->underWine) {
            env.push_back({"WINEDEBUG", nullptr}); // let Wine say why no window could be made
        }
        const double started = Now();
        Start(env);
        const double allowed = kind->underWine ? 3 * patience : patience;
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
    return RunProgramTests(argc, argv);
}
