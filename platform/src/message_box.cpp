// Message boxes: SDL's, with the program's text and buttons.
#include "platform.h"

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    const UINT buttons = type & 0xf;
    if (buttons != MB_OK && buttons != MB_YESNO) {
        ReportFailure("MessageBoxA", "buttons 0x%x are not offered, only OK and Yes/No", buttons);
        return 0;
    }
    if (!EnsureWatchedVideo()) {
        return 0;
    }
    const std::string utf8Text = AnsiToUtf8(text);
    const std::string utf8Caption = AnsiToUtf8(caption ? caption : "Error");
    const SDL_MessageBoxButtonData yesNo[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
    };
    const SDL_MessageBoxButtonData ok[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK,
         "OK"},
    };
    SDL_MessageBoxData box{};
    box.flags = SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.window = LiveWindow(owner) ? owner->sdl : nullptr;
    box.title = utf8Caption.c_str();
    box.message = utf8Text.c_str();
    box.numbuttons = buttons == MB_YESNO ? 2 : 1;
    box.buttons = buttons == MB_YESNO ? yesNo : ok;
    int chosen = -1;
    if (SDL_ShowMessageBox(&box, &chosen) != 0) {
        EndIfCompositorWentAway();
        ReportFailure("MessageBoxA", "no message box: %s", SdlReason().c_str());
        return 0;
    }
    // Closed through the window manager: the answer Escape gives (unless the compositor took
    // the box with it as it ended).
    if (chosen < 0) {
        EndIfCompositorWentAway();
        chosen = buttons == MB_YESNO ? IDNO : IDOK;
    }
    return chosen;
}
