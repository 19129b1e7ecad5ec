// A long run of the Linux program: 100 000 frames, counted exactly by a library preloaded into
// the program that counts its buffer swaps, with the resident memory read from /proc twenty times
// a second throughout. Nothing the program does per frame may keep memory.
//
// Two readings prove nothing either way: the allocator's pools and the driver's caches breathe by
// about a mebibyte from moment to moment, and the heap's resident size grows in steps of up to
// 2 MiB at a time. The judgement is made on the trend of all the readings after warm-up: the
// straight line fitted to them by least squares, its slope scaled to 100 000 frames. A breath or
// a few odd readings hardly tilt a line fitted to well over a thousand readings, and steps tilt it
// by about what they add; memory kept on every frame tilts it steadily. The same judgement is made
// on the same program preloaded with a library that keeps 64 bytes on every frame, and must reject
// it.
#include "program.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

const std::uint64_t totalFrames = 100000;
const std::uint64_t warmUpFrames = 10000;
// Growth per 100 000 frames the judgement lets through, about 31 bytes a frame. The program's
// breathing tilts the line by a few tens of KiB. 64 bytes a frame (80 with the allocator's
// header, less the holes the heap already had) tilts it by about 7 000.
const double allowedGrowthKiB = 3072;
// How long the frame count may stand still before the program counts as no longer drawing.
const double stallSeconds = 30;

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

// Frames shown so far, as the preloaded counter records them in `file`.
std::uint64_t FramesSoFar(const std::string &file) {
    std::uint64_t count = 0;
    std::ifstream record(file, std::ios::binary);
    record.read(reinterpret_cast<char *>(&count), sizeof count);
    return record ? count : 0;
}

struct Sample {
    double frame;
    double residentKiB;
};

struct Trend {
    size_t samples;
    double lowestKiB, highestKiB;
    double growthKiB; // slope of the fitted line, per 100 000 frames
    bool flat;        // what the judgement says
    std::string Describe() const {
        char text[200];
        std::snprintf(text, sizeof text,
                      "%zu samples from %.0f to %.0f KiB, fitted growth %+.0f KiB per 100 000 "
                      "frames (allowed %.0f)",
                      samples, lowestKiB, highestKiB, growthKiB, allowedGrowthKiB);
        return text;
    }
};

// Judges memory samples taken after warm-up.
Trend JudgeTrend(const std::vector<Sample> &samples) {
    Trend trend{samples.size(), 0, 0, 0, false};
    const auto count = static_cast<double>(samples.size());
    double meanFrame = 0, meanKiB = 0;
    for (const Sample &sample : samples) {
        meanFrame += sample.frame / count;
        meanKiB += sample.residentKiB / count;
    }
    double covariance = 0, variance = 0;
    trend.lowestKiB = trend.highestKiB = samples.empty() ? 0 : samples.front().residentKiB;
    for (const Sample &sample : samples) {
        covariance += (sample.frame - meanFrame) * (sample.residentKiB - meanKiB);
        variance += (sample.frame - meanFrame) * (sample.frame - meanFrame);
        trend.lowestKiB = std::min(trend.lowestKiB, sample.residentKiB);
        trend.highestKiB = std::max(trend.highestKiB, sample.residentKiB);
    }
    // Too few samples, or all at one frame, say nothing: that is no pass.
    if (samples.size() < 100 || variance <= 0) {
        return trend;
    }
    trend.growthKiB = covariance / variance * 100000;
    trend.flat = trend.growthKiB < allowedGrowthKiB;
    return trend;
}

class BoxwalkSoak : public Boxwalk {
  protected:
    std::string countDirectory, countFile;
    std::string preload;

    void SetUp() override {
        Boxwalk::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        if (kind->underWine) {
            GTEST_SKIP() << "the long run is the Linux program's";
        }
        char directory[] = "/tmp/boxwalk-soak-XXXXXX";
        ASSERT_NE(mkdtemp(directory), nullptr);
        countDirectory = directory;
        countFile = countDirectory + "/frames";
    }

    void TearDown() override {
        Boxwalk::TearDown();
        if (!countDirectory.empty()) {
            RunCommand({"/bin/rm", "-rf", countDirectory}, {}, 30);
        }
    }

    // Starts the program with `library` preloaded to count its frames, answers No, and waits for
    // its window.
    void StartCounted(const char *library) {
        const char *already = getenv("LD_PRELOAD");
        preload = already && *already ? std::string(library) + ":" + already : library;
        const WindowId prompt = StartToPrompt(
            {{"LD_PRELOAD", preload.c_str()}, {"BOXWALK_FRAME_COUNT", countFile.c_str()}});
        ASSERT_NE(prompt, 0u);
        Answer(prompt, false);
        WaitForWindowed();
    }

    // Waits until `frames` frames have been shown; false if the program stopped drawing or ended.
    // With `samples`, notes the frame count and resident memory at every poll.
    bool WaitForFrames(std::uint64_t frames, std::vector<Sample> *samples = nullptr) {
        std::uint64_t last = 0;
        double lastChange = Now();
        for (std::uint64_t now = FramesSoFar(countFile); now < frames;
             now = FramesSoFar(countFile)) {
            if (now != last) {
                last = now;
                lastChange = Now();
            }
            if (!Running(program) || Now() - lastChange > stallSeconds) {
                return false;
            }
            if (samples) {
                const long resident = ResidentKiB(program.pid);
                if (resident > 0) {
                    samples->push_back({static_cast<double>(now), static_cast<double>(resident)});
                }
            }
            SleepSeconds(0.05);
        }
        return true;
    }

    // Writes the samples as "frame,KiB" lines next to the screenshots, for a look at the run.
    static void Record(const std::vector<Sample> &samples, const std::string &name) {
        std::ofstream file(shotDirectory + "/" + kind->name + "-" + name + ".csv");
        file << "frame,resident KiB\n";
        for (const Sample &sample : samples) {
            file << sample.frame << ',' << sample.residentKiB << '\n';
        }
    }

    // Runs the program to `totalFrames` frames and judges its memory after warm-up; the samples
    // are recorded as `name`.
    Trend Soak(const char *library, const std::string &name) {
        StartCounted(library);
        std::vector<Sample> samples;
        const double started = Now();
        EXPECT_TRUE(WaitForFrames(warmUpFrames)) << "the program stopped drawing during warm-up";
        const double warmAt = Now();
        EXPECT_TRUE(WaitForFrames(totalFrames, &samples))
            << "the program stopped drawing after " << FramesSoFar(countFile) << " frames";
        Record(samples, name);
        const Trend trend = JudgeTrend(samples);
        const auto frames = static_cast<double>(FramesSoFar(countFile));
        const auto afterWarmUp = frames - static_cast<double>(warmUpFrames);
        std::printf("%.0f frames in %.0f s (%.0f per second after warm-up); %s\n", frames,
                    Now() - started, afterWarmUp / (Now() - warmAt), trend.Describe().c_str());
        return trend;
    }
};

TEST_F(BoxwalkSoak, MemoryStaysFlatOverAHundredThousandFrames) {
    const Trend trend = Soak(FRAME_COUNTER, "soak-memory");
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(trend.flat) << trend.Describe();

    // Still the program it was: the figure where the geometry puts it, and a clean end.
    scene.projectionWidth = scene.projectionHeight = 400;
    ExpectFigureInPlace("soak");
    FocusWindow(window);
    TypeText("\x1b");
    ExpectExitZero("after Escape");
}

// The same run and judgement on a program that keeps 64 bytes on every frame: the judgement
// rejects it.
TEST_F(BoxwalkSoak, LeakOfSixtyFourBytesAFrameIsCaught) {
    const Trend trend = Soak(LEAK_PER_FRAME, "soak-leak-memory");
    ASSERT_FALSE(HasFailure());
    EXPECT_FALSE(trend.flat) << trend.Describe();
}

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv);
}
