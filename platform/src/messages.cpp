// The message queue: window-system events from SDL become window messages, taken one at a time
// without waiting; key presses become character messages when translated.
#include "platform.h"

#include <utility>

namespace {

// As on Windows, a queue holds at most this many messages; more are dropped.
const size_t queueLimit = 10000;
const size_t keysRemembered = 8;

const WPARAM vkAdd = 0x6b, vkSubtract = 0x6d, vkOemPlus = 0xbb, vkOemMinus = 0xbd;

WPARAM VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    if ((key >= SDLK_0 && key <= SDLK_9) || key == SDLK_SPACE) {
        return key;
    }
    const std::pair<SDL_Keycode, WPARAM> keys[] = {
        {SDLK_ESCAPE, VK_ESCAPE},   {SDLK_RETURN, VK_RETURN}, {SDLK_KP_ENTER, VK_RETURN},
        {SDLK_BACKSPACE, VK_BACK},  {SDLK_TAB, VK_TAB},       {SDLK_PLUS, vkOemPlus},
        {SDLK_EQUALS, vkOemPlus},   {SDLK_MINUS, vkOemMinus}, {SDLK_KP_PLUS, vkAdd},
        {SDLK_KP_MINUS, vkSubtract}};
    for (const auto &[sdl, virtualKey] : keys) {
        if (sdl == key) {
            return virtualKey;
        }
    }
    return 0;
}

// The characters of keys that type no text but a control code.
std::string ControlCharacter(WPARAM virtualKey) {
    const bool control = virtualKey == VK_ESCAPE || virtualKey == VK_RETURN ||
                         virtualKey == VK_BACK || virtualKey == VK_TAB;
    return control ? std::string(1, static_cast<char>(virtualKey)) : std::string();
}

bool InRange(UINT message, UINT low, UINT high) {
    return (low == 0 && high == 0) || (message >= low && message <= high);
}

bool SameMessage(const MSG &a, const MSG &b) {
    return a.hwnd == b.hwnd && a.message == b.message && a.wParam == b.wParam &&
           a.lParam == b.lParam && a.time == b.time;
}

void Enqueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam, Uint32 time,
             const std::string &text = std::string()) {
    auto &input = platform.input;
    if (window && input.size() < queueLimit) {
        input.push_back({{window, message, wParam, lParam, time, {0, 0}}, text});
    }
}

void ReportSize(HWND window, WPARAM kind, int width, int height, Uint32 time) {
    if (!window || (window->width == width && window->height == height)) {
        return;
    }
    window->width = width;
    window->height = height;
    Enqueue(window, WM_SIZE, kind, MAKELPARAM(width, height), time);
}

void OnWindowEvent(const SDL_WindowEvent &event) {
    HWND window = WindowOfSdlId(event.windowID);
    if (!window) {
        return;
    }
    switch (event.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED: {
        int width, height;
        SDL_GetWindowSize(window->sdl, &width, &height);
        const bool maximized = SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_MAXIMIZED;
        ReportSize(window, maximized ? SIZE_MAXIMIZED : SIZE_RESTORED, width, height,
                   event.timestamp);
        break;
    }
    case SDL_WINDOWEVENT_MINIMIZED:
        ReportSize(window, SIZE_MINIMIZED, 0, 0, event.timestamp);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        // The close box: DefWindowProcA turns it into WM_CLOSE.
        Enqueue(window, WM_SYSCOMMAND, SC_CLOSE, 0, event.timestamp);
        break;
    default:
        break;
    }
}

// Moves what the window system has reported into the input platform. Never waits.
void PumpEvents() {
    auto &input = platform.input;
    // The key press that text typed in the same event pass belongs to.
    size_t lastKey = SIZE_MAX;
    if (TakeTerminationRequest()) {
        Enqueue(KeyboardWindow(0), WM_SYSCOMMAND, SC_CLOSE, 0, SDL_GetTicks());
    }
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const SDL_KeyboardEvent &key = event.key;
            const bool down = event.type == SDL_KEYDOWN;
            // Repeat count 1; bit 30 the previous key state; bit 31 set on release.
            const LPARAM lParam =
                1 | (key.repeat || !down ? 1LL << 30 : 0) | (down ? 0 : 1LL << 31);
            const size_t before = input.size();
            Enqueue(KeyboardWindow(key.windowID), down ? WM_KEYDOWN : WM_KEYUP,
                    VirtualKey(key.keysym.sym), lParam, key.timestamp);
            lastKey = down && input.size() > before ? input.size() - 1 : SIZE_MAX;
            break;
        }
        case SDL_TEXTINPUT: {
            HWND window = KeyboardWindow(event.text.windowID);
            const std::string text = Utf8ToAnsi(event.text.text);
            if (lastKey < input.size() && input[lastKey].msg.hwnd == window) {
                input[lastKey].text += text;
            } else {
                // Text that came without a key press, from an input method.
                for (char c : text) {
                    Enqueue(window, WM_CHAR, static_cast<unsigned char>(c), 1,
                            event.text.timestamp);
                }
            }
            lastKey = SIZE_MAX;
            break;
        }
        case SDL_WINDOWEVENT:
            OnWindowEvent(event.window);
            break;
        default:
            break;
        }
    }
}

} // namespace

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (!msg || (window && !LiveWindow(window))) {
        return FALSE;
    }
    const bool remove = removeMsg & PM_REMOVE;
    auto wanted = [&](const MSG &m) {
        return (!window || m.hwnd == window) && InRange(m.message, filterMin, filterMax);
    };
    for (auto it = platform.posted.begin(); it != platform.posted.end(); ++it) {
        if (wanted(*it)) {
            *msg = *it;
            if (remove) {
                platform.posted.erase(it);
            }
            return TRUE;
        }
    }
    // The quit message belongs to no window and is taken whatever window the peek asks for.
    if (platform.quit && InRange(WM_QUIT, filterMin, filterMax)) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(platform.quitCode), 0, SDL_GetTicks(), {}};
        if (remove) {
            platform.quit = false;
        }
        return TRUE;
    }
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        EndIfDisplayWentAway();
        PumpEvents();
    }
    for (auto it = platform.input.begin(); it != platform.input.end(); ++it) {
        if (wanted(it->msg)) {
            *msg = it->msg;
            if (remove) {
                if (it->msg.message == WM_KEYDOWN) {
                    if (platform.keysTaken.size() == keysRemembered) {
                        platform.keysTaken.pop_front();
                    }
                    platform.keysTaken.push_back(*it);
                }
                platform.input.erase(it);
            }
            return TRUE;
        }
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP)) {
        return FALSE;
    }
    if (msg->message == WM_KEYUP) {
        return TRUE;
    }
    std::string text;
    for (auto it = platform.keysTaken.begin(); it != platform.keysTaken.end(); ++it) {
        if (SameMessage(it->msg, *msg)) {
            text = it->text;
            platform.keysTaken.erase(platform.keysTaken.begin(), it + 1);
            break;
        }
    }
    if (text.empty()) {
        text = ControlCharacter(msg->wParam);
    }
    for (char c : text) {
        if (platform.posted.size() < queueLimit) {
            platform.posted.push_back(
                {msg->hwnd, WM_CHAR, static_cast<unsigned char>(c), msg->lParam, msg->time, {}});
        }
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
    return msg ? SendToWindow(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

void WINAPI PostQuitMessage(int exitCode) {
    platform.quit = true;
    platform.quitCode = exitCode;
}

// Default handling: the close box becomes WM_CLOSE. WM_CLOSE itself destroys nothing here; the
// window stays until the process ends.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SYSCOMMAND && (wParam & 0xfff0) == SC_CLOSE) {
        SendToWindow(window, WM_CLOSE, 0, 0);
    }
    return 0;
}
