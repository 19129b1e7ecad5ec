// Bad input through the real program: thousands of key presses of every key, and long runs of
// resizes down to 1 x 1 and up to the whole screen. The program keeps running and drawing, and
// afterwards the figure is where the geometry puts it.
#include "program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

TEST_F(BoxwalkWindowed, StormOfEveryKeyLeavesTheViewTheKeysTyped) {
    const int rounds = 8;
    std::string typed;
    if (!onWaylandDesktop) {
        FocusWindow(window);
    }
    for (int round = 0; round < rounds; ++round) {
        typed += onWaylandDesktop ? SendEveryKey(window) : PressEveryKey();
    }
    std::printf("%d rounds of every key typed %zu characters\n", rounds, typed.size());
    ASSERT_GT(typed.size(), 500u) << "the keyboard typed almost nothing";
    EXPECT_EQ(typed.find('\x1b'), std::string::npos);

    ExpectStillRunning("during the storm of keys");
    // Every press is worked off one per frame; then the 20 presses of + that follow show. A
    // loaded machine draws few frames a second: the wait allows a tenth of a second a press.
    for (char key : typed) {
        Apply(scene.view, key);
    }
    std::printf("view after the storm: eye (%g, %g), zoom %g\n", scene.view.eyeX, scene.view.eyeY,
                scene.view.zoom);
    TypeAndExpect(Repeat("+", 20), "key-storm", patience + 0.1 * static_cast<double>(typed.size()));
    ExpectFigureInPlace("key-storm");
}

TEST_F(BoxwalkWindowed, StormOfResizesLeavesTheProjectionFittedToTheLastSize) {
    const Rect screen = ScreenRect();
    if (!onWaylandDesktop) {
        FocusWindow(window);
    }
    // Down to a single pixel, up to the whole screen, and odd sizes between, without waiting.
    const int sizes[][2] = {{1, 1},
                            {screen.width, screen.height},
                            {2, 300},
                            {300, 2},
                            {1, 1},
                            {screen.width, 1},
                            {1, screen.height},
                            {399, 401},
                            {screen.width, screen.height},
                            {3, 3}};
    for (int round = 0; round < 30; ++round) {
        for (const auto &size : sizes) {
            ResizeWindow(window, size[0], size[1]);
        }
    }
    ExpectStillRunning("during the storm of resizes");
    const Scene previous = scene;
    ASSERT_TRUE(ResizeTo(500, 420)) << "the window did not take its last size";
    // Grown past the screen, the window may be left partly off it, where it cannot be seen whole.
    const auto onScreen = [this, &screen] {
        const Rect last = RootRect(window);
        return last.x >= 0 && last.y >= 0 && last.x + last.width <= screen.width &&
               last.y + last.height <= screen.height;
    };
    if (!onScreen()) {
        std::printf("the window lies at %s, partly off the screen\n",
                    Text(RootRect(window)).c_str());
        MoveWindow(window, 0, 0);
        ASSERT_TRUE(WaitUntil(onScreen)) << "the window lies at " << Text(RootRect(window));
    }
    WaitForView(scene, ResizesReachTheProgram() ? &previous : nullptr, "resize-storm");
    ExpectFigureInPlace("resize-storm");
    TypeInto(window, "\x1b");
    ExpectExitZero("after Escape");
}

} // namespace
