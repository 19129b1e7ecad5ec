#include "x_server.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <memory>
#include <sstream>
#include <utility>

namespace {

using Keymap = std::unique_ptr<XkbDescRec, void (*)(XkbDescPtr)>;

// The keymap in force now, read from the server (the connection's own copy may lag behind a
// change of layout).
Keymap CurrentKeymap() {
    Display *display = TestConnection();
    return Keymap(display
                      ? XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask,
                                  XkbUseCoreKbd)
                      : nullptr,
                  [](XkbDescPtr keymap) { XkbFreeKeyboard(keymap, 0, True); });
}

// The symbol at `level` of the key in `group` (a group the key lacks wraps round, as XKB does);
// NoSymbol where the key has no such level.
KeySym SymbolAt(XkbDescPtr keymap, int code, int group, int level) {
    const int groups = XkbKeyNumGroups(keymap, code);
    if (groups == 0 || level >= XkbKeyGroupWidth(keymap, code, group % groups)) {
        return NoSymbol;
    }
    return XkbKeySymEntry(keymap, code, level, group % groups);
}

// Keys that set a modifier while they are held, as a user holds Shift or AltGr; not the locks,
// nor the group switch.
bool HeldModifier(KeySym symbol) {
    switch (symbol) {
    case XK_Shift_L:
    case XK_Shift_R:
    case XK_Control_L:
    case XK_Control_R:
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
    case XK_Super_L:
    case XK_Super_R:
    case XK_Hyper_L:
    case XK_Hyper_R:
    case XK_ISO_Level3_Shift:
    case XK_ISO_Level5_Shift:
        return true;
    default:
        return false;
    }
}

// A key press that types one symbol: the key, and the modifier keys held around it, each with
// the modifier it sets.
struct Stroke {
    KeyCode key = 0;
    std::vector<std::pair<KeyCode, unsigned>> modifiers;
};

// Adds to `stroke` the modifier keys that give `mask` while held; false when a modifier in it has
// none (as a lock has none).
bool HoldModifiers(XkbDescPtr keymap, unsigned mask, Stroke &stroke) {
    for (unsigned bit = 1; bit <= Mod5Mask; bit <<= 1) {
        if (!(mask & bit)) {
            continue;
        }
        KeyCode key = 0;
        for (int code = keymap->min_key_code; code <= keymap->max_key_code && !key; ++code) {
            if ((keymap->map->modmap[code] & bit) && HeldModifier(SymbolAt(keymap, code, 0, 0))) {
                key = static_cast<KeyCode>(code);
            }
        }
        if (key == 0) {
            return false;
        }
        stroke.modifiers.emplace_back(key, bit);
    }
    return true;
}

// The stroke with the fewest modifiers that types `symbol` in `group`; false when no key can.
bool FindStroke(XkbDescPtr keymap, int group, KeySym symbol, Stroke &found) {
    bool any = false;
    for (int code = keymap->min_key_code; symbol != NoSymbol && code <= keymap->max_key_code;
         ++code) {
        const int groups = XkbKeyNumGroups(keymap, code);
        const XkbKeyTypePtr type = groups ? XkbKeyKeyType(keymap, code, group % groups) : nullptr;
        for (int level = 0; type && level < type->num_levels; ++level) {
            if (SymbolAt(keymap, code, group, level) != symbol) {
                continue;
            }
            // Level 0 takes no modifier; every other level is reached by the type's entries.
            std::vector<unsigned> masks;
            if (level == 0) {
                masks.push_back(0);
            }
            for (int i = 0; i < type->map_count; ++i) {
                if (type->map[i].active && type->map[i].level == level) {
                    masks.push_back(type->map[i].mods.mask);
                }
            }
            for (unsigned mask : masks) {
                Stroke stroke;
                stroke.key = static_cast<KeyCode>(code);
                if (HoldModifiers(keymap, mask, stroke) &&
                    (!any || stroke.modifiers.size() < found.modifiers.size())) {
                    found = stroke;
                    any = true;
                }
            }
        }
    }
    return any;
}

KeySym SymbolOf(char c) {
    switch (c) {
    case '\r':
        return XK_Return;
    case '\x1b':
        return XK_Escape;
    case '\t':
        return XK_Tab;
    default:
        return static_cast<unsigned char>(c); // Latin-1 characters are their own keysyms
    }
}

// One key event on its way to the server: the key, pressed or released, and the modifiers held.
using KeyEvent = std::function<void(KeyCode, bool, unsigned)>;

// Key events as the keyboard makes them, through XTest; each sent at once where `flush`.
KeyEvent ThroughXTest(bool flush) {
    return [flush](KeyCode key, bool down, unsigned) {
        XTestFakeKeyEvent(TestConnection(), key, down, CurrentTime);
        if (flush) {
            XSync(TestConnection(), False);
        }
    };
}

// Key events sent to `window`, with the modifiers held in their state: a client that keeps its
// own keyboard state (Wine) learns of them from their keys' events, one that reads the event's
// state (SDL) from the state.
KeyEvent SentTo(Window window) {
    return [window](KeyCode key, bool down, unsigned state) {
        Display *display = TestConnection();
        XEvent event{};
        event.xkey.type = down ? KeyPress : KeyRelease;
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.subwindow = None;
        event.xkey.time = CurrentTime;
        event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 1;
        event.xkey.state = state;
        event.xkey.keycode = key;
        event.xkey.same_screen = True;
        XSendEvent(display, window, True, down ? KeyPressMask : KeyReleaseMask, &event);
    };
}

// Presses the modifiers, presses the key and releases it `hold` seconds later, then releases the
// modifiers, last pressed first.
void Strike(const Stroke &stroke, const KeyEvent &event, double hold = 0) {
    unsigned state = 0;
    for (const auto &modifier : stroke.modifiers) {
        event(modifier.first, true, state);
        state |= modifier.second;
    }
    event(stroke.key, true, state);
    if (hold > 0) {
        SleepSeconds(hold);
    }
    event(stroke.key, false, state);
    for (auto modifier = stroke.modifiers.rbegin(); modifier != stroke.modifiers.rend();
         ++modifier) {
        event(modifier->first, false, state);
        state &= ~modifier->second;
    }
}

// Types `symbols` as the layout in force lays them out, by `event`; false, and nothing typed,
// where one is on no key that can be reached without a lock.
bool Type(const std::vector<KeySym> &symbols, const KeyEvent &event, double hold = 0) {
    Display *display = TestConnection();
    const Keymap keymap = CurrentKeymap();
    XkbStateRec state{};
    if (!keymap || XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
        return false;
    }
    std::vector<Stroke> strokes(symbols.size());
    for (size_t i = 0; i < symbols.size(); ++i) {
        if (!FindStroke(keymap.get(), state.group, symbols[i], strokes[i])) {
            return false;
        }
    }
    for (const Stroke &stroke : strokes) {
        Strike(stroke, event, hold);
    }
    XSync(display, False);
    return true;
}

std::vector<KeySym> SymbolsOf(const std::string &text) {
    std::vector<KeySym> symbols;
    for (char c : text) {
        symbols.push_back(SymbolOf(c));
    }
    return symbols;
}

// Presses every key of the keyboard once plain and once with Shift, by `event`, except the
// modifier and lock keys and those that give Escape; returns the text the presses type.
std::string EveryKey(const KeyEvent &event) {
    Display *display = TestConnection();
    const Keymap keymap = CurrentKeymap();
    Stroke shift;
    if (!keymap || !HoldModifiers(keymap.get(), ShiftMask, shift)) {
        return std::string();
    }
    std::string typed;
    for (const bool shifted : {false, true}) {
        for (int code = keymap->min_key_code; code <= keymap->max_key_code; ++code) {
            const KeySym plain = SymbolAt(keymap.get(), code, 0, 0);
            const KeySym upper = SymbolAt(keymap.get(), code, 0, 1);
            if (IsModifierKey(plain) || IsModifierKey(upper) || plain == XK_Escape ||
                upper == XK_Escape || plain == XK_Caps_Lock || plain == XK_Num_Lock ||
                plain == XK_Scroll_Lock) {
                continue;
            }
            // What a client reads from the press: the same lookup it makes.
            XKeyEvent press{};
            press.type = KeyPress;
            press.display = display;
            press.keycode = static_cast<unsigned>(code);
            press.state = shifted ? ShiftMask : 0;
            char text[16];
            const int length = XLookupString(&press, text, sizeof text, nullptr, nullptr);
            typed.append(text, length > 0 ? length : 0);
            Stroke stroke = shifted ? shift : Stroke{};
            stroke.key = static_cast<KeyCode>(code);
            Strike(stroke, event);
        }
        XSync(display, False);
    }
    return typed;
}

} // namespace

bool TypeAsLaidOut(const std::string &text) {
    return Type(SymbolsOf(text), ThroughXTest(false));
}

void TypeText(const std::string &text) {
    TypeAsLaidOut(text);
}

void SendText(Window window, const std::string &text) {
    Type(SymbolsOf(text), SentTo(window));
}

void TypeKey(const char *keysymName) {
    HoldKey(keysymName, 0);
}

void HoldKey(const char *keysymName, int milliseconds) {
    Type({XStringToKeysym(keysymName)}, ThroughXTest(true), milliseconds / 1000.0);
}

std::string PressEveryKey() {
    return EveryKey(ThroughXTest(false));
}

std::string SendEveryKey(Window window) {
    return EveryKey(SentTo(window));
}

std::string TypeIntoOwnWindow(const std::string &text, double seconds) {
    Display *display = TestConnection();
    if (!display) {
        return std::string();
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 200, 0, 0, 0);
    XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
    XMapRaised(display, window);
    const double deadline = Now() + seconds;
    WaitUntil([window] { return WindowViewable(window); }, seconds);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    std::string typed;
    if (TypeAsLaidOut(text)) {
        // The connection reads the presses with the keymap in force: Xlib takes the server's
        // note of a new layout, which comes before them, and reads the layout again.
        WaitUntil(
            [&] {
                TakeEvents([&typed](XEvent &event) {
                    char chars[16];
                    const int length =
                        event.type == KeyPress
                            ? XLookupString(&event.xkey, chars, sizeof chars, nullptr, nullptr)
                            : 0;
                    typed.append(chars, length > 0 ? static_cast<size_t>(length) : 0);
                });
                return typed.size() >= text.size();
            },
            deadline - Now());
    }
    XDestroyWindow(display, window);
    XSync(display, False);
    return typed;
}

std::vector<std::string> KeyboardNames() {
    std::vector<std::string> names;
    if (!TestConnection()) {
        return names;
    }
    ReadProperty(DefaultRootWindow(TestConnection()), "_XKB_RULES_NAMES", XA_STRING, 1024,
                 [&names](const unsigned char *data, int, unsigned long count) {
                     std::istringstream parts(
                         std::string(reinterpret_cast<const char *>(data), count));
                     std::string part;
                     while (std::getline(parts, part, '\0')) {
                         names.push_back(part);
                     }
                 });
    return names;
}
