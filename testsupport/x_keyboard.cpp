#include "x_server.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <sstream>
#include <utility>

namespace {

using Keymap = std::unique_ptr<XkbDescRec, void (*)(XkbDescPtr)>;

// The keymap in force now, read from the server (the connection's own copy may lag behind a
// change of layout).
Keymap CurrentKeymap() {
    return Keymap(XkbGetMap(TestConnection(), XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask,
                            XkbUseCoreKbd),
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
    const KeySym held[] = {
        XK_Shift_L, XK_Shift_R, XK_Control_L,        XK_Control_R,       XK_Alt_L,
        XK_Alt_R,   XK_Meta_L,  XK_Meta_R,           XK_Super_L,         XK_Super_R,
        XK_Hyper_L, XK_Hyper_R, XK_ISO_Level3_Shift, XK_ISO_Level5_Shift};
    return std::find(std::begin(held), std::end(held), symbol) != std::end(held);
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
            // Level 0 takes no modifier (entry -1); every other level is reached by the type's
            // entries.
            for (int i = -1; i < type->map_count; ++i) {
                const XkbKTMapEntryRec *entry = i < 0 ? nullptr : &type->map[i];
                Stroke stroke{static_cast<KeyCode>(code), {}};
                if (SymbolAt(keymap, code, group, level) == symbol &&
                    (entry ? entry->active && entry->level == level : level == 0) &&
                    HoldModifiers(keymap, entry ? entry->mods.mask : 0, stroke) &&
                    (!any || stroke.modifiers.size() < found.modifiers.size())) {
                    found = stroke;
                    any = true;
                }
            }
        }
    }
    return any;
}

// Adds what an X client reads from the key press `press` (XLookupString) to `typed`.
void AppendLookup(XKeyEvent &press, std::string &typed) {
    char text[16];
    const int length = XLookupString(&press, text, sizeof text, nullptr, nullptr);
    typed.append(text, length > 0 ? static_cast<size_t>(length) : 0);
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

// The keysyms of `text`: "\r" is Return, "\x1b" Escape, "\t" Tab, and Latin-1 characters are
// their own.
std::vector<KeySym> SymbolsOf(const std::string &text) {
    std::vector<KeySym> symbols;
    for (const char c : text) {
        symbols.push_back(c == '\r'     ? XK_Return
                          : c == '\x1b' ? XK_Escape
                          : c == '\t'   ? XK_Tab
                                        : static_cast<unsigned char>(c));
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
            AppendLookup(press, typed);
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
    if (OnSwayDesktop()) {
        SwayCommand(window, "focus"); // wtype types into the focused window
        return SwayType(text);
    }
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
    if (OnSwayDesktop()) { // every printable character: wtype lays out a keyboard of its own
        std::string every;
        for (char c = ' '; c <= '~'; ++c) {
            every += c;
        }
        SendText(window, every);
        return every;
    }
    return EveryKey(SentTo(window));
}

std::string TypeIntoOwnWindow(const std::string &text, double seconds) {
    Display *display = TestConnection();
    const double deadline = Now() + seconds;
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 200, 0, 0, 0);
    XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
    XMapRaised(display, window);
    WaitUntil([window] { return WindowViewable(window); }, seconds);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    // The presses are read with the keymap in force: the server's note of a new layout comes
    // before them, and Xlib reads the layout again on it.
    std::string typed;
    const auto read = [&typed](XEvent &event) {
        if (event.type == KeyPress) {
            AppendLookup(event.xkey, typed);
        }
    };
    if (TypeAsLaidOut(text)) {
        WaitUntil(
            [&] {
                TakeEvents(read);
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
    std::istringstream parts(
        Property(DefaultRootWindow(TestConnection()), "_XKB_RULES_NAMES", XA_STRING, 1024));
    for (std::string part; std::getline(parts, part, '\0');) {
        names.push_back(part);
    }
    return names;
}
