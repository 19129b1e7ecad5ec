// Keyboards on Wayland that SDL does not expect, from on-screen keyboards and remote-input tools:
// one whose keys come before any modifiers event names a layout, and one that has sent no keymap.
// SDL then reads outside the keymap, or uses a keymap and state it never made, and the program
// ends (SDL 2.26 of Debian 12 and 2.32 of Debian 13 alike). The platform stands in for the three
// lookups SDL makes there: a layout the key lacks is read as its first, and a missing keymap or
// state is a keyboard without keys; the rest is the library's, at the version that SDL binds.
// This reaches an SDL that links libxkbcommon, as Debian's does; one that loads it itself (SDL's
// own default build) looks the lookups up in the library and never meets these, which
// CheckKeyboardMends says at start-up.
#include "platform.h"

#include <dlfcn.h>
#include <link.h>
#include <xkbcommon/xkbcommon.h>

#include <cstring>

namespace {

// The version of libxkbcommon's symbols that SDL is linked against.
const char *const xkbVersion = "V_0.5.0";

template <typename Function> Function Library(const char *name) {
    return reinterpret_cast<Function>(dlvsym(RTLD_NEXT, name, xkbVersion));
}

// Whether the loaded object is SDL and names libxkbcommon among the libraries it needs.
int NeedsXkbcommon(dl_phdr_info *info, size_t, void *found) {
    if (!std::strstr(info->dlpi_name, "libSDL2")) {
        return 0;
    }
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type != PT_DYNAMIC) {
            continue;
        }
        const auto *dynamic =
            reinterpret_cast<const ElfW(Dyn) *>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
        const char *strings = nullptr;
        for (const ElfW(Dyn) *entry = dynamic; entry->d_tag != DT_NULL; ++entry) {
            if (entry->d_tag == DT_STRTAB) {
                // The loader has relocated the address, or left it an offset in the object.
                const ElfW(Addr) address = entry->d_un.d_ptr;
                strings = reinterpret_cast<const char *>(
                    address < info->dlpi_addr ? info->dlpi_addr + address : address);
            }
        }
        for (const ElfW(Dyn) *entry = dynamic; strings && entry->d_tag != DT_NULL; ++entry) {
            if (entry->d_tag == DT_NEEDED &&
                std::strncmp(strings + entry->d_un.d_val, "libxkbcommon.so", 15) == 0) {
                *static_cast<bool *>(found) = true;
            }
        }
    }
    return 1;
}

} // namespace

void CheckKeyboardMends() {
    bool linked = false;
    dl_iterate_phdr(NeedsXkbcommon, &linked);
    if (!linked) {
        ReportFailure("SDL", "it loads libxkbcommon itself, so the platform's mend for keyboards "
                             "without a keymap or layout (on-screen keyboards, remote-input "
                             "tools) does not reach it; such a keyboard may end the program");
    }
}

extern "C" {

__attribute__((visibility("default"))) int
xkb_keymap_key_get_syms_by_level(xkb_keymap *keymap, xkb_keycode_t key, xkb_layout_index_t layout,
                                 xkb_level_index_t level, const xkb_keysym_t **symbols) {
    static const auto library = Library<decltype(&xkb_keymap_key_get_syms_by_level)>(__func__);
    const xkb_layout_index_t layouts = keymap ? xkb_keymap_num_layouts_for_key(keymap, key) : 0;
    if (!library || layouts == 0) {
        *symbols = nullptr;
        return 0;
    }
    return library(keymap, key, layout < layouts ? layout : 0, level, symbols);
}

__attribute__((visibility("default"))) void
xkb_keymap_key_for_each(xkb_keymap *keymap, xkb_keymap_key_iter_t iterate, void *data) {
    static const auto library = Library<decltype(&xkb_keymap_key_for_each)>(__func__);
    if (library && keymap) {
        library(keymap, iterate, data);
    }
}

__attribute__((visibility("default"))) xkb_state_component
xkb_state_update_mask(xkb_state *state, xkb_mod_mask_t depressed, xkb_mod_mask_t latched,
                      xkb_mod_mask_t locked, xkb_layout_index_t depressedLayout,
                      xkb_layout_index_t latchedLayout, xkb_layout_index_t lockedLayout) {
    static const auto library = Library<decltype(&xkb_state_update_mask)>(__func__);
    return library && state ? library(state, depressed, latched, locked, depressedLayout,
                                      latchedLayout, lockedLayout)
                            : xkb_state_component{};
}

} // extern "C"
