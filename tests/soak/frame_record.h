// What the library preloaded into the program publishes to the soak test: a record in the file
// named by BOXWALK_FRAME_COUNT, which the test creates and both map shared. The program's drawing
// thread writes it at every buffer swap; the test reads it while the program runs.
#pragma once

#include <cstdint>

struct FrameRecord {
    // Buffer swaps so far: the frames the program has shown.
    std::uint64_t frames;
    // Live heap bytes of the whole process, every thread's, right after the latest swap: the
    // usable size of every block handed out and not yet given back. Taken at the same point of
    // the frame loop each time, when the frame's own allocations are done with.
    std::int64_t heapBytesAtSwap;
};
