// A long run of the Linux program: 100 000 frames, counted from outside by Mesa's frame-rate
// record, with the resident memory read from /proc before and after. Nothing the program does per
// frame may keep memory.
#include "program.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

const double totalFrames = 100000;
const double warmUpFrames = 10000;
const long allowedGrowthKiB = 1024;

// Resident memory of a process, in KiB; -1 once it is gone.
long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Frames drawn so far: Mesa writes one frame rate per period of a second.
double FramesSoFar(const std::string &directory) {
    std::ifstream record(directory + "/fps");
    double frames = 0, rate = 0;
    while (record >> rate) {
        frames += rate;
    }
    return frames;
}

class BoxwalkSoak : public Boxwalk {
  protected:
    std::string hudDirectory;

    void SetUp() override {
        Boxwalk::SetUp();
        if (HasFatalFailure() || kind->underWine) {
            return;
        }
        char directory[] = "/tmp/boxwalk-soak-XXXXXX";
        ASSERT_NE(mkdtemp(directory), nullptr);
        hudDirectory = directory;
        const WindowId prompt = StartToPrompt({{"GALLIUM_HUD", "fps"},
                                               {"GALLIUM_HUD_VISIBLE", "false"},
                                               {"GALLIUM_HUD_PERIOD", "1"},
                                               {"GALLIUM_HUD_DUMP_DIR", hudDirectory.c_str()}});
        ASSERT_NE(prompt, 0u);
        Answer(prompt, false);
        WaitForWindowed();
    }

    void TearDown() override {
        Boxwalk::TearDown();
        if (!hudDirectory.empty()) {
            RunCommand({"/bin/rm", "-rf", hudDirectory}, {}, 30);
        }
    }

    // Waits until `frames` frames have been drawn; false if the program stopped drawing or ended.
    bool WaitForFrames(double frames) {
        double last = -1, lastChange = Now();
        while (FramesSoFar(hudDirectory) < frames) {
            const double now = FramesSoFar(hudDirectory);
            if (now != last) {
                last = now;
                lastChange = Now();
            }
            if (!Running(program) || Now() - lastChange > 10) {
                return false;
            }
            SleepSeconds(0.5);
        }
        return true;
    }
};

TEST_F(BoxwalkSoak, MemoryStaysFlatOverAHundredThousandFrames) {
    if (kind->underWine) {
        GTEST_SKIP() << "the long run is the Linux program's";
    }
    const double started = Now();
    ASSERT_TRUE(WaitForFrames(warmUpFrames)) << "the program stopped drawing during warm-up";
    const long warm = ResidentKiB(program.pid);
    long highest = warm;
    const double warmAt = Now();
    while (FramesSoFar(hudDirectory) < totalFrames) {
        ASSERT_TRUE(WaitForFrames(FramesSoFar(hudDirectory) + 1000))
            << "the program stopped drawing after " << FramesSoFar(hudDirectory) << " frames";
        highest = std::max(highest, ResidentKiB(program.pid));
    }
    const long last = ResidentKiB(program.pid);
    const double frames = FramesSoFar(hudDirectory);
    std::printf("%.0f frames in %.0f s (%.0f per second after warm-up); resident %ld KiB after "
                "warm-up, %ld KiB at the end, %ld KiB at most\n",
                frames, Now() - started, (frames - warmUpFrames) / (Now() - warmAt), warm, last,
                highest);
    // The allocator's pools breathe from frame to frame; what counts is what stays.
    EXPECT_LT(last - warm, allowedGrowthKiB);

    // Still the program it was: the figure where the geometry puts it, and a clean end.
    scene.projectionWidth = scene.projectionHeight = 400;
    ExpectFigureInPlace("soak");
    FocusWindow(window);
    TypeText("\x1b");
    ExpectExitZero("after Escape");
}

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv);
}
