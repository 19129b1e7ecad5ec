// The display servers the suites run on, each fresh: Xvfb, Xorg on the dummy driver (whose display
// really switches to 800 x 600), weston with Xwayland, and sway without Xwayland and with it; on
// the X servers, where asked, openbox.
#pragma once

#include "process.h"

#include <string>
#include <vector>

enum class ServerKind { Xvfb, Xorg, Weston, Sway, SwayXwayland };

// One started server. It leads a process group of its own, with whatever it starts (weston's
// Xwayland, panel and on-screen keyboard), so that whatever a test leaves running goes with it.
struct DisplayServer {
    ServerKind kind = ServerKind::Xvfb;
    Child process;             // the X server, or the compositor
    Child windowManager;       // openbox, where one was started on the display
    Child keyboard;            // on sway a keyboard kept in the seat, which has none of its own
    std::string folder;        // its log, the window manager's settings, the compositor's runtime
    std::string display;       // ":N" once it takes X clients
    std::string waylandSocket; // the compositor's socket in `runtimeFolder`
    std::string runtimeFolder; // XDG_RUNTIME_DIR for the compositor's clients
    std::string swaySocket;    // sway's IPC socket, for swaymsg

    // The environment of the server's clients: its display, sockets and runtime folder set, the
    // displays and sockets of the other kinds of server removed.
    EnvChanges ClientEnvironment() const;

    DisplayServer() = default;
    DisplayServer(const DisplayServer &) = delete;
    DisplayServer &operator=(const DisplayServer &) = delete;
    // Ends the window manager and the group, the lock and socket of a server that had to be
    // killed (where the lock still names it), and the folder.
    ~DisplayServer();
};

// What the machine lacks to start a server of `kind`, and openbox where `windowManager`, in one
// line that names the Debian package to install; empty when nothing.
std::string MissingFor(ServerKind kind, const std::string &xorgConfig, bool windowManager = false);

// Starts a server and waits at most `seconds` until it takes clients; false with the reason
// in `why`. Xvfb gets `xvfbArguments` after its own (e.g. "-extension", "GLX").
bool StartServer(DisplayServer &server, ServerKind kind, const std::string &xorgConfig,
                 double seconds, std::string &why,
                 const std::vector<std::string> &xvfbArguments = {});

// Starts openbox on the server's display with the configuration file `config` and no session;
// the command run on the display waits itself until the manager has taken it.
bool StartWindowManager(DisplayServer &server, const std::string &config, std::string &why);

// Sends `signal` to the server alone (a session's end reaches the compositor first) and waits at
// most `seconds` for it and every process it started to end; the time they had, or -1.
double EndServer(DisplayServer &server, int signal, double seconds);

// The text of the server's log so far, for failure messages.
std::string ServerLog(const DisplayServer &server);
