// Windows, the message queue, real key presses, the window manager's requests, display modes
// and message boxes, on a real X display.
#include <gtest/gtest.h>

#include "expected.h"
#include "platform.h"
#include "process.h"
#include "x_helpers.h"

#include <windows.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *const showBoxOption = "--show-box";
std::string selfPath; // this test program, which shows a box when given showBoxOption

// What the window procedure of the test class was called with, in order.
std::vector<MSG> received;
LRESULT procedureResult = 0;

LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back({window, message, wParam, lParam, 0, {0, 0}});
    if (message == WM_SYSCOMMAND) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return procedureResult;
}

const char *const testClass = "PlatformTest";

void RegisterTestClass() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
        windowClass.lpfnWndProc = Record;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = testClass;
        windowClass.hIconSm = LoadIconA(nullptr, IDI_WINLOGO);
        registered = RegisterClassExA(&windowClass) != 0;
    }
}

class Windows : public testing::Test {
  protected:
    void SetUp() override {
        RegisterTestClass();
        received.clear();
        procedureResult = 0;
    }
    void TearDown() override {
        for (HWND window : made) {
            ShowWindow(window, SW_HIDE);
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND Make(const char *title, DWORD style, int x, int y, int width, int height) {
        HWND window = CreateWindowExA(0, testClass, title, style, x, y, width, height, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window) {
            made.push_back(window);
        }
        return window;
    }
    std::vector<HWND> made;
};

std::vector<int> CharactersOf(const std::vector<MSG> &messages) {
    std::vector<int> characters;
    for (const MSG &msg : messages) {
        if (msg.message == WM_CHAR) {
            characters.push_back(static_cast<int>(msg.wParam));
        }
    }
    return characters;
}

size_t CountOf(const std::vector<MSG> &messages, UINT message) {
    return std::count_if(messages.begin(), messages.end(),
                         [&](const MSG &msg) { return msg.message == message; });
}

TEST_F(Windows, QuitMessageIsPeekedOnceWithItsCodeAlsoWhenFilteredToTheWindow) {
    HWND window = Make("quit", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    ASSERT_NE(window, nullptr);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) << "an empty queue gives nothing";

    PostQuitMessage(0);
    ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) << "PM_NOREMOVE left it queued";
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) << "removed once only";

    PostQuitMessage(3);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Windows, CreationSendsCreateThenSizeBeforeReturning) {
    HWND window = Make("created", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(received[1].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(LOWORD(received[1].lParam), 300);
    EXPECT_EQ(HIWORD(received[1].lParam), 200);
    EXPECT_EQ(received[0].hwnd, window);

    procedureResult = -1;
    EXPECT_EQ(Make("refused", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50), nullptr)
        << "-1 from WM_CREATE refuses the window";
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(CreateWindowExA(0, nullptr, "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
}

TEST_F(Windows, WindowTakesPlaceSizeTitleVisibilityAndFrameFromItsStyle) {
    using namespace expected;
    HWND shown =
        Make(windowedTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
             windowedX, windowedY, windowedWidth, windowedHeight);
    ASSERT_NE(shown, nullptr);
    const unsigned long xShown = XWindowOf(shown);
    const Geometry g = ViewableGeometryOf(xShown);
    EXPECT_EQ(g.x, windowedX);
    EXPECT_EQ(g.y, windowedY);
    EXPECT_EQ(g.width, windowedWidth);
    EXPECT_EQ(g.height, windowedHeight);
    EXPECT_TRUE(g.viewable);
    EXPECT_EQ(WindowTitle(xShown), windowedTitle);
    EXPECT_FALSE(IsBorderless(xShown));

    HWND popup = Make("popup", WS_POPUP, 30, 40, 200, 100);
    ASSERT_NE(popup, nullptr);
    const unsigned long xPopup = XWindowOf(popup);
    EXPECT_FALSE(GeometryOf(xPopup).viewable) << "created without WS_VISIBLE";
    ShowWindow(popup, SW_SHOW);
    EXPECT_TRUE(ViewableGeometryOf(xPopup).viewable);
    EXPECT_TRUE(IsBorderless(xPopup));

    RECT rect{0, 0, fullscreenWidth, fullscreenHeight};
    EXPECT_TRUE(AdjustWindowRectEx(&rect, WS_POPUP, FALSE, WS_EX_APPWINDOW));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, fullscreenWidth);
    EXPECT_EQ(rect.bottom, fullscreenHeight);
    EXPECT_FALSE(AdjustWindowRectEx(nullptr, WS_POPUP, FALSE, 0));
}

TEST_F(Windows, KeyPressesTranslateToCharactersOfTheLayout) {
    HWND window = Make("keys", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ViewableGeometryOf(XWindowOf(window)).viewable);
    MovePointer(150, 150);
    const struct {
        const char *key;
        int character;
    } cases[] = {{"a", 'a'},      {"A", 'A'},           {"plus", '+'},  {"minus", '-'},
                 {"KP_Add", '+'}, {"KP_Subtract", '-'}, {"Escape", 27}, {"Return", 13},
                 {"s", 's'},      {"S", 'S'},           {"d", 'd'},     {"E", 'E'}};
    for (const auto &c : cases) {
        TypeKey(c.key);
        // Until every key pressed, Shift too, is released: a release left in the queue would be
        // counted for the next case.
        const auto taken = PumpUntil(window, [](const std::vector<MSG> &m) {
            return !CharactersOf(m).empty() && CountOf(m, WM_KEYUP) == CountOf(m, WM_KEYDOWN);
        });
        EXPECT_EQ(CharactersOf(taken), std::vector<int>{c.character}) << "key " << c.key;
        const auto down = std::find_if(taken.begin(), taken.end(),
                                       [](const MSG &m) { return m.message == WM_KEYDOWN; });
        const auto character = std::find_if(taken.begin(), taken.end(),
                                            [](const MSG &m) { return m.message == WM_CHAR; });
        EXPECT_LT(down, character) << "the character comes from a later peek than the key press";
    }

    for (int i = 0; i < 3; ++i) {
        TypeKey("f");
    }
    // Presses in quick succession may arrive as one key held down (presses without releases in
    // between, as Win32 reports a repeat): wait for the three characters and the last release.
    const auto taken = PumpUntil(window, [](const std::vector<MSG> &m) {
        return CharactersOf(m).size() >= 3 && m.back().message == WM_KEYUP;
    });
    EXPECT_EQ(CharactersOf(taken), (std::vector<int>{'f', 'f', 'f'})) << "one per press";
}

TEST_F(Windows, TextFromAnInputMethodArrivesAsCharactersWithoutAKeyPress) {
    HWND window = Make("input method", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ViewableGeometryOf(XWindowOf(window)).viewable);
    PumpUntil(window, [](const std::vector<MSG> &) { return true; });

    // A composition under way types nothing; its committed text does, malformed bytes as '?'.
    SDL_Event editing{};
    editing.type = SDL_TEXTEDITING;
    editing.edit.windowID = SDL_GetWindowID(window->sdl);
    std::strcpy(editing.edit.text, "s");
    ASSERT_EQ(SDL_PushEvent(&editing), 1);
    SDL_Event committed{};
    committed.type = SDL_TEXTINPUT;
    committed.text.windowID = SDL_GetWindowID(window->sdl);
    std::strcpy(committed.text.text, "s+\xc3\xa9\xab");
    ASSERT_EQ(SDL_PushEvent(&committed), 1);

    const auto taken =
        PumpUntil(window, [](const std::vector<MSG> &m) { return CharactersOf(m).size() >= 4; });
    EXPECT_EQ(CharactersOf(taken), (std::vector<int>{'s', '+', 0xe9, '?'}));
    EXPECT_EQ(CountOf(taken, WM_KEYDOWN), 0u);
}

TEST_F(Windows, SdlVariablesInTheEnvironmentChangeNothing) {
    // The test runs with SDL_VIDEODRIVER=dummy, SDL_VIDEO_X11_FORCE_EGL=1 and
    // SDL_VIDEO_MINIMIZE_ON_FOCUS_LOSS=1 in its environment.
    HWND window = Make("environment", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100);
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_VIDEODRIVER), "x11");
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_VIDEO_X11_FORCE_EGL), "0");
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS), "0");
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_NO_SIGNAL_HANDLERS), "1");
}

TEST_F(Windows, HeldKeyGivesOneCharacterPerRepeat) {
    HWND window = Make("repeat", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ViewableGeometryOf(XWindowOf(window)).viewable);
    MovePointer(150, 150);
    HoldKey("s", 1200);
    const auto taken =
        PumpUntil(window, [](const std::vector<MSG> &m) { return CountOf(m, WM_KEYUP) > 0; });
    const size_t presses = CountOf(taken, WM_KEYDOWN);
    EXPECT_GT(presses, 1u) << "the key repeats while held";
    EXPECT_EQ(CharactersOf(taken), std::vector<int>(presses, 's'));
}

TEST_F(Windows, ResizeFromTheWindowManagerArrivesAsSize) {
    HWND window = Make("resize", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ViewableGeometryOf(XWindowOf(window)).viewable);
    received.clear();
    ResizeWindow(XWindowOf(window), 520, 270);
    // Whatever else comes with the change (a repaint, a size the window was mapped with) may come
    // first; what counts is that the new size arrives as WM_SIZE.
    const auto newSize = [] {
        return std::any_of(received.begin(), received.end(), [](const MSG &m) {
            return m.message == WM_SIZE && LOWORD(m.lParam) == 520 && HIWORD(m.lParam) == 270;
        });
    };
    PumpUntil(window, [&](const std::vector<MSG> &) { return newSize(); });
    EXPECT_TRUE(newSize()) << "no WM_SIZE of 520 x 270 among " << received.size() << " messages";
}

TEST_F(Windows, CloseRequestBecomesCloseThroughDefaultHandling) {
    HWND window = Make("close", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ViewableGeometryOf(XWindowOf(window)).viewable);
    received.clear();
    RequestClose(XWindowOf(window));
    PumpUntil(window, [](const std::vector<MSG> &) { return received.size() >= 2; });
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_SYSCOMMAND));
    EXPECT_EQ(received[1].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(received[1].hwnd, window);
    EXPECT_EQ(GetDC(window), GetDC(window)) << "the window lives on";
    EXPECT_TRUE(GeometryOf(XWindowOf(window)).viewable);
}

TEST_F(Windows, ClassNamesAreRegisteredOnce) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Record;
    windowClass.lpszClassName = "MyClass";
    EXPECT_NE(RegisterClassExA(&windowClass), 0);
    EXPECT_EQ(RegisterClassExA(&windowClass), 0) << "already registered";
    windowClass.lpszClassName = "Another";
    windowClass.cbSize = 48;
    EXPECT_EQ(RegisterClassExA(&windowClass), 0) << "record of the wrong size";
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassExA(&windowClass), 0) << "no window procedure";
    EXPECT_EQ(RegisterClassExA(nullptr), 0);
}

TEST_F(Windows, BadHandlesAndOddMessagesFailCleanly) {
    HWND window = Make("odd", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    ASSERT_NE(window, nullptr);
    HWND bogus = reinterpret_cast<HWND>(0x1234);
    MSG msg{bogus, WM_CHAR, ~0ull, -1, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
    EXPECT_FALSE(TranslateMessage(nullptr));
    EXPECT_FALSE(PeekMessageA(nullptr, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, bogus, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetDC(bogus), nullptr);
    EXPECT_FALSE(ShowWindow(bogus, SW_SHOW));
    EXPECT_EQ(DefWindowProcA(bogus, WM_SYSCOMMAND, SC_CLOSE, 0), 0);

    procedureResult = 0x7fffffffffffll;
    msg = {window, WM_KEYDOWN, ~0ull, ~0ll, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageA(&msg), procedureResult) << "the procedure's result passes through";
    EXPECT_TRUE(TranslateMessage(&msg));
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_CHAR, WM_CHAR, PM_REMOVE))
        << "an unknown key types nothing";
}

TEST_F(Windows, DisplayModeSwitchesOnlyToModesTheDisplayHas) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmBitsPerPel = 16;
    mode.dmPelsWidth = expected::fullscreenWidth;
    mode.dmPelsHeight = expected::fullscreenHeight;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE)
        << "the test display runs 1024 x 768 only";
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL) << "nothing to undo";
    mode.dmSize = 20;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADPARAM);

    // The display's own mode, asked for in 16 bits: the closest depth it has.
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = 1024;
    mode.dmPelsHeight = 768;
    ASSERT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    HWND popup = Make(expected::fullscreenTitle, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                      1024, 768);
    ASSERT_NE(popup, nullptr);
    ShowWindow(popup, SW_SHOW);
    const Geometry g = ViewableGeometryOf(XWindowOf(popup));
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 1024);
    EXPECT_EQ(g.height, 768);
    EXPECT_TRUE(IsBorderless(XWindowOf(popup)));
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, CDS_RESET), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(ShowCursor(TRUE), 0);
}

// The display's own mode refused on the way back (a busy server did so now and then) is said in
// one line, and is no lost display: the program still ends through its quit path.
TEST_F(Windows, RefusedModeOnTheWayBackIsSaidNotTakenForALostDisplay) {
    ASSERT_TRUE(EnsureWatchedVideo());
    const SavedMode kept = platform.saved;
    const bool saved = platform.modeSaved;
    platform.saved.crtc = 0x7ffffff0; // no CRTC of the server's
    platform.modeSaved = platform.modeToGiveBack = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(platform.xFailure, 0u);
    // The error named as Xlib names RandR's: a CRTC the server does not have.
    EXPECT_NE(said.find("boxwalk: ChangeDisplaySettingsA: the X server refused the display's own "
                        "mode (error "),
              std::string::npos)
        << said;
    EXPECT_NE(said.find(", BadRRCrtc)\n"), std::string::npos) << said;
    platform.saved = kept;
    platform.modeSaved = saved;
}

// A user answering a box: presses the key on it until it has gone, as a person would who sees
// nothing happen, for a minute at most.
std::thread Answer(const std::string &caption, const char *key, std::atomic<bool> *seen) {
    return std::thread([caption, key, seen] {
        const double end = Now() + 2 * patience;
        for (WindowId box = WaitForWindow(caption, patience); box != 0 && Now() < end;
             box = WaitForWindow(caption, 0)) {
            *seen = true;
            FocusWindow(box);
            TypeKey(key);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
}

// Each box is shown by a process of its own with one thread, as the program shows its prompt
// before it starts another: the box is forked, and a fork is only safe from such a process.
TEST_F(Windows, MessageBoxAnswersYesOnEnterNoOnEscape) {
    const struct {
        UINT type;
        const char *key;
        int answer;
    } cases[] = {{MB_YESNO, "Return", IDYES}, {MB_YESNO, "Escape", IDNO}, {MB_OK, "Return", IDOK}};
    for (const auto &c : cases) {
        Child box;
        Start(box, {selfPath, showBoxOption, std::to_string(c.type)}, {});
        std::atomic<bool> seen{false};
        std::thread user = Answer(expected::promptCaption, c.key, &seen);
        const bool ended = WaitForExit(box, 3 * patience);
        user.join();
        EXPECT_TRUE(seen) << "a window titled with the caption";
        ASSERT_TRUE(ended) << "the box is still up after " << c.key << "\n" << ErrorOutput(box);
        EXPECT_EQ(box.status, c.answer) << c.key << "\n" << ErrorOutput(box);
    }
    EXPECT_EQ(MessageBoxA(nullptr, "x", "y", 0x3), 0) << "a kind of box the platform lacks";
}

} // namespace

int main(int argc, char **argv) {
    // The process that shows one box: its answer is its exit status.
    if (argc == 3 && std::strcmp(argv[1], showBoxOption) == 0) {
        return MessageBoxA(nullptr, expected::promptText, expected::promptCaption,
                           static_cast<UINT>(std::strtoul(argv[2], nullptr, 10)));
    }
    selfPath = std::filesystem::read_symlink("/proc/self/exe").string();
    XInitThreads();
    testing::InitGoogleTest(&argc, argv);
    if (!OpenTestDisplay()) {
        std::fprintf(
            stderr,
            "platform_test: no X display; run it through build/testsupport/on_server xvfb --\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
