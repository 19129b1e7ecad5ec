// The real program when the platform cannot do what it asks, on a display whose mode really
// switches, on one that offers no 800 x 600 and on one without GLX: each fault ends the program or
// lets it run on as it should, never hangs it, never leaves the display switched, and the Linux
// build says in one line on standard error which operation failed and why. Termination signals
// are here as well: one the program was started to ignore, one that ends it, and one that arrives
// while its buffer swap never returns.
//
// What each build writes is checked on Linux only; Wine's debug output is off in the tests, and
// Wine then writes nothing for any of these faults.
//
// | Fault                  | Linux build                      | Windows build under Wine         |
// |------------------------|----------------------------------|----------------------------------|
// | class registration     | RegisterClassExA preloaded over  | not injectable: registration     |
// |                        | the platform library: returns 0  | lives in Wine's user32, a        |
// |                        | (the platform's own operation    | Windows library that no Linux    |
// |                        | never runs, so it says nothing)  | preload reaches                  |
// | window creation        | SDL_CreateWindow returns null:   | not injectable: Wine makes the   |
// |                        | the line for CreateWindowExA     | window in its server whatever X  |
// |                        |                                  | does                             |
// | rendering context      | SDL_GL_CreateContext returns     | the GL library's context-making  |
// |                        | null: the line for               | functions return null            |
// |                        | wglCreateContext                 |                                  |
// | message box            | SDL_ShowMessageBox refused: the  | not injectable: the box is Wine's|
// |                        | line for MessageBoxA; no answer  | user32's own                     |
// |                        | is not Yes, so windowed          |                                  |
// | no 800 x 600 (Xvfb)    | the line for                     | the same fallback (with debug    |
// |                        | ChangeDisplaySettingsA; windowed | output on: "err:system:NtUser-   |
// |                        | fallback                         | ChangeDisplaySettings ...        |
// |                        |                                  | returned -2")                    |
// | no GLX (Xvfb           | the window cannot be made: the   | the window opens and the program |
// | -extension GLX)        | line for CreateWindowExA (SDL:   | runs on drawing nothing, as with |
// |                        | "GLX is not supported"); status  | a refused context (with debug    |
// |                        | 1 once the prompt is answered No | output on: "err:wgl:... couldn't |
// |                        |                                  | initialize OpenGL" and           |
// |                        |                                  | "err:wgl:set_pixel_format        |
// |                        |                                  | Invalid format 0")               |
// | SIGHUP, started with   | ignored: the program draws on    | not tested: a signal to Wine     |
// | it ignored (nohup)     |                                  | ends its process without the     |
// | SIGHUP                 | ends through the quit path       | program's quit path              |
// | SIGTERM while the      | SDL's GL library made to block   | not tested, as above             |
// | buffer swap blocks     | glXSwapBuffers: ends within 2 s, |                                  |
// |                        | the mode given back              |                                  |
// | X error in a frame     | SDL's GL library made to fail a  | not tested, as above             |
// | that never returns     | request in glXSwapBuffers, then  |                                  |
// |                        | block: ends within 2 s with      |                                  |
// |                        | status 1 and the line, the mode  |                                  |
// |                        | given back                       |                                  |
// | fullscreen window      | ends within 2 s with status 1,   | not tested: Wine's X driver takes|
// | destroyed by another   | "the display went away" and the  | it silently, the program runs on |
// | client                 | failed request; the mode given   | without a window and the display |
// |                        | back                             | stays switched                   |
#include "program.h"

#include "server_query.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

const char *const signalReason =
    "a signal to Wine ends its process without the program's quit path";

// The library goes on top of whatever the environment preloads already.
EnvChanges Preload(const char *library) {
    static std::string preload;
    const char *already = getenv("LD_PRELOAD");
    preload = already && *already ? std::string(library) + ":" + already : library;
    return {{"LD_PRELOAD", preload.c_str()}};
}

// The rendering-context refusal for the program under test.
EnvChanges RefusedContext() {
    return Preload(kind->underWine ? REFUSE_GLX_CONTEXT : REFUSE_GL_CONTEXT);
}

// A new empty file of the test's own.
std::string TemporaryFile(const char *what) {
    std::string path = std::string("/tmp/boxwalk-") + what + "-XXXXXX";
    const int file = mkstemp(path.data());
    EXPECT_GE(file, 0) << path;
    if (file >= 0) {
        close(file);
    }
    return path;
}

std::string FileText(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What every fault case needs: the program drawing fullscreen, what it writes and what it draws.
class FaultCase : public Boxwalk {
  protected:
    // Answers Yes and waits for the switched display and the first frame on it.
    void OpenFullscreenDrawing(const EnvChanges &extra, const std::string &name) {
        OpenFullscreen(extra);
        if (HasFatalFailure()) {
            return;
        }
        // The fullscreen window shows before the display has switched: the switch follows it.
        ExpectMode(Switched(), "after Yes");
        WaitForView(scene, nullptr, name);
    }

    // Answers the prompt and waits for the windowed window: after No, or after Yes where the
    // display does not switch.
    void AnswerToWindowed(bool yes, const EnvChanges &extra = {}) {
        const WindowId prompt = StartToPrompt(extra);
        ASSERT_NE(prompt, 0u);
        Answer(prompt, yes);
        WaitForWindowed();
    }

    // The windowed window draws, nothing went fullscreen, and Escape ends the program.
    void ExpectWindowedUntilEscape(const std::string &name) {
        WaitForView(scene, nullptr, name);
        EXPECT_TRUE(FindWindows(expected::fullscreenTitle).empty()) << DescribeWindows();
        ExpectStartMode("with the windowed window open");
        EndWithEscape();
    }

    // The Linux build's line for the failed operation: the first line of the platform's on
    // standard error, the only one for that operation, with a reason that holds `reason` (SDL's
    // own text where the test injected it). Wine keeps its diagnostics to itself in the tests.
    void ExpectFailureLine(const std::string &operation, const std::string &reason) {
        if (kind->underWine) {
            return;
        }
        const std::string errors = ErrorOutput(program);
        const std::string start = "boxwalk: " + operation + ": ";
        std::istringstream lines(errors);
        std::string line, first;
        int forOperation = 0;
        while (std::getline(lines, line)) {
            if (line.rfind("boxwalk: ", 0) == 0 && first.empty()) {
                first = line;
            }
            forOperation += line.rfind(start, 0) == 0;
        }
        EXPECT_EQ(forOperation, 1) << "lines for " << operation << "; stderr:\n" << errors;
        ASSERT_EQ(first.rfind(start, 0), 0u)
            << "the first failure said is not " << operation << "'s; stderr:\n"
            << errors;
        const std::string said = first.substr(start.size());
        EXPECT_FALSE(said.empty()) << "no reason given: " << first;
        EXPECT_NE(said.find(reason), std::string::npos)
            << "the reason leaves out \"" << reason << "\": " << first;
    }

    // Nothing of the figure or the help line on the window.
    void ExpectNothingDrawn(const std::string &name) {
        SleepSeconds(1.0);
        const Observed observed = Observe(Shot(name), scene);
        for (int colour = 0; colour < ColourCount; ++colour) {
            EXPECT_TRUE(observed.figure[colour].empty)
                << ColourName(colour) << " drawn without a rendering context\n"
                << Describe(observed);
        }
        EXPECT_TRUE(observed.text.empty) << Describe(observed);
    }

    void EndWithEscape() {
        TypeInto(window, "\x1b");
        ExpectExitZero("after Escape");
    }
};

// On the Xorg display that starts at 1024 x 768 and switches to 800 x 600.
class Faults : public FaultCase {
  protected:
    void SetUp() override {
        Boxwalk::SetUp();
        if (!HasFatalFailure()) {
            ASSERT_EQ(Text(startMode), Text({0, 0, 1024, 768}))
                << "this suite needs a display starting at 1024 x 768 that offers 800 x 600; "
                   "modes: "
                << DescribeModes();
        }
    }

    void BlockTheSwap(EnvChanges extra, const std::string &name);
    void ExpectEndWithinTwoSecondsGivingTheModeBack(double since, const char *what);
};

// On a display that offers no 800 x 600.
class FaultsWithoutTheMode : public FaultCase {
  protected:
    void SetUp() override {
        Boxwalk::SetUp();
        if (!HasFatalFailure()) {
            const std::string mode = ", " + std::to_string(expected::fullscreenWidth) + "x" +
                                     std::to_string(expected::fullscreenHeight) + ", ";
            ASSERT_EQ((", " + DescribeModes() + ", ").find(mode), std::string::npos)
                << "this suite needs a display that offers no 800 x 600";
        }
    }
};

// On an X server without GLX.
class FaultsWithoutGlx : public FaultCase {
  protected:
    void SetUp() override {
        Boxwalk::SetUp();
        if (!HasFatalFailure()) {
            ASSERT_FALSE(ServerHasExtension("GLX"))
                << "this suite needs an X server without GLX (Xvfb -extension GLX)";
        }
    }
};

TEST_F(Faults, RefusedClassRegistrationShowsTheGermanBoxThenEndsWithStatusOne) {
    if (kind->underWine) {
        GTEST_SKIP() << "the class is registered inside Wine's user32, out of a preload's reach";
    }
    const std::string record = TemporaryFile("fault-record");
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "fullscreen asked for" : "windowed");
        EnvChanges env = Preload(REFUSE_CLASS);
        env.push_back({"BOXWALK_FAULT_RECORD", record.c_str()});
        const WindowId prompt = StartToPrompt(env);
        ASSERT_NE(prompt, 0u);
        Answer(prompt, yes);
        const WindowId box = WaitForWindow("Fehler beim registrieren der Klasse", patience);
        ASSERT_NE(box, 0u) << "no box captioned \"Fehler beim registrieren der Klasse\"; windows:\n"
                           << DescribeWindows() << "stderr: " << ErrorOutput(program);
        EXPECT_TRUE(FindWindows(expected::windowedTitle).empty() &&
                    FindWindows(expected::fullscreenTitle).empty());
        ExpectStillRunning("while its box is open");
        EXPECT_EQ(Text(CurrentMode()), Text(startMode)) << "the display switched before the box";
        window = box;
        Shot(yes ? "class-refused-fullscreen" : "class-refused");
        TypeInto(box, "\r");
        ExpectExit(1, "after the box was dismissed");
        ExpectStartMode("after the refused registration");
    }
    const std::string boxes = FileText(record);
    unlink(record.c_str());
    const std::string prompt =
        std::string(expected::promptCaption) + "\n" + expected::promptText + "\n";
    const std::string german =
        "Fehler beim registrieren der Klasse\nFehler bei der Registrierung!!\n";
    EXPECT_EQ(boxes, prompt + german + prompt + german);
}

TEST_F(Faults, RefusedWindowEndsWithStatusOneAndTheStartingModeSayingWhy) {
    if (kind->underWine) {
        GTEST_SKIP() << "Wine makes the window in its own server, whatever the X server does";
    }
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "after the switch to fullscreen" : "windowed");
        const WindowId prompt = StartToPrompt(Preload(REFUSE_WINDOW));
        ASSERT_NE(prompt, 0u);
        Answer(prompt, yes);
        ExpectExit(1, "after its window was refused");
        EXPECT_TRUE(FindWindows(expected::windowedTitle).empty() &&
                    FindWindows(expected::fullscreenTitle).empty());
        ExpectStartMode("after the refused window");
        ExpectFailureLine("CreateWindowExA", "window creation refused");
    }
}

TEST_F(Faults, RefusedContextRunsOnDrawingNothingAndEndsWithZeroOnEscapeAndOnClose) {
    for (const bool yes : {false, true}) {
        for (const bool close : {false, true}) {
            SCOPED_TRACE(std::string(yes ? "fullscreen" : "windowed") +
                         (close ? ", close request" : ", Escape"));
            if (yes) {
                OpenFullscreen(RefusedContext());
            } else {
                AnswerToWindowed(false, RefusedContext());
            }
            if (HasFatalFailure()) {
                return;
            }
            // The fullscreen window shows before the display has switched: the switch follows it.
            ExpectMode(yes ? Switched() : startMode, "with the window open");
            ExpectStillRunning("without a rendering context");
            ExpectNothingDrawn(yes ? "no-context-fullscreen" : "no-context");
            if (close) {
                RequestClose(window);
                ExpectExitZero("after the close request");
            } else {
                EndWithEscape();
            }
            ExpectStartMode(close ? "after the close request" : "after Escape");
            ExpectFailureLine("wglCreateContext", "rendering context refused");
        }
    }
}

TEST_F(Faults, MessageBoxThatCannotShowCountsAsNoAndSaysWhy) {
    if (kind->underWine) {
        GTEST_SKIP() << "the box is Wine's user32's own, out of a preload's reach";
    }
    Start(Preload(REFUSE_MESSAGE_BOX));
    WaitForWindowed();
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_TRUE(FindWindows(expected::promptCaption).empty()) << DescribeWindows();
    ExpectWindowedUntilEscape("message-box-refused");
    ExpectFailureLine("MessageBoxA", "message box refused");
}

// As `nohup` starts it: the hangup stays ignored, and the program draws on in the switched mode.
TEST_F(Faults, HangupTheProgramWasStartedToIgnoreChangesNothing) {
    if (kind->underWine) {
        GTEST_SKIP() << signalReason;
    }
    program.ignoredSignals = {SIGHUP};
    OpenFullscreenDrawing({}, "hangup-ignored-first-frame");
    if (HasFatalFailure()) {
        return;
    }
    kill(program.pid, SIGHUP);
    ExpectStillRunning("on a hangup it was started to ignore");
    if (HasFailure()) {
        return;
    }
    ExpectMode(Switched(), "after the ignored hangup");
    TypeAndExpect(Repeat("-", 10), "hangup-ignored");
    EndWithEscape();
    ExpectStartMode("after Escape");
}

TEST_F(Faults, HangupRestoresTheStartingModeAndEndsWithStatusZero) {
    if (kind->underWine) {
        GTEST_SKIP() << signalReason;
    }
    OpenFullscreenDrawing({}, "hangup-first-frame");
    if (HasFatalFailure()) {
        return;
    }
    kill(program.pid, SIGHUP);
    ExpectExitZero("after SIGHUP");
    ExpectStartMode("after SIGHUP");
}

// The kernel gives a termination request sent to the program to a thread other than its first
// where the first has a signal pending already: such a request ends the program through its quit
// path all the same, from the thread it lands on.
TEST_F(Faults, TerminationTakenByAnotherThreadRestoresTheStartingModeAndEndsWithStatusZero) {
    if (kind->underWine) {
        GTEST_SKIP() << signalReason;
    }
#ifdef __SANITIZE_ADDRESS__
    // LeakSanitizer's check at the program's exit now and then crashes in its own tracer after a
    // signal handled on a second thread; the default and the tsan runs cover this case.
    GTEST_SKIP() << "not under AddressSanitizer: its exit-time leak check crashes now and then";
#endif
    OpenFullscreenDrawing({}, "termination-on-another-thread-first-frame");
    if (HasFatalFailure()) {
        return;
    }
    const std::vector<pid_t> others = OtherThreadsTaking(program.pid, SIGTERM);
    if (others.empty()) {
        GTEST_SKIP() << "no thread of the program but its first takes SIGTERM, so no request can "
                        "land elsewhere";
    }
    ASSERT_EQ(syscall(SYS_tgkill, program.pid, others.front(), SIGTERM), 0);
    ExpectExitZero("after SIGTERM taken by another thread");
    ExpectStartMode("after SIGTERM taken by another thread");
}

// The fullscreen program with its next buffer swap blocked for ever; `extra` goes into its
// environment. The library that blocks it is SDL's GL library, not preloaded: a preloaded library
// that catches dlsym breaks the sanitizers, whose runtimes look their own functions up with dlsym.
void Faults::BlockTheSwap(EnvChanges extra, const std::string &name) {
    const std::string trigger = TemporaryFile("block-swap");
    unlink(trigger.c_str());
    EnvChanges env = {{"SDL_OPENGL_LIBRARY", BLOCK_SWAP}};
    env.push_back({"BOXWALK_BLOCK_SWAP", trigger.c_str()});
    env.insert(env.end(), extra.begin(), extra.end());
    OpenFullscreenDrawing(env, name);
    if (HasFatalFailure()) {
        return;
    }
    // The next swap takes the file away and blocks.
    std::ofstream(trigger).put('\n');
    const bool blocked = WaitUntil([&trigger] { return access(trigger.c_str(), F_OK) != 0; });
    unlink(trigger.c_str());
    ASSERT_TRUE(blocked) << "no buffer swap in " << patience << " s";
}

// Waits for the program to end after `what`, which happened at `since`: within 2 s, and the
// display given back.
// The program has ended once none of its code runs any more; the kernel's taking back its memory
// after that depends on the machine's load alone (most of a second with every core busy, now and
// then several), so it is timed apart and only waited for.
void Faults::ExpectEndWithinTwoSecondsGivingTheModeBack(double since, const char *what) {
    const double stopped = SeenStopped(program, patience);
    const double took = (stopped > 0 ? stopped : Now()) - since;
    ASSERT_GT(stopped, 0) << "the program still runs " << patience << " s " << what
                          << "; stderr: " << ErrorOutput(program);
    const double gone = SeenReaped(program);
    ASSERT_GT(gone, 0) << "the ended program was still not gone " << patience << " s later";
    std::printf("the program ended %.2f s %s, gone %.2f s later, with status %d\n", took, what,
                gone - stopped, program.status);
    EXPECT_LE(took, 2.0) << "the program took " << took << " s to end " << what;
    ExpectStartMode(what);
}

// A frame loop that cannot turn takes no close request: the termination request still ends the
// program in good time, and gives the display back.
TEST_F(Faults, TerminationWhileTheBufferSwapNeverReturnsEndsWithinTwoSecondsGivingTheModeBack) {
    if (kind->underWine) {
        GTEST_SKIP() << "the swap is blocked by a library preloaded into the Linux program; "
                     << signalReason;
    }
    BlockTheSwap({}, "before-the-blocked-swap");
    if (HasFatalFailure()) {
        return;
    }
    ExpectStillRunning("with its buffer swap blocked");
    const double sent = Now();
    kill(program.pid, SIGTERM);
    ExpectEndWithinTwoSecondsGivingTheModeBack(sent, "after SIGTERM with the buffer swap blocked");
}

// An X error in a frame that never comes back: the program cannot act on it in its frame loop, and
// still ends in good time, says why, and gives the display back.
TEST_F(Faults, ErrorInAFrameThatNeverReturnsEndsWithinTwoSecondsSayingWhyAndGivingTheModeBack) {
    if (kind->underWine) {
        GTEST_SKIP() << "the swap is blocked by a library preloaded into the Linux program";
    }
    BlockTheSwap({{"BOXWALK_BLOCK_SWAP_AFTER_ERROR", "1"}}, "before-the-failed-frame");
    if (HasFatalFailure()) {
        return;
    }
    // Timed from the blocked swap as the test sees it, a few hundredths after the error.
    ExpectEndWithinTwoSecondsGivingTheModeBack(Now(), "after an X error in a frame that blocks");
    EXPECT_EQ(program.status, 1);
    const std::string errors = ErrorOutput(program);
    EXPECT_EQ(errors, "boxwalk: the display went away: the X server failed request 14.0 with "
                      "error 9 (BadDrawable)\n");
}

// The server takes the fullscreen window away under the running program (another client
// destroys it): the program ends in good time, says why, and gives the display back. Its next
// frame draws into a window that no longer exists, which the GL library may take seconds over.
TEST_F(Faults, FullscreenWindowTakenAwayEndsWithinTwoSecondsSayingWhyAndGivingTheModeBack) {
    if (kind->underWine) {
        GTEST_SKIP() << "Wine's X driver takes the loss of its X window silently: the program "
                        "runs on without a window, the display switched";
    }
    OpenFullscreenDrawing({}, "before-the-window-goes");
    if (HasFatalFailure()) {
        return;
    }
    const double destroyed = Now();
    TakeWindowAway(window);
    const bool ended = WaitForExit(program, patience);
    const double took = Now() - destroyed;
    ASSERT_TRUE(ended) << "the program still runs " << patience
                       << " s after its window was taken away; stderr: " << ErrorOutput(program);
    std::printf("the program ended %.2f s after its window was taken away, with status %d\n", took,
                program.status);
    EXPECT_LE(took, 2.0);
    EXPECT_EQ(program.status, 1);
    const std::string errors = ErrorOutput(program);
    EXPECT_EQ(errors.rfind("boxwalk: the display went away: the X server failed request ", 0), 0u)
        << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    ExpectStartMode("after the fullscreen window was taken away");
}

TEST_F(FaultsWithoutTheMode, YesFallsBackToTheWindowedWindowSayingWhy) {
    AnswerToWindowed(true);
    if (HasFatalFailure()) {
        return;
    }
    ExpectWindowedUntilEscape("mode-refused");
    ExpectFailureLine("ChangeDisplaySettingsA", "");
}

TEST_F(FaultsWithoutGlx, LinuxProgramAnsweredNoEndsWithStatusOneSayingWhichOperationFailedAndWhy) {
    if (kind->underWine) {
        GTEST_SKIP() << "Wine makes its window without GLX: see "
                        "WindowsProgramAnsweredNoRunsOnDrawingNothing";
    }
    const WindowId prompt = StartToPrompt();
    ASSERT_NE(prompt, 0u);
    Answer(prompt, false);
    ExpectExit(1, "without GLX");
    EXPECT_TRUE(FindWindows(expected::windowedTitle).empty()) << DescribeWindows();
    // The program's windows are OpenGL windows: without GLX the window is the first to fail.
    ExpectFailureLine("CreateWindowExA", "GLX");
}

TEST_F(FaultsWithoutGlx, WindowsProgramAnsweredNoRunsOnDrawingNothing) {
    if (!kind->underWine) {
        GTEST_SKIP() << "the Linux program cannot make its window without GLX: see "
                        "LinuxProgramAnsweredNoEndsWithStatusOneSayingWhichOperationFailedAndWhy";
    }
    AnswerToWindowed(false);
    if (HasFatalFailure()) {
        return;
    }
    ExpectStillRunning("without GLX");
    ExpectNothingDrawn("no-glx");
    EndWithEscape();
}

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv);
}
