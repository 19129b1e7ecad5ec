// Everything the platform keeps, in one place that lives as long as the process: it is never
// destroyed, so that the watchdog's thread, which may still run while the process exits, never
// meets a destroyed object. Each part of the platform keeps its own section. The watchdog's thread
// reads only the atomics here and what was set before it started.
#pragma once

#include "platform.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <csignal>

#include <atomic>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

struct FT_LibraryRec_;

struct WindowClass {
    std::string name;
    ATOM atom;
    WNDCLASSEXA record;
};

// A message, and for a key press the 8-bit characters the keyboard layout made of it.
struct QueuedMessage {
    MSG msg;
    std::string text;
};

// A GLX frame-buffer configuration, as a pixel format.
struct PixelFormat {
    bool usable = false;
    bool doubleBuffer = false, stereo = false, slow = false;
    int red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0, accum = 0, aux = 0;
    int samples = 0;
    unsigned long visual = 0;
};

// The primary monitor's mode and place, and the screen's size, before the program switched it.
struct SavedMode {
    RRCrtc crtc;
    RRMode mode;
    int x, y;
    Rotation rotation;
    RROutput outputs[16];
    int outputCount;
    int screenWidth, screenHeight, screenWidthMm, screenHeightMm;
};

struct PlatformState {
    // Start-up: SDL's video and the platform's own connection to the X server.
    bool videoTried = false, videoOk = false;
    Display *x = nullptr;
    char displayName[256] = {};

    // Windows.
    std::vector<WindowClass> classes;
    std::vector<HWND> windows;
    int cursorCount = 0;
    HWND active = nullptr; // the window last shown: it has the keyboard

    // Display modes: the mode switched to, and the one to give back. `saved` is written once,
    // before `modeSaved` says so; `modeToGiveBack` holds while the display runs switched.
    bool modeSet = false;
    SDL_DisplayMode mode{};
    bool atExitRegistered = false;
    SavedMode saved{};
    std::atomic<bool> modeSaved{false};
    std::atomic<bool> modeToGiveBack{false};

    // Messages.
    std::deque<MSG> posted;              // WM_CHAR from TranslateMessage: taken before input
    std::deque<QueuedMessage> input;     // from the window system
    std::deque<QueuedMessage> keysTaken; // key presses handed out, waiting for TranslateMessage
    bool quit = false;
    int quitCode = 0;

    // GL.
    bool formatsRead = false;
    std::vector<PixelFormat> formats;
    std::vector<HGLRC> contexts;

    // Fonts.
    bool fontsTried = false;
    FT_LibraryRec_ *fontLibrary = nullptr;
    std::vector<HFONT> fonts;
    std::set<std::string> symbolFamilies; // what fontconfig offers for "Symbol"

    // Failure reports said so far.
    std::set<std::string> reported;

    // The watchdog. `xFailure` packs an X error's codes and is never 0 once one was noted;
    // `terminationRequest` holds the signal of a request the frame loop has not taken yet.
    std::atomic<Display *> sdlDisplay{nullptr};
    XErrorHandler previousErrorHandler = nullptr;
    std::atomic<std::uint32_t> xFailure{0};
    std::atomic<int> terminationRequest{0};
    int notes[2] = {-1, -1}; // the watchdog's pipe, made before it starts
    bool requestsClose = false;
    struct sigaction previousActions[3] = {};
};

extern PlatformState &platform;
