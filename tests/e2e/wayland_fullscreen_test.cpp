// Yes on a Wayland desktop, whose output keeps its mode: Yes gives a fullscreen window at the
// output's own size. Through Xwayland the window first shows at 800 x 600, the compositor then
// gives it the output's size, and the program fits its projection to that; natively on Wayland
// (sway) the program draws 800 x 600 and the compositor scales the picture across the output.
#include "program.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Size(const Rect &rect) {
    return std::to_string(rect.width) + " x " + std::to_string(rect.height);
}

class BoxwalkWaylandFullscreen : public Boxwalk {
  protected:
    void SetUp() override {
        Boxwalk::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_GT(startMode.width, 0) << "the display reports no output mode through XRandR";
        OpenFullscreen();
        if (HasFatalFailure()) {
            return;
        }
        WaitUntil([this] { return Size(RootRect(window)) == Size(startMode); });
        const Rect client = RootRect(window);
        ASSERT_EQ(Size(client), Size(startMode))
            << "the fullscreen window did not take the output's size; windows seen:\n"
            << DescribeWindows();
        // Natively on Wayland (sway) the program goes on drawing 800 x 600, which the compositor
        // scales; through Xwayland it fits its projection to the window.
        const Rect drawn = OnSwayDesktop() ? Switched() : client;
        scene.width = scene.projectionWidth = drawn.width;
        scene.height = scene.projectionHeight = drawn.height;
        WaitForView(scene, nullptr, "fullscreen-first-frame");
    }

    // The output runs in the mode it had before the program started, and has all along: a switch
    // and its restore would both have shown in the XRandR mode.
    void ExpectOutputUnswitched(const char *after) {
        EXPECT_EQ(Text(CurrentMode()), Text(startMode))
            << "the output's mode changed " << after << " (modes offered: " << DescribeModes()
            << ")";
        EXPECT_EQ(Size(ScreenRect()), Size(startMode)) << "the screen's size changed " << after;
    }
};

TEST_F(BoxwalkWaylandFullscreen, YesGivesAWindowAtTheOutputsSizeAndTheFigureFillsIt) {
    std::printf("the output runs at %s; the fullscreen window is %s\n", Text(startMode).c_str(),
                Size(RootRect(window)).c_str());
    ExpectOutputUnswitched("after Yes");
    EXPECT_TRUE(FindWindows(expected::windowedTitle).empty()) << DescribeWindows();
    ASSERT_TRUE(HelpLineAnchor(scene).inside);
    ExpectFigureInPlace("fullscreen");
}

TEST_F(BoxwalkWaylandFullscreen, KeysMoveTheCamera) {
    TypeAndExpect(Repeat("-", 10) + Repeat("s", 5), "fullscreen-keys");
}

TEST_F(BoxwalkWaylandFullscreen, EscapeEndsWithStatusZeroAndTheOutputAsItWas) {
    TypeInto(window, "\x1b");
    ExpectExitZero("after Escape");
    ExpectOutputUnswitched("after Escape");
}

TEST_F(BoxwalkWaylandFullscreen, CloseRequestEndsWithStatusZeroAndTheOutputAsItWas) {
    RequestClose(window);
    ExpectExitZero("after the close request");
    ExpectOutputUnswitched("after the close request");
}

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv);
}
