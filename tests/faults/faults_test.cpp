// The real program with one operation refused from outside, on a display whose mode really
// switches: each fault ends the program or lets it run on as it should, never hangs it, and never
// leaves the display switched.
//
// | Fault                  | Linux build                      | Windows build under Wine        |
// |------------------------|----------------------------------|---------------------------------|
// | class registration     | RegisterClassExA preloaded over  | not injectable: registration    |
// |                        | the platform library: returns 0  | lives in Wine's user32, a       |
// |                        |                                  | Windows library that no Linux   |
// |                        |                                  | preload reaches                 |
// | window creation        | SDL_CreateWindow returns null    | not injectable: Wine makes the  |
// |                        |                                  | window in its server whatever X |
// |                        |                                  | does                            |
// | rendering context      | SDL_GL_CreateContext returns     | the GL library's context-making |
// |                        | null                             | functions return null           |
#include "program.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

// The library goes on top of whatever the environment preloads already.
EnvChanges Preload(const char *library) {
    static std::string preload;
    const char *already = getenv("LD_PRELOAD");
    preload = already && *already ? std::string(library) + ":" + already : library;
    return {{"LD_PRELOAD", preload.c_str()}};
}

// The rendering-context refusal for the program under test.
EnvChanges RefusedContext() {
    return Preload(kind->underWine ? REFUSE_GLX_CONTEXT : REFUSE_GL_CONTEXT);
}

class Faults : public Boxwalk {
  protected:
    void SetUp() override {
        Boxwalk::SetUp();
        if (!HasFatalFailure()) {
            ASSERT_EQ(Text(startMode), Text({0, 0, 1024, 768}))
                << "this suite needs a display starting at 1024 x 768 that offers 800 x 600; "
                   "modes: "
                << DescribeModes();
        }
    }

    // Nothing of the figure or the help line on the window.
    void ExpectNothingDrawn(const std::string &name) {
        SleepSeconds(1.0);
        const Observed observed = Observe(Shot(name), scene);
        for (int colour = 0; colour < ColourCount; ++colour) {
            EXPECT_TRUE(observed.figure[colour].empty)
                << ColourName(colour) << " drawn without a rendering context\n"
                << Describe(observed);
        }
        EXPECT_TRUE(observed.text.empty) << Describe(observed);
    }
};

TEST_F(Faults, RefusedClassRegistrationShowsTheGermanBoxThenEndsWithStatusOne) {
    if (kind->underWine) {
        GTEST_SKIP() << "the class is registered inside Wine's user32, out of a preload's reach";
    }
    char record[] = "/tmp/boxwalk-fault-record-XXXXXX";
    const int file = mkstemp(record);
    ASSERT_GE(file, 0);
    close(file);
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "fullscreen asked for" : "windowed");
        EnvChanges env = Preload(REFUSE_CLASS);
        env.push_back({"BOXWALK_FAULT_RECORD", record});
        const WindowId prompt = StartToPrompt(env);
        ASSERT_NE(prompt, 0u);
        Answer(prompt, yes);
        const WindowId box = WaitForWindow("Fehler beim registrieren der Klasse", patience);
        ASSERT_NE(box, 0u) << "no box captioned \"Fehler beim registrieren der Klasse\"; windows:\n"
                           << DescribeWindows() << "stderr: " << ErrorOutput(program);
        EXPECT_TRUE(FindWindows(windowedTitle).empty() && FindWindows(fullscreenTitle).empty());
        ExpectStillRunning("while its box is open");
        EXPECT_EQ(Text(CurrentMode()), Text(startMode)) << "the display switched before the box";
        window = box;
        Shot(yes ? "class-refused-fullscreen" : "class-refused");
        FocusWindow(box);
        TypeText("\r");
        ExpectExit(1, "after the box was dismissed");
        ExpectStartMode("after the refused registration");
    }
    std::ifstream recorded(record);
    std::stringstream boxes;
    boxes << recorded.rdbuf();
    unlink(record);
    const std::string prompt = "User-Selection\nWould you like Fullscreen?\n";
    const std::string german =
        "Fehler beim registrieren der Klasse\nFehler bei der Registrierung!!\n";
    EXPECT_EQ(boxes.str(), prompt + german + prompt + german);
}

TEST_F(Faults, RefusedWindowEndsWithStatusOneAndTheStartingMode) {
    if (kind->underWine) {
        GTEST_SKIP() << "Wine makes the window in its own server, whatever the X server does";
    }
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "after the switch to fullscreen" : "windowed");
        const WindowId prompt = StartToPrompt(Preload(REFUSE_WINDOW));
        ASSERT_NE(prompt, 0u);
        Answer(prompt, yes);
        ExpectExit(1, "after its window was refused");
        EXPECT_TRUE(FindWindows(windowedTitle).empty() && FindWindows(fullscreenTitle).empty());
        ExpectStartMode("after the refused window");
    }
}

TEST_F(Faults, RefusedContextRunsOnDrawingNothingAndEndsWithZeroOnEscapeAndOnClose) {
    for (const bool yes : {false, true}) {
        for (const bool close : {false, true}) {
            SCOPED_TRACE(std::string(yes ? "fullscreen" : "windowed") +
                         (close ? ", close request" : ", Escape"));
            if (yes) {
                OpenFullscreen(RefusedContext());
            } else {
                const WindowId prompt = StartToPrompt(RefusedContext());
                ASSERT_NE(prompt, 0u);
                Answer(prompt, false);
                WaitForWindowed();
            }
            if (HasFatalFailure()) {
                return;
            }
            // The fullscreen window shows before the display has switched: the switch follows it.
            ExpectMode(yes ? Rect{0, 0, 800, 600} : startMode, "with the window open");
            ExpectStillRunning("without a rendering context");
            ExpectNothingDrawn(yes ? "no-context-fullscreen" : "no-context");
            if (close) {
                RequestClose(window);
            } else {
                FocusWindow(window);
                TypeText("\x1b");
            }
            ExpectExitZero(close ? "after the close request" : "after Escape");
            ExpectStartMode(close ? "after the close request" : "after Escape");
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv);
}
