// Keyboards on Wayland that SDL does not expect, from on-screen keyboards and remote-input tools:
// one whose keys come before any modifiers event names a layout, and one that has sent no keymap.
// SDL then reads outside the keymap, or uses a keymap and state it never made, and the program
// ends. The platform stands in for the three lookups SDL makes: a layout the key lacks is read as
// its first, and a missing keymap or state is a keyboard without keys; the rest is the library's.
#include <dlfcn.h>
#include <xkbcommon/xkbcommon.h>

namespace {

template <typename Function> Function Library(const char *name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

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
