// The display servers the loss suite starts under the program and ends while it runs: Xvfb, Xorg
// on the dummy video driver (whose display really switches to 800 x 600), and the Wayland
// compositor weston with Xwayland for X clients.
#pragma once

#include "process.h"

#include <string>

enum class ServerKind { Xvfb, Xorg, Weston };

// One started server. It leads a process group of its own, with whatever it starts (weston's
// Xwayland, panel and on-screen keyboard), so that whatever a test leaves running goes with it.
struct DisplayServer {
    ServerKind kind = ServerKind::Xvfb;
    Child process;             // the X server, or the compositor
    std::string folder;        // its log, and the compositor's runtime folder
    std::string display;       // ":N" once it takes X clients
    std::string waylandSocket; // the compositor's socket in `runtimeFolder`
    std::string runtimeFolder; // XDG_RUNTIME_DIR for the compositor's clients

    DisplayServer() = default;
    DisplayServer(const DisplayServer &) = delete;
    DisplayServer &operator=(const DisplayServer &) = delete;
    // Ends the group, the lock and socket a killed server could not remove, and the folder.
    ~DisplayServer();
};

// What the machine lacks to start a server of `kind`, in words; empty when nothing.
std::string MissingFor(ServerKind kind, const std::string &xorgConfig);

// Starts a server of `kind` and waits at most `seconds` until it names its X display; false with
// the reason in `why` when it did not.
bool StartServer(DisplayServer &server, ServerKind kind, const std::string &xorgConfig,
                 double seconds, std::string &why);

// Sends `signal` to the server alone (not its group, as a session's end reaches the compositor
// first) and waits at most `seconds` for it and every process it started (weston's Xwayland,
// the X server the program talks to) to end; the time they had all ended, or -1.
double EndServer(DisplayServer &server, int signal, double seconds);

// The text of the server's log so far, for failure messages.
std::string ServerLog(const DisplayServer &server);
