// A run of the Linux program over many frames, judged on the memory it keeps: the live heap right
// after each frame, and the resident memory. How and why it is judged so: docs/testing.md.
#include "frame_record.h"
#include "program.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

// The program's heap settles within a few hundred frames; its resident memory within about five
// thousand, by a few hundred KiB.
const std::uint64_t warmUpFrames = 2000;
const std::uint64_t judgedFrames = 10000;
const std::uint64_t totalFrames = warmUpFrames + judgedFrames;
// Heap growth the judgement lets through, in bytes per frame: far above the floor's measured
// wobble, far below 72. Over the judged frames it is 20 000 bytes, as much as a 24-byte block (the
// smallest the allocator hands out) kept every twelve frames.
const double allowedHeapGrowthPerFrame = 2;
// How many readings, the reading itself and those after it, the floor of the heap is taken over:
// some 50 ms, while the driver's passing buffers are gone by the next reading.
const size_t floorReadings = 5;
// Rise of the resident size the judgement lets through, in KiB, over the judged frames: about 600
// bytes a frame, a 4 KiB page every seven frames.
const double allowedResidentRiseKiB = 6144;
// How long the frame count may stand still before the program counts as no longer drawing.
const double stallSeconds = 30;
const double pollSeconds = 0.01;

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

struct Sample {
    double frame;       // the latest frame shown at the reading
    double heapBytes;   // live heap right after that frame's swap
    double residentKiB; // resident memory at the reading
};

// The slope of the straight line fitted by least squares to the heap of `samples` over their
// frames; 0 when they do not spread over several frames.
double FittedGrowth(const std::vector<Sample> &samples) {
    const auto count = static_cast<double>(samples.size());
    double meanFrame = 0, meanBytes = 0;
    for (const Sample &sample : samples) {
        meanFrame += sample.frame / count;
        meanBytes += sample.heapBytes / count;
    }
    double covariance = 0, variance = 0;
    for (const Sample &sample : samples) {
        covariance += (sample.frame - meanFrame) * (sample.heapBytes - meanBytes);
        variance += (sample.frame - meanFrame) * (sample.frame - meanFrame);
    }
    return variance > 0 ? covariance / variance : 0;
}

// The samples with each heap reading lowered to the lowest of it and the next few.
std::vector<Sample> HeapFloor(std::vector<Sample> samples) {
    for (size_t i = 0; i < samples.size(); ++i) {
        for (size_t later = i + 1; later < std::min(samples.size(), i + floorReadings); ++later) {
            samples[i].heapBytes = std::min(samples[i].heapBytes, samples[later].heapBytes);
        }
    }
    return samples;
}

// The median resident size of samples [first, last).
double MedianResidentKiB(const std::vector<Sample> &samples, size_t first, size_t last) {
    std::vector<double> kiB;
    for (size_t i = first; i < last; ++i) {
        kiB.push_back(samples[i].residentKiB);
    }
    std::nth_element(kiB.begin(), kiB.begin() + static_cast<std::ptrdiff_t>(kiB.size() / 2),
                     kiB.end());
    return kiB[kiB.size() / 2];
}

struct Judgement {
    size_t samples = 0;
    double lowestHeap = 0, highestHeap = 0;
    double heapGrowthPerFrame = 0;
    double lowestKiB = 0, highestKiB = 0;
    double residentRiseKiB = 0;
    bool enough = false; // enough readings to say anything: too few are no pass
    bool heapFlat = false;
    bool residentFlat = false;

    std::string Describe() const {
        char text[400];
        std::snprintf(text, sizeof text,
                      "%zu readings; heap %.0f to %.0f bytes, its floor's fitted growth %+.4f "
                      "bytes a frame (allowed %.0f); resident %.0f to %.0f KiB, rising %+.0f KiB "
                      "from the first tenth to the last (allowed %.0f)",
                      samples, lowestHeap, highestHeap, heapGrowthPerFrame,
                      allowedHeapGrowthPerFrame, lowestKiB, highestKiB, residentRiseKiB,
                      allowedResidentRiseKiB);
        return text;
    }
};

// Judges the samples taken after warm-up.
Judgement Judge(const std::vector<Sample> &all) {
    std::vector<Sample> samples;
    std::copy_if(all.begin(), all.end(), std::back_inserter(samples), [](const Sample &sample) {
        return sample.frame > static_cast<double>(warmUpFrames);
    });
    Judgement judgement;
    judgement.samples = samples.size();
    if (samples.size() < 100) {
        return judgement;
    }
    judgement.enough = true;
    const auto heap =
        std::minmax_element(samples.begin(), samples.end(), [](const Sample &a, const Sample &b) {
            return a.heapBytes < b.heapBytes;
        });
    judgement.lowestHeap = heap.first->heapBytes;
    judgement.highestHeap = heap.second->heapBytes;
    const auto resident =
        std::minmax_element(samples.begin(), samples.end(), [](const Sample &a, const Sample &b) {
            return a.residentKiB < b.residentKiB;
        });
    judgement.lowestKiB = resident.first->residentKiB;
    judgement.highestKiB = resident.second->residentKiB;

    judgement.heapGrowthPerFrame = FittedGrowth(HeapFloor(samples));
    judgement.heapFlat = judgement.heapGrowthPerFrame < allowedHeapGrowthPerFrame;
    const size_t tenth = samples.size() / 10;
    judgement.residentRiseKiB = MedianResidentKiB(samples, samples.size() - tenth, samples.size()) -
                                MedianResidentKiB(samples, 0, tenth);
    judgement.residentFlat = judgement.residentRiseKiB < allowedResidentRiseKiB;
    return judgement;
}

class BoxwalkSoak : public Boxwalk {
  protected:
    std::string recordDirectory;
    std::string recordFile;
    const FrameRecord *record = nullptr;
    std::string preload;

    // Creates the record the preloaded library writes, and maps it for reading.
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
        recordDirectory = directory;
        recordFile = recordDirectory + "/frames";
        const int file = open(recordFile.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(file, 0);
        void *mapped = MAP_FAILED;
        if (ftruncate(file, sizeof(FrameRecord)) == 0) {
            mapped = mmap(nullptr, sizeof(FrameRecord), PROT_READ, MAP_SHARED, file, 0);
        }
        close(file);
        ASSERT_NE(mapped, MAP_FAILED);
        record = static_cast<const FrameRecord *>(mapped);
    }

    void TearDown() override {
        Boxwalk::TearDown();
        if (record) {
            munmap(const_cast<FrameRecord *>(record), sizeof(FrameRecord));
        }
        if (!recordDirectory.empty()) {
            RunCommand({"/bin/rm", "-rf", recordDirectory}, {}, 30);
        }
    }

    std::uint64_t FramesSoFar() const {
        return __atomic_load_n(&record->frames, __ATOMIC_ACQUIRE);
    }

    // The frames shown so far and the heap right after the latest, read again while a swap came
    // between the two.
    std::pair<std::uint64_t, std::int64_t> FramesAndHeap() const {
        for (;;) {
            const std::uint64_t frames = FramesSoFar();
            const std::int64_t heap = __atomic_load_n(&record->heapBytesAtSwap, __ATOMIC_ACQUIRE);
            if (FramesSoFar() == frames) {
                return {frames, heap};
            }
        }
    }

    // Starts the program with `library` preloaded to count its frames and heap, answers No, and
    // waits for its window.
    void StartCounted(const char *library) {
        const char *already = getenv("LD_PRELOAD");
        preload = already && *already ? std::string(library) + ":" + already : library;
        const WindowId prompt = StartToPrompt(
            {{"LD_PRELOAD", preload.c_str()}, {"BOXWALK_FRAME_COUNT", recordFile.c_str()}});
        ASSERT_NE(prompt, 0u);
        Answer(prompt, false);
        WaitForWindowed();
    }

    // Waits until `frames` frames have been shown, taking a sample at every poll; false if the
    // program stopped drawing or ended.
    bool WaitForFrames(std::uint64_t frames, std::vector<Sample> &samples) {
        std::uint64_t last = 0;
        double lastChange = Now();
        for (;;) {
            const auto [now, heap] = FramesAndHeap();
            if (now >= frames) {
                return true;
            }
            if (now != last) {
                last = now;
                lastChange = Now();
            }
            if (!Running(program) || Now() - lastChange > stallSeconds) {
                return false;
            }
            const long resident = ResidentKiB(program.pid);
            if (now > 0 && resident > 0) {
                samples.push_back({static_cast<double>(now), static_cast<double>(heap),
                                   static_cast<double>(resident)});
            }
            SleepSeconds(pollSeconds);
        }
    }

    // Writes the samples as "frame,bytes,KiB" lines next to the screenshots, for a look at the
    // run.
    static void Record(const std::vector<Sample> &samples, const std::string &name) {
        std::ofstream file(shotDirectory + "/" + kind->name + "-" + name + ".csv");
        file << "frame,heap bytes,resident KiB\n";
        for (const Sample &sample : samples) {
            file << static_cast<long long>(sample.frame) << ','
                 << static_cast<long long>(sample.heapBytes) << ','
                 << static_cast<long long>(sample.residentKiB) << '\n';
        }
    }

    // Runs the program with `library` preloaded to `totalFrames` frames and judges its memory
    // after warm-up; the samples are recorded as `name`.
    Judgement Soak(const char *library, const std::string &name) {
        StartCounted(library);
        std::vector<Sample> samples;
        const double started = Now();
        EXPECT_TRUE(WaitForFrames(totalFrames, samples))
            << "the program stopped drawing after " << FramesSoFar() << " frames";
        const double seconds = Now() - started;
        Record(samples, name);
        const Judgement judgement = Judge(samples);
        const auto frames = static_cast<double>(FramesSoFar());
        std::printf("%.0f frames in %.1f s (%.0f a second); %s\n", frames, seconds,
                    frames / seconds, judgement.Describe().c_str());
        EXPECT_TRUE(judgement.enough) << judgement.Describe();
        return judgement;
    }
};

TEST_F(BoxwalkSoak, MemoryStaysFlatFrameAfterFrame) {
    const Judgement judgement = Soak(FRAME_COUNTER, "soak-memory");
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(judgement.heapFlat) << judgement.Describe();
    EXPECT_TRUE(judgement.residentFlat) << judgement.Describe();

    // Still the program it was: the figure where the geometry puts it, and a clean end.
    scene.projectionWidth = expected::windowedWidth;
    scene.projectionHeight = expected::windowedHeight;
    ExpectFigureInPlace("soak");
    FocusWindow(window);
    TypeText("\x1b");
    ExpectExitZero("after Escape");
}

// The same run and judgement on a program that keeps 64 bytes on every frame: the heap judgement
// rejects it.
TEST_F(BoxwalkSoak, LeakOfSixtyFourBytesAFrameIsCaught) {
    const Judgement judgement = Soak(LEAK_PER_FRAME, "soak-leak-memory");
    ASSERT_FALSE(HasFailure());
    EXPECT_FALSE(judgement.heapFlat) << judgement.Describe();
}

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv);
}
