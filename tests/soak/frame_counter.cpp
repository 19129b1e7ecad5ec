// Preloaded into the Linux program: every buffer swap, that is every frame the program shows, is
// counted in the file named by BOXWALK_FRAME_COUNT (a native 64-bit count, written in place, that
// the test reads while the program runs). Built with BOXWALK_LEAK_PER_FRAME, each swap also keeps
// that many bytes for good: a program that leaks on every frame, for the soak to catch.
#include <windows.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The count, shared with the test through the file; null when no file was named or it could not
// be mapped, and then nothing is counted.
std::uint64_t *MappedCount() {
    static std::uint64_t *const count = []() -> std::uint64_t * {
        const char *path = std::getenv("BOXWALK_FRAME_COUNT");
        const int file = path ? open(path, O_RDWR | O_CREAT, 0600) : -1;
        if (file < 0) {
            return nullptr;
        }
        void *mapped = nullptr;
        if (ftruncate(file, sizeof(std::uint64_t)) == 0) {
            mapped =
                mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        }
        close(file);
        return mapped == MAP_FAILED ? nullptr : static_cast<std::uint64_t *>(mapped);
    }();
    return count;
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

extern "C" BOOL WINAPI SwapBuffers(HDC dc) {
    using Swap = BOOL(WINAPI *)(HDC);
    static const Swap swap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "SwapBuffers"));
    const BOOL swapped = swap(dc);
    if (swapped) {
        KeepSome();
        if (std::uint64_t *count = MappedCount()) {
            __atomic_add_fetch(count, 1, __ATOMIC_RELAXED);
        }
    }
    return swapped;
}
