// The display going away under the running program, ten times in each way a user meets it: the
// Wayland compositor ending (weston with Xwayland, and sway where the Linux program runs natively
// on Wayland, sent SIGTERM as at the session's end) under the fullscreen and the windowed program
// (on sway under its prompt too), the Xorg server (dummy driver, switched to 800 x 600 by the
// fullscreen program) killed with SIGKILL and ended with SIGTERM, and Xvfb killed under the
// windowed program. Each run starts a server of its own, starts the program on it, answers the
// prompt, waits for a drawn frame, then ends the server. A program that outlived its display would
// hold its memory for ever and, fullscreen, the only note of the mode to give back: it must end,
// every time.
//
//   loss_test --program=build/boxwalk [--shots=DIR]
//   loss_test --wine=build-windows/boxwalk.exe [--shots=DIR]
//
// Where the two builds differ when the display goes away: docs/testing.md.
#include "program.h"
#include "servers.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace {

const int runsPerCase = 10;
// What the Linux build promises: it ends at most this long after its display went away.
const double promise = 2.0;
// How long a late Linux program is still waited for, so that a slow end is told from a hang.
const double lateHorizon = 3 * promise;

// One way the display goes away under the program.
struct Loss {
    const char *name;
    ServerKind server;
    int signal;      // what ends the server
    bool fullscreen; // the prompt answered Yes
    bool unanswered; // the prompt still up
};

const Loss losses[] = {
    {"CompositorEndsUnderFullscreen", ServerKind::Weston, SIGTERM, true, false},
    {"CompositorEndsUnderWindowed", ServerKind::Weston, SIGTERM, false, false},
    {"SwayEndsUnderFullscreen", ServerKind::Sway, SIGTERM, true, false},
    {"SwayEndsUnderWindowed", ServerKind::Sway, SIGTERM, false, false},
    {"SwayEndsUnderThePrompt", ServerKind::Sway, SIGTERM, false, true},
    {"XorgKilledUnderFullscreen", ServerKind::Xorg, SIGKILL, true, false},
    {"XorgTerminatedUnderFullscreen", ServerKind::Xorg, SIGTERM, true, false},
    {"XvfbKilledUnderWindowed", ServerKind::Xvfb, SIGKILL, false, false},
};

std::string xorgConfig = XORG_DUMMY_CONFIG;
// Seconds from each server's end to the program's end, run by run, for every case; negative where
// the program had to be killed.
std::map<std::string, std::vector<double>> &Times() {
    static std::map<std::string, std::vector<double>> times;
    return times;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string &text, const std::string &start) {
    return text.compare(0, start.size(), start) == 0;
}

class DisplayLoss : public Boxwalk, public ::testing::WithParamInterface<std::tuple<Loss, int>> {
  protected:
    DisplayServer server;

    static const Loss &Case() {
        return std::get<0>(GetParam());
    }

    // A server of the case's kind, the program on it with the prompt answered and a frame drawn,
    // or with the prompt still up.
    void SetUp() override {
        const Loss &loss = Case();
        std::string why;
        ASSERT_TRUE(StartServer(server, loss.server, xorgConfig, 2 * patience, why))
            << "the server did not start: " << why;
        // The test and the program are the server's clients, as in a user's session.
        for (const auto &change : server.ClientEnvironment()) {
            change.second ? setenv(change.first.c_str(), change.second, 1)
                          : unsetenv(change.first.c_str());
        }
        onWaylandDesktop = loss.server == ServerKind::Weston || loss.server == ServerKind::Sway;
        ASSERT_TRUE(OpenTestDisplay())
            << "cannot open the display " << server.display << "; the server's log:\n"
            << ServerLog(server);
        Boxwalk::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        if (loss.server == ServerKind::Xorg) {
            ASSERT_EQ(Text(startMode), Text({0, 0, 1024, 768})) << "modes: " << DescribeModes();
        }
        if (loss.unanswered) {
            ASSERT_NE(StartToPrompt(), 0u);
            return;
        }
        if (loss.fullscreen) {
            OpenFullscreen();
        } else {
            const WindowId prompt = StartToPrompt();
            ASSERT_NE(prompt, 0u);
            Answer(prompt, false);
            WaitForWindowed();
        }
        if (HasFatalFailure()) {
            return;
        }
        if (loss.fullscreen && loss.server == ServerKind::Xorg) {
            ExpectMode(Switched(), "after Yes");
        }
        WaitForFrame();
    }

    // The program, the test's connection, the server with all it started, and for the Windows
    // build every Wine process of the prefix: each run begins afresh.
    void TearDown() override {
        Kill(program);
        CloseTestDisplay();
        if (kind->underWine) {
            wine.End();
        }
    }

    // Waits for a screenshot of the window that shows every part of the figure: the program runs
    // its frame loop.
    void WaitForFrame() {
        const double deadline = Now() + patience;
        Observed seen;
        do {
            seen = Observe(Shot(std::string("loss-") + Case().name), scene);
            const auto &figure = seen.figure;
            if (!figure[Blue].empty && !figure[Red].empty && !figure[Yellow].empty &&
                !(figure[White].empty && seen.text.empty)) {
                return;
            }
            SleepSeconds(0.05);
        } while (Now() < deadline);
        FAIL() << "no frame of the figure was drawn within " << patience << " s:\n"
               << Describe(seen) << "stderr: " << ErrorOutput(program);
    }
};

TEST_P(DisplayLoss, TheProgramEnds) {
    const Loss &loss = Case();
    // The test's own connection goes first: the server's end would end the test with it.
    CloseTestDisplay();
    const double serverEnded = EndServer(server, loss.signal, patience);
    ASSERT_GT(serverEnded, 0) << "the server still runs " << patience << " s after "
                              << strsignal(loss.signal);
    // The program has ended once none of its code runs any more; the kernel's taking back its
    // memory after that is timed apart, as it depends on the machine's load alone.
    const double horizon = kind->underWine ? patience : lateHorizon;
    const double programStopped = SeenStopped(program, horizon);
    const bool ended = programStopped > 0;
    const double seconds = (ended ? programStopped : Now()) - serverEnded;
    const double reaped = ended ? SeenReaped(program) : -1;
    std::vector<double> &times = Times()[loss.name];
    times.push_back(ended ? seconds : -1);
    const std::string error = ErrorOutput(program);
    if (ended) {
        std::printf("%s run %d: the program ended %.3f s after the server, gone %.3f s later, "
                    "with status %d\n",
                    loss.name, std::get<1>(GetParam()), seconds,
                    reaped > 0 ? reaped - programStopped : -1.0, program.status);
    } else {
        std::printf("%s run %d: the program still ran %.1f s after the server ended\n", loss.name,
                    std::get<1>(GetParam()), seconds);
    }
    std::printf("stderr:\n%s", error.c_str());
    ASSERT_TRUE(ended) << "the program still runs " << seconds << " s after the server ended";
    ASSERT_GT(reaped, 0) << "the ended program was still not gone " << patience << " s later";
    EXPECT_EQ(program.status, 1) << "the exit status after the display went away"
                                 << (program.status > 128
                                         ? std::string("; the program was ended by ") +
                                               strsignal(program.status - 128)
                                         : std::string());
    const std::vector<std::string> lines = Lines(error);
    if (kind->underWine) {
        // Xlib's own word, once from each Wine process that had the display open, in either of
        // its two forms; now and then Wine also reports a fault in its own code on the way, or
        // an error of its own about the displays (the suites let those through).
        ASSERT_FALSE(lines.empty()) << "nothing on standard error";
        for (const std::string &line : lines) {
            const bool xlib = StartsWith(line, "X connection to " + server.display + " broken") ||
                              StartsWith(line, "XIO:  fatal IO error") ||
                              StartsWith(line, "      after ");
            const bool winesOwn = StartsWith(line, "wine: Unhandled page fault") ||
                                  line.find(":err:system:") != std::string::npos;
            EXPECT_TRUE(xlib || winesOwn) << line;
        }
        // Nor does any other process of Wine's outlive the display.
        const double waited = Now();
        EXPECT_TRUE(wine.Ended()) << "Wine's processes still run " << patience
                                  << " s after the program ended";
        std::printf("Wine's processes ended %.1f s after the program\n", Now() - waited);
        return;
    }
    EXPECT_LE(seconds, promise) << "the program ended later than it promises";
    // The prompt on Wayland is zenity, a program of its own; what it and its toolkit say of the
    // desktop is theirs (Debian 13's zenity, on GTK 4, that the test desktop has no session bus;
    // any, that the compositor went away under it), each warning after an empty line.
    std::vector<std::string> own;
    for (const std::string &line : lines) {
        const bool zenitys = line.empty() || StartsWith(line, "(zenity:") ||
                             StartsWith(line, "Gdk-") || StartsWith(line, "Gtk-") ||
                             StartsWith(line, "GLib-");
        if (!zenitys) {
            own.push_back(line);
        }
    }
    ASSERT_EQ(own.size(), 1u) << "one line on standard error, not:\n" << error;
    EXPECT_TRUE(StartsWith(own[0], "boxwalk: the display went away")) << own[0];
}

void PrintTo(const Loss &loss, std::ostream *out) {
    *out << loss.name;
}

std::string RunName(const ::testing::TestParamInfo<std::tuple<Loss, int>> &info) {
    return std::string(std::get<0>(info.param).name) + "_" +
           std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Loss, DisplayLoss,
                         ::testing::Combine(::testing::ValuesIn(losses),
                                            ::testing::Range(1, runsPerCase + 1)),
                         RunName);

// At the end, each case's times.
class TimesReport : public ::testing::Environment {
  public:
    void TearDown() override {
        for (const auto &times : Times()) {
            double slowest = 0;
            int hung = 0;
            for (double seconds : times.second) {
                slowest = seconds > slowest ? seconds : slowest;
                hung += seconds < 0 ? 1 : 0;
            }
            std::printf("%s: %zu runs, slowest end %.3f s after the server, %d still running\n",
                        times.first.c_str(), times.second.size(), slowest, hung);
        }
    }
};

} // namespace

int main(int argc, char **argv) {
    std::string missing;
    for (const Loss &loss : losses) {
        missing = missing.empty() ? MissingFor(loss.server, xorgConfig) : missing;
    }
    ::testing::AddGlobalTestEnvironment(new TimesReport);
    return RunProgramTests(argc, argv, missing, true);
}
