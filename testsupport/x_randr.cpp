#include "x_server.h"

#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <sstream>
#include <utility>

namespace {

// What WatchMonitors notes: the output each CRTC showed when it began, and the rectangles the
// server announced for CRTCs since.
struct Notes {
    bool watching = false;
    int eventBase = 0;
    std::vector<std::pair<RRCrtc, std::string>> outputOfCrtc;
    std::vector<std::pair<RRCrtc, Rect>> changes;
} notes;

Rect Shown(RRMode mode, int x, int y, unsigned width, unsigned height) {
    return mode == None ? Rect{} : Rect{x, y, static_cast<int>(width), static_cast<int>(height)};
}

// Calls `visit(resources)` with the screen's outputs, CRTCs and modes as the server records them
// now (without probing); not at all where it has no XRandR.
template <typename Visit> void WithResources(Visit visit) {
    Display *display = TestConnection();
    int error = 0;
    if (!display || !XRRQueryExtension(display, &notes.eventBase, &error)) {
        return;
    }
    XRRScreenResources *resources =
        XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (resources) {
        visit(resources);
        XRRFreeScreenResources(resources);
    }
}

// Calls `visit(resources, output, monitor)` for every output, in the server's order, with the
// monitor it shows (null where it shows no picture).
template <typename Visit> void EachOutput(Visit visit) {
    Display *display = TestConnection();
    WithResources([&](XRRScreenResources *resources) {
        const RROutput primary = XRRGetOutputPrimary(display, DefaultRootWindow(display));
        for (int i = 0; i < resources->noutput; ++i) {
            XRROutputInfo *output = XRRGetOutputInfo(display, resources, resources->outputs[i]);
            XRRCrtcInfo *crtc =
                output && output->crtc ? XRRGetCrtcInfo(display, resources, output->crtc) : nullptr;
            Monitor monitor;
            const bool shows = crtc && crtc->mode != None;
            if (shows) {
                monitor.output.assign(output->name, static_cast<size_t>(output->nameLen));
                monitor.rect = Shown(crtc->mode, crtc->x, crtc->y, crtc->width, crtc->height);
                monitor.primary = resources->outputs[i] == primary;
                monitor.connected = output->connection == RR_Connected;
            }
            if (output) {
                visit(resources, output, shows ? &monitor : nullptr);
                XRRFreeOutputInfo(output);
            }
            if (crtc) {
                XRRFreeCrtcInfo(crtc);
            }
        }
    });
}

} // namespace

void TakeEvents(const std::function<void(XEvent &)> &other) {
    Display *display = TestConnection();
    while (display && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (!notes.watching || event.type != notes.eventBase + RRNotify ||
            reinterpret_cast<const XRRNotifyEvent &>(event).subtype != RRNotify_CrtcChange) {
            if (other) {
                other(event);
            }
            continue;
        }
        const auto &crtc = reinterpret_cast<const XRRCrtcChangeNotifyEvent &>(event);
        notes.changes.emplace_back(crtc.crtc,
                                   Shown(crtc.mode, crtc.x, crtc.y, crtc.width, crtc.height));
    }
}

Rect CurrentMode() {
    if (OnSwayDesktop()) {
        return SwayOutput("current_mode");
    }
    Rect mode;
    EachOutput([&mode](XRRScreenResources *, XRROutputInfo *, const Monitor *shown) {
        if (shown && mode.width == 0) {
            mode = shown->rect;
        }
    });
    return mode;
}

std::string DescribeModes() {
    if (OnSwayDesktop()) {
        return SwayModes();
    }
    std::ostringstream text;
    WithResources([&text](XRRScreenResources *resources) {
        for (int i = 0; i < resources->nmode; ++i) {
            text << (i ? ", " : "") << resources->modes[i].width << "x"
                 << resources->modes[i].height;
        }
    });
    return text.str();
}

std::vector<Monitor> Monitors() {
    std::vector<Monitor> monitors;
    EachOutput([&](XRRScreenResources *, XRROutputInfo *, const Monitor *shown) {
        if (shown) {
            monitors.push_back(*shown);
        }
    });
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
    EachOutput([&](XRRScreenResources *resources, XRROutputInfo *output, const Monitor *) {
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
    Display *display = TestConnection();
    WithResources([display](XRRScreenResources *) {
        XRRSelectInput(display, DefaultRootWindow(display), RRCrtcChangeNotifyMask);
        XSync(display, False);
        notes.watching = true;
    });
    TakeEvents();
    notes.changes.clear();
    notes.outputOfCrtc.clear();
    EachOutput([](XRRScreenResources *, XRROutputInfo *output, const Monitor *shown) {
        if (shown) {
            notes.outputOfCrtc.emplace_back(output->crtc, shown->output);
        }
    });
}

std::vector<Rect> MonitorChanges(const std::string &output) {
    XSync(TestConnection(), False);
    TakeEvents();
    std::vector<Rect> rects;
    for (const auto &change : notes.changes) {
        const auto shown = std::make_pair(change.first, output);
        if (std::count(notes.outputOfCrtc.begin(), notes.outputOfCrtc.end(), shown) > 0) {
            rects.push_back(change.second);
        }
    }
    return rects;
}
