// Without a display the platform says so once, in one line, and every call fails cleanly.
#include <gtest/gtest.h>

#include "expected.h"

#include <windows.h>

#include <string>

namespace {

LRESULT CALLBACK Ignore(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

TEST(NoDisplay, FailsAtOnceWithOneLineSaidOnce) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Ignore;
    windowClass.lpszClassName = "NoDisplay";
    ASSERT_NE(RegisterClassExA(&windowClass), 0) << "registering a class needs no display";

    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateWindowExA(0, "NoDisplay", "t", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                              nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(MessageBoxA(nullptr, expected::promptText, expected::promptCaption, MB_YESNO), 0);
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = expected::fullscreenWidth;
    mode.dmPelsHeight = expected::fullscreenHeight;
    EXPECT_NE(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    ShowCursor(FALSE);
    const std::string said = testing::internal::GetCapturedStderr();

    EXPECT_EQ(said, "boxwalk: cannot open a display (neither DISPLAY nor WAYLAND_DISPLAY is set): "
                    "set DISPLAY to a running X server or WAYLAND_DISPLAY to a Wayland "
                    "compositor\n");
}

TEST(NoDisplay, QueueStillWorks) {
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    PostQuitMessage(0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 0u);
}

} // namespace
