// The fullscreen program on a display that really switches: Xorg's dummy driver, starting at
// 1024 x 768 and offering 800 x 600 as well. Yes switches to 800 x 600 and covers it; both ways
// out give the starting mode back.
#include "program.h"

#include <csignal>

#include <gtest/gtest.h>

namespace {

class BoxwalkFullscreen : public Boxwalk {
  protected:
    void SetUp() override {
        Boxwalk::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_EQ(Text(startMode), Text({0, 0, 1024, 768}))
            << "this suite needs a display starting at 1024 x 768 that offers 800 x 600; modes: "
            << DescribeModes();
        OpenFullscreen();
        if (HasFatalFailure()) {
            return;
        }
        // The window shows before the display has switched (the switch follows the window
        // onto the screen); keys are typed as soon as the new mode shows, and must reach the
        // window at once.
        ExpectMode(Switched(), "after Yes");
        WaitForView(scene, nullptr, "fullscreen-first-frame");
    }
};

TEST_F(BoxwalkFullscreen, YesSwitchesTo800By600AndCoversTheDisplayWithoutAPointer) {
    ExpectWindowAt(Switched(), "the window does not cover the switched display");
    EXPECT_TRUE(FindWindows(expected::windowedTitle).empty()) << DescribeWindows();

    FocusWindow(window); // the pointer goes to the middle of the window
    EXPECT_TRUE(WaitUntil(PointerInvisible)) << "the pointer shows over the fullscreen window";

    ASSERT_TRUE(HelpLineAnchor(scene).inside);
    ExpectFigureInPlace("fullscreen");
}

TEST_F(BoxwalkFullscreen, KeysMoveTheCamera) {
    TypeAndExpect(Repeat("-", 10) + Repeat("s", 5), "fullscreen-keys");
}

TEST_F(BoxwalkFullscreen, EscapeRestoresTheStartingModeAndEndsWithStatusZero) {
    FocusWindow(window);
    TypeText("\x1b");
    ExpectExitZero("after Escape");
    ExpectStartMode("after Escape");
}

TEST_F(BoxwalkFullscreen, CloseRequestRestoresTheStartingModeAndEndsWithStatusZero) {
    RequestClose(window);
    ExpectExitZero("after the close request");
    ExpectStartMode("after the close request");
}

TEST_F(BoxwalkFullscreen, TerminationSignalRestoresTheStartingModeAndEndsWithStatusZero) {
    if (kind->underWine) {
        GTEST_SKIP() << "a signal to Wine ends its process without the program's quit path";
    }
    kill(program.pid, SIGTERM);
    ExpectExitZero("after SIGTERM");
    ExpectStartMode("after SIGTERM");
}

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv);
}
