// The window procedure of the program's window: called directly, and reached through the real
// message queue from synthetic key presses on the test's X display.
#include "expected.h"
#include "program_window.h"
#include "scene.h"
#include "shell.h"

#include "x_display.h"

#include <GL/gl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

// The flags of the program's last request for the display's own mode, passed on; -1 for none.
long long restoreFlags = -1;

extern "C" LONG WINAPI ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags) {
    using Change = LONG (*)(DEVMODEA *, DWORD);
    static const auto platform =
        reinterpret_cast<Change>(dlsym(RTLD_NEXT, "ChangeDisplaySettingsA"));
    restoreFlags = mode ? restoreFlags : flags;
    return platform(mode, flags);
}

namespace {

// The view state at start.
struct ViewState {
    float x, y, zoom;
};
const ViewState startView = {expected::startEyeX, expected::startEyeY, expected::startZoom};
using expected::eyeStep;

void ResetView() {
    eyeX = startView.x;
    eyeY = startView.y;
    zoom = startView.zoom;
}

void ExpectView(float x, float y, float z) {
    EXPECT_EQ(eyeX, x);
    EXPECT_EQ(eyeY, y);
    EXPECT_EQ(zoom, z);
}

LRESULT SendChar(WPARAM code) {
    return AppWindowProc(windowHandle, WM_CHAR, code, 0);
}

LPARAM SizeParameter(unsigned width, unsigned height) {
    return static_cast<LPARAM>((static_cast<unsigned long>(height) << 16) | width);
}

class WindowProcTest : public testing::Test {
  protected:
    void SetUp() override {
        DrainMessages();
        ResetView();
    }
    void TearDown() override {
        ResetView();
    }
};

TEST_F(WindowProcTest, LettersMoveTheEyeInEitherCase) {
    for (const expected::KeyStep &step : expected::keySteps) {
        for (const int key : {int{step.key}, std::tolower(step.key)}) {
            SCOPED_TRACE(static_cast<char>(key));
            ResetView();
            EXPECT_EQ(SendChar(static_cast<WPARAM>(key)), 0);
            ExpectView(startView.x + step.eyeX, startView.y + step.eyeY,
                       startView.zoom + step.zoom);
        }
    }
    EXPECT_FALSE(DrainMessages()) << "no key but Escape ends the program";
}

TEST_F(WindowProcTest, StepsAccumulateInSinglePrecision) {
    float expected = 0.0f;
    for (int press = 0; press < 10; ++press) {
        SendChar('S');
        expected = expected + eyeStep;
        ASSERT_EQ(eyeX, expected);
    }
    // Ten steps added up in single precision are not ten times the step, if close.
    EXPECT_NE(eyeX, 10 * eyeStep);
    EXPECT_NEAR(eyeX, 10 * eyeStep, 10 * eyeStep * 2e-7f);

    // Until the eye, at z = zoom + 30, reaches 0.
    const auto presses = static_cast<int>((startView.zoom + 30.0f) / expected::zoomStep);
    for (int press = 0; press < presses; ++press) {
        SendChar('+');
    }
    EXPECT_EQ(zoom + 30.0f, 0.0f) << "the eye reaches z = 0 and nothing stops it";
    SendChar('+');
    EXPECT_EQ(zoom + 30.0f, -expected::zoomStep);
}

TEST_F(WindowProcTest, EveryOtherCharacterChangesNothing) {
    const std::set<int> keys = {27, '+', '-', 'D', 'd', 'E', 'e', 'F', 'f', 'S', 's'};
    for (int code = 0; code <= 255; ++code) {
        if (keys.count(code) == 0) {
            SCOPED_TRACE(code);
            EXPECT_EQ(SendChar(static_cast<WPARAM>(code)), 0);
        }
    }
    // Codes wider than a byte are not characters of the program, whatever their low byte says.
    const WPARAM wide[] = {0x100,
                           0x100 + 27,
                           0x100 + 's',
                           0x100 + 'S',
                           0xFF00 + '+',
                           0x10000 + 'd',
                           0xFFFF,
                           static_cast<WPARAM>(-1),
                           static_cast<WPARAM>(-128)};
    for (WPARAM code : wide) {
        SCOPED_TRACE(code);
        EXPECT_EQ(SendChar(code), 0);
    }
    ExpectView(startView.x, startView.y, startView.zoom);
    EXPECT_FALSE(DrainMessages());
}

TEST_F(WindowProcTest, EscapePostsTheQuitMessageOnly) {
    EXPECT_EQ(SendChar(27), 0);
    ExpectView(startView.x, startView.y, startView.zoom);
    EXPECT_NE(glGetString(GL_VERSION), nullptr) << "the context stays on Escape";
    EXPECT_TRUE(DrainMessages());
}

TEST_F(WindowProcTest, SizeChangesRefitTheProjection) {
    struct Case {
        unsigned width, height;
        GLint viewportHeight;
    };
    const Case cases[] = {{300, 200, 200}, {120, 0, 1}, {40000, 200, 200}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.width);
        EXPECT_EQ(AppWindowProc(windowHandle, WM_SIZE, 0, SizeParameter(c.width, c.height)), 0);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        GLint maxSize[2];
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxSize);
        EXPECT_EQ(viewport[0], 0);
        EXPECT_EQ(viewport[1], 0);
        EXPECT_EQ(viewport[2], std::min<GLint>(static_cast<GLint>(c.width), maxSize[0]));
        EXPECT_EQ(viewport[3], c.viewportHeight);

        // Both sizes are taken as unsigned: the perspective's aspect is width over height.
        GLdouble projection[16];
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        const double aspect = static_cast<double>(c.width) / c.viewportHeight;
        EXPECT_NEAR(projection[5] / projection[0], aspect, aspect * 1e-6);
        GLint mode;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
    EXPECT_EQ(AppWindowProc(windowHandle, WM_CREATE, 0, 0), 0);
}

// The quit message gives the display its own mode back. A windowed run asks for it with no flags,
// which changes nothing; only after a switch is the mode set again whatever the system believes.
TEST_F(WindowProcTest, QuitGivesTheDisplayBackForcingItOnlyAfterASwitch) {
    for (const int switched : {0, 1}) {
        fullscreen = switched;
        restoreFlags = -1;
        PostQuitMessage(0);
        EXPECT_EQ(RunFrameLoop([] {}), 0);
        EXPECT_EQ(restoreFlags, switched ? CDS_RESET : 0) << (switched ? "switched" : "windowed");
    }
    fullscreen = 0;
}

TEST_F(WindowProcTest, CloseReleasesTheContextAndPostsTheQuitMessage) {
    ASSERT_NE(glGetString(GL_VERSION), nullptr);
    EXPECT_EQ(AppWindowProc(windowHandle, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(glGetString(GL_VERSION), nullptr) << "no context is current after closing";
    EXPECT_TRUE(DrainMessages());
    RenewRenderContext();
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
}

// Key presses made on the X display, taken from the queue and dispatched as the frame loop does.
class KeyboardTest : public WindowProcTest {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(OpenTestDisplay());
        const WindowId window = WaitForWindow(expected::windowedTitle, patience);
        ASSERT_NE(window, 0u) << "the program's window is on the display";
        FocusWindow(window);
    }
    static void TearDownTestSuite() {
        CloseTestDisplay();
    }
};

TEST_F(KeyboardTest, KeyPressesReachTheWindowProcedure) {
    TypeText("s");
    EXPECT_TRUE(WaitUntil([] {
        DrainMessages();
        return eyeX != 0.0f;
    }));
    EXPECT_EQ(eyeX, eyeStep);

    TypeText("D");
    EXPECT_TRUE(WaitUntil([] {
        DrainMessages();
        return eyeY != 0.0f;
    }));
    EXPECT_EQ(eyeY, eyeStep);

    TypeText("-");
    EXPECT_TRUE(WaitUntil([] {
        DrainMessages();
        return zoom != startView.zoom;
    }));
    ExpectView(eyeStep, eyeStep, startView.zoom + expected::zoomStep);
}

// What each frame of the loop saw, and the bound on how long the loop may run.
std::vector<float> eyeXAtFrame;
double loopDeadline = 0;

void RecordFrame() {
    eyeXAtFrame.push_back(eyeX);
    if (Now() > loopDeadline) {
        PostQuitMessage(1); // the keys never came: end the loop with a status the test rejects
    }
}

// The program's frame loop on real key presses: the first frame comes before any message is
// handled, the eye moves one step at a time from frame to frame, and Escape's quit message ends
// the loop with status 0.
TEST_F(KeyboardTest, FrameLoopMovesTheEyeStepByStepAndEndsOnEscape) {
    eyeXAtFrame.clear();
    TypeText("sss\x1b");
    loopDeadline = Now() + patience;
    ASSERT_EQ(RunFrameLoop(RecordFrame), 0) << "no Escape within " << patience << " s";
    // The eye's places after none, one, two and three steps, as the program adds them up: the
    // frames walk through them in order, none skipped.
    const float places[] = {0.0f, eyeStep, eyeStep + eyeStep, eyeStep + eyeStep + eyeStep};
    size_t reached = 0;
    ASSERT_FALSE(eyeXAtFrame.empty());
    EXPECT_EQ(eyeXAtFrame.front(), 0.0f) << "the first frame comes before any message is handled";
    for (size_t frame = 0; frame < eyeXAtFrame.size(); ++frame) {
        if (eyeXAtFrame[frame] != places[reached] && reached + 1 < 4 &&
            eyeXAtFrame[frame] == places[reached + 1]) {
            ++reached;
        }
        ASSERT_EQ(eyeXAtFrame[frame], places[reached])
            << "frame " << frame << " of " << eyeXAtFrame.size() << " after "
            << (frame ? eyeXAtFrame[frame - 1] : 0.0f);
    }
    EXPECT_EQ(eyeX, eyeStep + eyeStep + eyeStep);
}

TEST_F(KeyboardTest, EscapeKeyEndsTheProgram) {
    TypeText("\x1b");
    EXPECT_TRUE(WaitUntil(DrainMessages));
    ExpectView(startView.x, startView.y, startView.zoom);
}

} // namespace
