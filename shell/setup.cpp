#include "shell.h"
#include "scene.h"

#include <cstring>

HINSTANCE instanceHandle = NULL;
HWND windowHandle = NULL;
HDC deviceContext = NULL;
HGLRC renderContext = NULL;
int screenWidth = 800;
int screenHeight = 600;
int screenBits = 16;
int fullscreen = 0;

namespace {

const char className[] = "MyClass";

// The windowed window's outer rectangle.
const int windowLeft = 100;
const int windowTop = 100;
const int windowSize = 400;

bool RegisterWindowClass() {
    WNDCLASSEXA windowClass;
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = AppWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instanceHandle;
    windowClass.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = NULL;
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = className;
    windowClass.hIconSm = LoadIconA(NULL, IDI_WINLOGO);
    return RegisterClassExA(&windowClass) != 0;
}

// Asks for screenWidth x screenHeight x screenBits; true once the display runs in that mode.
bool SwitchDisplayMode() {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof(mode));
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(screenWidth);
    mode.dmPelsHeight = static_cast<DWORD>(screenHeight);
    mode.dmBitsPerPel = static_cast<DWORD>(screenBits);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

// A borderless popup covering the whole switched display, created hidden.
HWND CreateFullscreenWindow() {
    RECT rectangle;
    rectangle.left = 0;
    rectangle.top = 0;
    rectangle.right = screenWidth;
    rectangle.bottom = screenHeight;
    AdjustWindowRectEx(&rectangle, WS_POPUP, FALSE, WS_EX_APPWINDOW);
    return CreateWindowExA(WS_EX_APPWINDOW, className, "OpenGL Windows Application FullScreen!",
                           WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                           rectangle.right - rectangle.left, rectangle.bottom - rectangle.top, NULL,
                           NULL, instanceHandle, NULL);
}

HWND CreateWindowedWindow() {
    return CreateWindowExA(0, className, "OpenGL Windows Application Windowed!",
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                           windowLeft, windowTop, windowSize, windowSize, NULL, NULL,
                           instanceHandle, NULL);
}

// Double-buffered RGBA with 32 colour bits and a 16-bit depth buffer, made current.
void CreateRenderContext() {
    PIXELFORMATDESCRIPTOR request;
    std::memset(&request, 0, sizeof(request));
    request.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 32;
    request.cDepthBits = 16;
    const int chosen = ChoosePixelFormat(deviceContext, &request);
    SetPixelFormat(deviceContext, chosen, &request);
    renderContext = wglCreateContext(deviceContext);
    wglMakeCurrent(deviceContext, renderContext);
}

} // namespace

void AskFullscreen() {
    const int answer = MessageBoxA(NULL, "Would you like Fullscreen?", "User-Selection", MB_YESNO);
    fullscreen = answer == IDYES ? 1 : 0;
}

bool SetupWindow() {
    instanceHandle = GetModuleHandleA(NULL);
    if (!RegisterWindowClass()) {
        MessageBoxA(NULL, "Fehler bei der Registrierung!!", "Fehler beim registrieren der Klasse",
                    MB_OK);
        return false;
    }

    screenWidth = 800;
    screenHeight = 600;
    screenBits = 16;
    // A refused switch falls back to windowed mode without a word.
    if (fullscreen == 1 && !SwitchDisplayMode()) {
        fullscreen = 0;
    }

    if (fullscreen == 1) {
        ShowCursor(FALSE);
        windowHandle = CreateFullscreenWindow();
    } else {
        windowHandle = CreateWindowedWindow();
    }
    if (windowHandle == NULL) {
        return false;
    }

    deviceContext = GetDC(windowHandle);
    CreateRenderContext();
    ShowWindow(windowHandle, SW_SHOW);

    if (fullscreen == 1) {
        SetProjection(screenHeight, screenWidth);
    } else {
        SetProjection(windowSize, windowSize);
    }
    return true;
}
