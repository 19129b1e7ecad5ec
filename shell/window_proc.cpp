#include "shell.h"
#include "scene.h"

#include <cctype>

namespace {

const float zoomStep = 1.0f;
// The single-precision value nearest 0.1; the eye position accumulates its rounding.
const float eyeStep = 0.1f;

const int escapeKey = 27;

// Acts on one upper-cased character; every character but the seven keys is ignored.
void ActOnKey(int key) {
    switch (key) {
    case escapeKey:
        PostQuitMessage(0);
        break;
    case '+':
        zoom = zoom - zoomStep;
        break;
    case '-':
        zoom = zoom + zoomStep;
        break;
    case 'D':
        eyeY = eyeY + eyeStep;
        break;
    case 'E':
        eyeY = eyeY - eyeStep;
        break;
    case 'F':
        eyeX = eyeX - eyeStep;
        break;
    case 'S':
        eyeX = eyeX + eyeStep;
        break;
    default:
        break;
    }
}

} // namespace

LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_SIZE: {
        // The new client size: width in the low 16 bits, height in the high 16 bits.
        const unsigned long size = static_cast<unsigned long>(lParam);
        const int width = static_cast<int>(size & 0xFFFFu);
        const int height = static_cast<int>((size >> 16) & 0xFFFFu);
        SetProjection(height, width);
        return 0;
    }
    case WM_CLOSE:
        // Release the rendering context, then end the frame loop; the window itself stays.
        wglMakeCurrent(deviceContext, NULL);
        wglDeleteContext(renderContext);
        PostQuitMessage(0);
        return 0;
    case WM_CHAR:
        // Characters are 8-bit codes; anything wider is ignored like any other unused key.
        if (wParam <= 0xFF) {
            ActOnKey(std::toupper(static_cast<int>(wParam)));
        }
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
