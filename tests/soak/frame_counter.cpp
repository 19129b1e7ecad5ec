// Preloaded into the Linux program: it counts every buffer swap, that is every frame the program
// shows, and the live heap bytes of the whole process, and publishes both at each swap in the
// record (frame_record.h) the test maps from the file named by BOXWALK_FRAME_COUNT.
//
// The heap is counted by taking the process's allocation functions in front of the C library's:
// each hands the work to the C library's own entry points (__libc_malloc and its kin, which call
// nothing back here) and adds or takes off the usable size of the block it hands out or takes
// back. The drivers allocate from several threads, so the count is atomic. What the count leaves
// out (memory mapped directly, the allocator's own free lists and holes) resident memory still
// shows, which the test reads as well.
//
// Built with BOXWALK_LEAK_PER_FRAME, each swap also keeps that many bytes for good: a program that
// leaks on every frame, for the soak to catch.
#include "frame_record.h"

#include <windows.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The C library's own allocation entry points, under its own names.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
void *__libc_malloc(std::size_t size);
void __libc_free(void *block);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *block, std::size_t size);
void *__libc_memalign(std::size_t alignment, std::size_t size);
void *__libc_valloc(std::size_t size);
void *__libc_pvalloc(std::size_t size);
}
// NOLINTEND(bugprone-reserved-identifier)

namespace {

// Usable bytes of the blocks now live. Constant-initialised: the allocation functions run before
// any constructor of this library does.
std::atomic<std::int64_t> liveBytes{0};

void *Counted(void *block) {
    if (block) {
        liveBytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(block)),
                            std::memory_order_relaxed);
    }
    return block;
}

void Uncount(void *block) {
    if (block) {
        liveBytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)),
                            std::memory_order_relaxed);
    }
}

// The record shared with the test through the file; null when no file was named or it could not
// be mapped, and then nothing is published.
FrameRecord *MappedRecord() {
    static FrameRecord *const record = []() -> FrameRecord * {
        const char *path = std::getenv("BOXWALK_FRAME_COUNT");
        const int file = path ? open(path, O_RDWR | O_CREAT, 0600) : -1;
        if (file < 0) {
            return nullptr;
        }
        void *mapped = MAP_FAILED;
        if (ftruncate(file, sizeof(FrameRecord)) == 0) {
            mapped =
                mmap(nullptr, sizeof(FrameRecord), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        }
        close(file);
        return mapped == MAP_FAILED ? nullptr : static_cast<FrameRecord *>(mapped);
    }();
    return record;
}

#ifdef BOXWALK_LEAK_PER_FRAME
// What each frame keeps: a chain, so that every block stays reachable and written to, and so
// resident.
struct Kept {
    Kept *previous;
    unsigned char rest[BOXWALK_LEAK_PER_FRAME - sizeof(void *)];
};
Kept *kept = nullptr;

void KeepSome() {
    if (Kept *block = static_cast<Kept *>(std::malloc(sizeof(Kept)))) {
        std::memset(block->rest, 0xa5, sizeof block->rest);
        block->previous = kept;
        kept = block;
    }
}
#else
void KeepSome() {}
#endif

} // namespace

extern "C" {

void *malloc(std::size_t size) noexcept {
    return Counted(__libc_malloc(size));
}

void free(void *block) noexcept {
    Uncount(block);
    __libc_free(block);
}

void *calloc(std::size_t count, std::size_t size) noexcept {
    return Counted(__libc_calloc(count, size));
}

void *realloc(void *block, std::size_t size) noexcept {
    const std::size_t before = block ? malloc_usable_size(block) : 0;
    void *moved = __libc_realloc(block, size);
    if (moved || size == 0) {
        // Moved, resized in place, or (with size 0) freed; on failure the block stays as it was.
        liveBytes.fetch_add(static_cast<std::int64_t>(moved ? malloc_usable_size(moved) : 0) -
                                static_cast<std::int64_t>(before),
                            std::memory_order_relaxed);
    }
    return moved;
}

void *reallocarray(void *block, std::size_t count, std::size_t size) noexcept {
    std::size_t bytes = 0;
    if (__builtin_mul_overflow(count, size, &bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(block, bytes);
}

void *memalign(std::size_t alignment, std::size_t size) noexcept {
    return Counted(__libc_memalign(alignment, size));
}

void *aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    return Counted(__libc_memalign(alignment, size));
}

int posix_memalign(void **block, std::size_t alignment, std::size_t size) noexcept {
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0 || alignment == 0) {
        return EINVAL;
    }
    void *aligned = Counted(__libc_memalign(alignment, size));
    if (!aligned) {
        return ENOMEM;
    }
    *block = aligned;
    return 0;
}

void *valloc(std::size_t size) noexcept {
    return Counted(__libc_valloc(size));
}

void *pvalloc(std::size_t size) noexcept {
    return Counted(__libc_pvalloc(size));
}

BOOL WINAPI SwapBuffers(HDC dc) {
    using Swap = BOOL(WINAPI *)(HDC);
    static const Swap swap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "SwapBuffers"));
    const BOOL swapped = swap(dc);
    if (swapped) {
        KeepSome();
        if (FrameRecord *record = MappedRecord()) {
            // The heap first, the count after it: a reader that catches the two mid-publication
            // pairs a count with the heap of the frame after it, one frame off, which moves no
            // trend.
            __atomic_store_n(&record->heapBytesAtSwap, liveBytes.load(std::memory_order_relaxed),
                             __ATOMIC_RELAXED);
            __atomic_add_fetch(&record->frames, 1, __ATOMIC_RELEASE);
        }
    }
    return swapped;
}

} // extern "C"
