// The program on two monitors, the primary on either side of the other: Xorg's dummy driver with
// a second output beside the first, as a user arranges them with xrandr. The program means the
// primary monitor, as on Windows: its prompt shows there, its window opens at (100, 100) from the
// primary's corner, and Yes switches the primary alone to 800 x 600 from its own corner and covers
// it exactly. The other monitor keeps its mode, and both have their modes back when the program
// ends.
//
// Where the two builds differ in what they do to the other monitor: docs/testing.md.
#include "program.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <string>
#include <vector>

namespace {

const char *const xrandr = "/usr/bin/xrandr";
const char *const primaryOutput = "DUMMY0";
const char *const secondaryOutput = "DUMMY1";
const Rect alone = {0, 0, 1024, 768}; // the one monitor the server starts with

struct Arrangement {
    const char *name, *shots;
    const char *secondarySide; // where xrandr puts the secondary, against the primary
    Rect primary, secondary;
    Rect secondaryBeside; // the secondary kept against the primary switched to 800 x 600
};

const Arrangement arrangements[] = {
    {"PrimaryOnTheRight",
     "primary-right",
     "--left-of",
     {1024, 0, 1024, 768},
     {0, 0, 1024, 768},
     {0, 0, 1024, 768}},
    {"PrimaryOnTheLeft",
     "primary-left",
     "--right-of",
     {0, 0, 1024, 768},
     {1024, 0, 1024, 768},
     {expected::fullscreenWidth, 0, 1024, 768}},
};

// Names the arrangement in GoogleTest's messages.
void PrintTo(const Arrangement &arrangement, std::ostream *out) {
    *out << arrangement.name;
}

std::vector<Monitor> Lying(const Rect &primary, const Rect &secondary) {
    return {{primaryOutput, primary, true}, {secondaryOutput, secondary, false}};
}

// Runs xrandr with `arguments`; empty when it succeeded, else the command and what it said.
std::string Xrandr(const std::vector<std::string> &arguments) {
    std::vector<std::string> command = {xrandr};
    command.insert(command.end(), arguments.begin(), arguments.end());
    Child run;
    Start(run, command, {});
    const bool ended = WaitForExit(run, patience);
    if (ended && run.status == 0) {
        return std::string();
    }
    std::string text;
    for (const std::string &word : command) {
        text += word + " ";
    }
    return text + (ended ? "ended with status " + std::to_string(run.status) : "did not end") +
           ": " + ErrorOutput(run);
}

std::string Texts(const std::vector<Rect> &rects) {
    std::string text = "[";
    for (const Rect &rect : rects) {
        text += (text.size() > 1 ? ", " : "") + Text(rect);
    }
    return text + "]";
}

bool Inside(const Rect &inner, const Rect &outer) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

// Wine's processes of an earlier start end, as a few seconds after a user's last Wine program:
// no Wine process sees the test arrange the monitors or set them back (it would give back what it
// saw at the next restore).
void EndWine() {
    if (kind->underWine) {
        wine.End();
    }
}

class TwoMonitors : public Boxwalk, public ::testing::WithParamInterface<Arrangement> {
  protected:
    std::string arranged; // how the monitors lie once the test has arranged them
    bool modeAdded = false;

    void SetUp() override {
        Boxwalk::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        const Arrangement &arrangement = GetParam();
        EndWine();
        ASSERT_EQ(Describe(Monitors()), Describe({{primaryOutput, alone, true}}))
            << "this suite needs Xorg's dummy display with its one monitor of 1024 x 768";
        // An output the dummy driver has once shown a picture on keeps the modes it found.
        if (!OutputOffers(secondaryOutput, 1024, 768)) {
            ASSERT_EQ(Xrandr({"--addmode", secondaryOutput, "1024x768"}), "");
            modeAdded = true;
        }
        ASSERT_EQ(Xrandr({"--output", secondaryOutput, "--mode", "1024x768",
                          arrangement.secondarySide, primaryOutput}),
                  "");
        ASSERT_EQ(Xrandr({"--output", primaryOutput, "--primary"}), "");
        // The dummy driver connects an output once it shows a picture, but the server records
        // that only when it next probes the outputs: probed now, as a desktop probes when a
        // monitor is plugged in, the second monitor is connected for every client (Wine leaves
        // out an output recorded as disconnected).
        ASSERT_EQ(Xrandr({"--query"}), "");
        arranged = Describe(Lying(arrangement.primary, arrangement.secondary));
        ASSERT_EQ(Describe(Monitors()), arranged);
        // The fixture's check of the one display mode does not fit two monitors: these tests
        // check both, and TearDown sets them back.
        startMode = Rect{};
        WatchMonitors();
    }

    // Ends the program as the fixture does, then checks that both monitors had their modes back
    // (waiting for a restore under way) and gives the server back its one monitor, whatever
    // happened in the test.
    void TearDown() override {
        Boxwalk::TearDown();
        EndWine();
        // A program that had to be killed gives nothing back.
        const bool killed = program.exited && program.status == 128 + SIGKILL;
        if (!arranged.empty() && !WaitForMonitors(arranged, killed ? 0 : patience) && !killed &&
            !WineLostTheDisplayMode()) {
            ADD_FAILURE() << "the monitors were left as " << Describe(Monitors())
                          << "; the program ended with status " << program.status;
        }
        EXPECT_EQ(Xrandr({"--output", secondaryOutput, "--off", "--output", primaryOutput, "--mode",
                          "1024x768", "--pos", "0x0", "--primary", "--fb", "1024x768"}),
                  "");
        if (modeAdded) {
            EXPECT_EQ(Xrandr({"--delmode", secondaryOutput, "1024x768"}), "");
        }
        EXPECT_EQ(Describe(Monitors()), Describe({{primaryOutput, alone, true}}))
            << "the server was not given back its one monitor";
        EXPECT_EQ(Text(ScreenRect()), Text(alone));
    }

    bool DisplayLeftSwitched() override {
        return Describe(Monitors()) != arranged;
    }

    static bool WaitForMonitors(const std::string &expected, double seconds) {
        const double deadline = Now() + seconds;
        while (Describe(Monitors()) != expected && Now() < deadline) {
            SleepSeconds(0.01);
        }
        return Describe(Monitors()) == expected;
    }

    void ExpectMonitors(const std::string &expected, const char *after) {
        EXPECT_TRUE(WaitForMonitors(expected, patience))
            << "the monitors " << after << " lie as " << Describe(Monitors()) << " on a screen "
            << Text(ScreenRect()) << ", expected " << expected
            << "; changes announced: " << primaryOutput << " "
            << Texts(MonitorChanges(primaryOutput)) << ", " << secondaryOutput << " "
            << Texts(MonitorChanges(secondaryOutput)) << "; stderr: " << ErrorOutput(program);
    }

    // Where the secondary lies while the primary runs 800 x 600 (see docs/testing.md).
    Rect SecondaryWhileSwitched() const {
        return kind->underWine ? GetParam().secondaryBeside : GetParam().secondary;
    }

    // Every change the server announced of the secondary, however brief, kept its mode, and its
    // place as the program may move it (see docs/testing.md).
    void ExpectSecondaryKeptItsMode() {
        const Arrangement &arrangement = GetParam();
        for (const Rect &rect : MonitorChanges(secondaryOutput)) {
            const bool allowed =
                Text(rect) == Text(arrangement.secondary) ||
                (kind->underWine &&
                 (rect.width == 0 || Text(rect) == Text(arrangement.secondaryBeside)));
            EXPECT_TRUE(allowed) << "the secondary monitor was given " << Text(rect)
                                 << " while the program ran";
        }
    }

    void ExpectPromptOnThePrimary(WindowId prompt) {
        EXPECT_TRUE(Inside(RootRect(prompt), GetParam().primary))
            << "the prompt lies at " << Text(RootRect(prompt)) << ", outside the primary "
            << Text(GetParam().primary);
    }

    // Answers Yes and waits until the primary runs 800 x 600 from its own corner, covered by the
    // fullscreen window, and the first frames are drawn.
    void OpenFullscreenOnThePrimary() {
        const Arrangement &arrangement = GetParam();
        const WindowId prompt = StartToPrompt();
        ASSERT_NE(prompt, 0u);
        ExpectPromptOnThePrimary(prompt);
        Answer(prompt, true);
        WaitForProgramWindow(expected::fullscreenTitle, expected::fullscreenWidth,
                             expected::fullscreenHeight);
        if (HasFatalFailure()) {
            return;
        }
        const Rect switched = Switched(arrangement.primary.x, arrangement.primary.y);
        ExpectMonitors(Describe(Lying(switched, SecondaryWhileSwitched())), "after Yes");
        ExpectWindowAt(switched, "the fullscreen window does not cover the switched primary");
        scene.width = scene.projectionWidth = expected::fullscreenWidth;
        scene.height = scene.projectionHeight = expected::fullscreenHeight;
        WaitForView(scene, nullptr, std::string(arrangement.shots) + "-fullscreen");
        ExpectSecondaryKeptItsMode();
    }

    // Answers Yes, then ends the program with Escape or a close request, and checks that both
    // monitors have their modes and places back.
    void YesThenEnd(bool escape) {
        OpenFullscreenOnThePrimary();
        if (HasFatalFailure()) {
            return;
        }
        const char *const after = escape ? "after Escape" : "after the close request";
        if (escape) {
            FocusWindow(window);
            TypeText("\x1b");
        } else {
            RequestClose(window);
        }
        ExpectExitZero(after);
        if (!WaitForMonitors(arranged, patience) && WineLostTheDisplayMode()) {
            return;
        }
        ExpectMonitors(arranged, after);
        ExpectSecondaryKeptItsMode();
    }
};

TEST_P(TwoMonitors, NoOpensTheWindowFromThePrimarysCorner) {
    const Arrangement &arrangement = GetParam();
    const WindowId prompt = StartToPrompt();
    ASSERT_NE(prompt, 0u);
    ExpectPromptOnThePrimary(prompt);
    Answer(prompt, false);
    WaitForWindowed();
    if (HasFatalFailure()) {
        return;
    }
    const Rect outer = WindowedOuter(arrangement.primary.x, arrangement.primary.y);
    ExpectWindowedPlace(window, outer);
    WaitForView(scene, nullptr, std::string(arrangement.shots) + "-windowed");
    EXPECT_EQ(Describe(Monitors()), arranged);
    EXPECT_TRUE(MonitorChanges(primaryOutput).empty() && MonitorChanges(secondaryOutput).empty())
        << "a monitor changed although the program runs in a window";
}

TEST_P(TwoMonitors, YesSwitchesThePrimaryAndEscapeGivesBothModesBack) {
    YesThenEnd(true);
}

TEST_P(TwoMonitors, YesSwitchesThePrimaryAndACloseRequestGivesBothModesBack) {
    YesThenEnd(false);
}

INSTANTIATE_TEST_SUITE_P(Arrangements, TwoMonitors, ::testing::ValuesIn(arrangements),
                         NameOf<Arrangement>);

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv, Missing({{xrandr, "x11-xserver-utils"}}));
}
