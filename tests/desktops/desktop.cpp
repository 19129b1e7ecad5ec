#include <X11/Xlib.h>

#include "desktop.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/XTest.h>

#include <memory>
#include <sstream>
#include <utility>

namespace {

// A connection of its own, so that the keymap and the monitors are read fresh from the server
// and the notes of monitor changes queue up apart from the other helpers' traffic.
Display *OwnConnection() {
    static Display *display = XOpenDisplay(nullptr);
    return display;
}

struct Notes {
    bool watching = false;
    int eventBase = 0;
    std::vector<std::pair<RRCrtc, std::string>> outputOfCrtc;
    std::vector<std::pair<std::string, Rect>> changes;
};

Notes &MonitorNotes() {
    static Notes notes;
    return notes;
}

// Takes the server's announcements of CRTC changes that have arrived into the notes.
void TakeMonitorNotes() {
    Display *display = OwnConnection();
    Notes &notes = MonitorNotes();
    while (notes.watching && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != notes.eventBase + RRNotify) {
            continue;
        }
        const auto &notify = reinterpret_cast<const XRRNotifyEvent &>(event);
        if (notify.subtype != RRNotify_CrtcChange) {
            continue;
        }
        const auto &crtc = reinterpret_cast<const XRRCrtcChangeNotifyEvent &>(event);
        for (const auto &known : notes.outputOfCrtc) {
            if (known.first == crtc.crtc) {
                const Rect rect = crtc.mode == None
                                      ? Rect{}
                                      : Rect{crtc.x, crtc.y, static_cast<int>(crtc.width),
                                             static_cast<int>(crtc.height)};
                notes.changes.emplace_back(known.second, rect);
            }
        }
    }
}

// Calls `visit(resources, output id, its information)` for every output, as the server
// records them now (without probing).
template <typename Visit> void EachOutput(Visit visit) {
    Display *display = OwnConnection();
    int event = 0, error = 0;
    if (!display || !XRRQueryExtension(display, &event, &error)) {
        return;
    }
    XRRScreenResources *resources =
        XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (!resources) {
        return;
    }
    for (int i = 0; i < resources->noutput; ++i) {
        XRROutputInfo *output = XRRGetOutputInfo(display, resources, resources->outputs[i]);
        if (output) {
            visit(resources, resources->outputs[i], output);
            XRRFreeOutputInfo(output);
        }
    }
    XRRFreeScreenResources(resources);
}

// Calls `visit(monitor, its CRTC)` for every output that shows a picture.
template <typename Visit> void EachMonitor(Visit visit) {
    Display *display = OwnConnection();
    const RROutput primary = display ? XRRGetOutputPrimary(display, DefaultRootWindow(display)) : 0;
    EachOutput([&](XRRScreenResources *resources, RROutput id, XRROutputInfo *output) {
        XRRCrtcInfo *crtc =
            output->crtc ? XRRGetCrtcInfo(display, resources, output->crtc) : nullptr;
        if (crtc && crtc->mode != None) {
            Monitor monitor;
            monitor.output.assign(output->name, static_cast<size_t>(output->nameLen));
            monitor.rect = {crtc->x, crtc->y, static_cast<int>(crtc->width),
                            static_cast<int>(crtc->height)};
            monitor.primary = id == primary;
            monitor.connected = output->connection == RR_Connected;
            visit(monitor, output->crtc);
        }
        if (crtc) {
            XRRFreeCrtcInfo(crtc);
        }
    });
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

using Keymap = std::unique_ptr<XkbDescRec, void (*)(XkbDescPtr)>;

Keymap CurrentKeymap(Display *display) {
    return Keymap(
        XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd),
        [](XkbDescPtr keymap) { XkbFreeKeyboard(keymap, 0, True); });
}

// A key that sets the modifier `bit` while held; 0 if there is none.
KeyCode ModifierKey(XkbDescPtr keymap, unsigned bit) {
    for (int code = keymap->min_key_code; code <= keymap->max_key_code; ++code) {
        if ((keymap->map->modmap[code] & bit) && XkbKeyNumGroups(keymap, code) > 0 &&
            HeldModifier(XkbKeySymEntry(keymap, code, 0, 0))) {
            return static_cast<KeyCode>(code);
        }
    }
    return 0;
}

// A key press that types one symbol: the key, and the modifier keys held around it.
struct Stroke {
    KeyCode key = 0;
    std::vector<KeyCode> modifiers;
};

// The modifier keys that give `mask` while held, or false when a modifier in it has none (as a
// lock has none).
bool ModifierKeys(XkbDescPtr keymap, unsigned mask, std::vector<KeyCode> &keys) {
    keys.clear();
    for (unsigned bit = 1; bit <= Mod5Mask; bit <<= 1) {
        if (mask & bit) {
            const KeyCode key = ModifierKey(keymap, bit);
            if (key == 0) {
                return false;
            }
            keys.push_back(key);
        }
    }
    return true;
}

// The stroke with the fewest modifiers that types `symbol` in `group`; false when no key can.
bool FindStroke(XkbDescPtr keymap, int group, KeySym symbol, Stroke &found) {
    bool any = false;
    for (int code = keymap->min_key_code; code <= keymap->max_key_code; ++code) {
        const int groups = XkbKeyNumGroups(keymap, code);
        if (groups == 0) {
            continue;
        }
        const int keyGroup = group % groups; // a group the key lacks wraps round, as XKB does
        const XkbKeyTypePtr type = XkbKeyKeyType(keymap, code, keyGroup);
        for (int level = 0; level < XkbKeyGroupWidth(keymap, code, keyGroup); ++level) {
            if (XkbKeySymEntry(keymap, code, level, keyGroup) != symbol) {
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
                if (ModifierKeys(keymap, mask, stroke.modifiers) &&
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

std::vector<std::string> RootStrings(Display *display, const char *name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::vector<std::string> strings;
    if (XGetWindowProperty(display, DefaultRootWindow(display), XInternAtom(display, name, False),
                           0, 1024, False, XA_STRING, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        const std::string all(reinterpret_cast<const char *>(data), count);
        std::istringstream parts(all);
        std::string part;
        while (std::getline(parts, part, '\0')) {
            strings.push_back(part);
        }
        XFree(data);
    }
    return strings;
}

} // namespace

std::vector<Monitor> Monitors() {
    std::vector<Monitor> monitors;
    EachMonitor([&](const Monitor &monitor, RRCrtc) { monitors.push_back(monitor); });
    return monitors;
}

std::string Describe(const std::vector<Monitor> &monitors) {
    std::ostringstream text;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const Rect &rect = monitors[i].rect;
        text << (i ? ", " : "") << monitors[i].output << " (" << rect.x << ", " << rect.y << ") "
             << rect.width << " x " << rect.height << (monitors[i].primary ? " primary" : "")
             << (monitors[i].connected ? "" : " disconnected");
    }
    return monitors.empty() ? std::string("no monitor") : text.str();
}

bool OutputOffers(const std::string &name, int width, int height) {
    bool offers = false;
    EachOutput([&](XRRScreenResources *resources, RROutput, XRROutputInfo *output) {
        if (name != std::string(output->name, static_cast<size_t>(output->nameLen))) {
            return;
        }
        for (int i = 0; i < output->nmode; ++i) {
            for (int j = 0; j < resources->nmode; ++j) {
                const XRRModeInfo &mode = resources->modes[j];
                offers = offers ||
                         (mode.id == output->modes[i] && static_cast<int>(mode.width) == width &&
                          static_cast<int>(mode.height) == height);
            }
        }
    });
    return offers;
}

void WatchMonitors() {
    Display *display = OwnConnection();
    Notes &notes = MonitorNotes();
    int error = 0;
    if (!display || !XRRQueryExtension(display, &notes.eventBase, &error)) {
        return;
    }
    XRRSelectInput(display, DefaultRootWindow(display), RRCrtcChangeNotifyMask);
    XSync(display, False);
    notes.watching = true;
    TakeMonitorNotes();
    notes.changes.clear();
    notes.outputOfCrtc.clear();
    EachMonitor([&](const Monitor &monitor, RRCrtc crtc) {
        notes.outputOfCrtc.emplace_back(crtc, monitor.output);
    });
}

std::vector<Rect> MonitorChanges(const std::string &output) {
    XSync(OwnConnection(), False);
    TakeMonitorNotes();
    std::vector<Rect> rects;
    for (const auto &change : MonitorNotes().changes) {
        if (change.first == output) {
            rects.push_back(change.second);
        }
    }
    return rects;
}

std::vector<std::string> KeyboardNames() {
    Display *display = OwnConnection();
    return display ? RootStrings(display, "_XKB_RULES_NAMES") : std::vector<std::string>();
}

bool TypeAsLaidOut(const std::string &text) {
    Display *display = OwnConnection();
    if (!display) {
        return false;
    }
    const Keymap keymap = CurrentKeymap(display);
    XkbStateRec state{};
    if (!keymap || XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
        return false;
    }
    std::vector<Stroke> strokes;
    for (char c : text) {
        Stroke stroke;
        if (!FindStroke(keymap.get(), state.group, SymbolOf(c), stroke)) {
            return false;
        }
        strokes.push_back(stroke);
    }
    for (const Stroke &stroke : strokes) {
        for (KeyCode modifier : stroke.modifiers) {
            XTestFakeKeyEvent(display, modifier, True, CurrentTime);
        }
        XTestFakeKeyEvent(display, stroke.key, True, CurrentTime);
        XTestFakeKeyEvent(display, stroke.key, False, CurrentTime);
        for (auto modifier = stroke.modifiers.rbegin(); modifier != stroke.modifiers.rend();
             ++modifier) {
            XTestFakeKeyEvent(display, *modifier, False, CurrentTime);
        }
    }
    XSync(display, False);
    return true;
}

std::string TypeIntoOwnWindow(const std::string &text, double seconds) {
    // A connection opened now reads the keymap in force now.
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        return std::string();
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 200, 0, 0, 0);
    XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
    XMapRaised(display, window);
    const double deadline = Now() + seconds;
    XWindowAttributes attributes{};
    while (XGetWindowAttributes(display, window, &attributes) &&
           attributes.map_state != IsViewable && Now() < deadline) {
        SleepSeconds(0.01);
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    std::string typed;
    if (TypeAsLaidOut(text)) {
        while (typed.size() < text.size() && Now() < deadline) {
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == KeyPress) {
                    char chars[16];
                    const int length =
                        XLookupString(&event.xkey, chars, sizeof chars, nullptr, nullptr);
                    typed.append(chars, length > 0 ? static_cast<size_t>(length) : 0);
                }
            }
            SleepSeconds(0.01);
        }
    }
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return typed;
}
