// The sway desktop behind the helpers of x_display.h: windows and the output from swaymsg, read
// with jq; keys typed with wtype into the focused window; screenshots taken with grim.
#include "process.h"
#include "x_server.h"

#include <stdlib.h>

#include <sstream>

namespace {

// What sway answers to `swaymsg -t TYPE`, filtered by jq's `filter`.
std::string Query(const std::string &type, const std::string &filter) {
    return CommandOutput({"/bin/sh", "-c", "swaymsg -t " + type + " -r | jq -r '" + filter + "'"},
                         patience);
}

} // namespace

bool OnSwayDesktop() {
    return getenv("SWAYSOCK") != nullptr;
}

std::vector<TitledWindow> SwayWindows() {
    std::istringstream lines(Query("get_tree",
                                   "recurse(.nodes[], .floating_nodes[]) | select(.pid) | "
                                   "\"\\(.id) \\(.rect | \"\\(.x) \\(.y) \\(.width) "
                                   "\\(.height)\") \\(.name)\""));
    std::vector<TitledWindow> windows;
    TitledWindow window;
    while (lines >> window.id >> window.rect.x >> window.rect.y >> window.rect.width >>
               window.rect.height &&
           std::getline(lines.ignore(1), window.title)) {
        windows.push_back(window);
    }
    return windows;
}

Rect SwayOutput(const std::string &size) {
    std::istringstream numbers(Query("get_outputs", ".[0] | \"\\(.rect.x) \\(.rect.y) \\(." + size +
                                                        ".width) \\(." + size + ".height)\""));
    Rect rect;
    numbers >> rect.x >> rect.y >> rect.width >> rect.height;
    return rect;
}

std::string SwayModes() {
    return Query("get_outputs", "[.[0].modes[] | \"\\(.width)x\\(.height)\"] | join(\", \")");
}

void SwayCommand(WindowId window, const std::string &command) {
    RunCommand({"swaymsg", "[con_id=" + std::to_string(window) + "] " + command}, {}, patience);
}

// sway 1.8 and later call it power, sway 1.7 (Debian 12) dpms.
void SetOutputPower(bool on) {
    const std::string state = on ? " on" : " off";
    if (RunCommand({"swaymsg", "output * power" + state}, {}, patience) != 0) {
        RunCommand({"swaymsg", "output * dpms" + state}, {}, patience);
    }
}

// Escape, Return and Tab by their names, and - too, which would start an option; the other
// characters as text.
void SwayType(const std::string &text) {
    std::vector<std::string> argv = {"wtype"};
    bool typing = false; // the last argument is text that the next character may join
    for (const char c : text) {
        const char *name = c == '\x1b' ? "Escape"
                           : c == '\r' ? "Return"
                           : c == '\t' ? "Tab"
                           : c == '-'  ? "minus"
                                       : nullptr;
        if (name) {
            argv.insert(argv.end(), {"-k", name});
        } else if (typing) {
            argv.back() += c;
        } else {
            argv.emplace_back(1, c);
        }
        typing = !name;
    }
    RunCommand(argv, {}, patience);
}

// grim's picture as a binary PPM: "P6 WIDTH HEIGHT 255", one whitespace, then RGB rows.
Image SwayGrab(const Rect &rect) {
    std::istringstream ppm(
        CommandOutput({"grim", "-t", "ppm", "-g",
                       std::to_string(rect.x) + "," + std::to_string(rect.y) + " " +
                           std::to_string(rect.width) + "x" + std::to_string(rect.height),
                       "-"},
                      patience));
    std::string magic;
    int maximum = 0;
    Image image;
    ppm >> magic >> image.width >> image.height >> maximum;
    ppm.ignore(1);
    image.rgb.assign(std::istreambuf_iterator<char>(ppm), {});
    if (magic != "P6" || image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3) {
        return Image{};
    }
    return image;
}
