// Measuring helper of bench/run.sh, working on the X display in DISPLAY.
//
//   boxwalk_bench_probe run KEY SECONDS HUD_DIR HUD_PERIOD WATCH SHOT -- COMMAND [ARG...]
//     Launches COMMAND, waits for its prompt window ("User-Selection") to be mapped, answers it
//     with a synthetic press of KEY (an X keysym name such as Escape or n), waits for the program
//     window, with WATCH "figure" polls its pixels for the first frame of the figure (the blue
//     torso; "-" for programs that draw none), lets it run for SECONDS, reads its peak resident
//     memory, optionally saves the window as a PPM (SHOT, "-" for none) and ends the program
//     with Escape. WATCH "wayland": the program window is on the Wayland compositor, out of the X
//     display's sight; the run then starts when the prompt has gone, and the program is ended
//     with SIGTERM. Frames are counted by Mesa itself: the
//     caller runs the program with GALLIUM_HUD=fps and GALLIUM_HUD_DUMP_DIR=HUD_DIR, and the
//     per-period rates in HUD_DIR/fps, without the first second, give the frame rate.
//     Prints one line: fps prompt_ms first_frame_ms peak_kb poll_ms cpu (-1 where not measured),
//     where cpu is the program's processor time per second over the run's last part.
//
//   boxwalk_bench_probe report FILE
//     Reads lines "NAME fps prompt_ms first_frame_ms peak_kb poll_ms cpu" (and "refresh HZ", the
//     Wayland output's) and prints each program's
//     figures as a Markdown table (the median over the rounds with the slowest and fastest
//     round), then the targets: met or missed where every round lies on one side of the line,
//     inconclusive where the spreads straddle it.
//
//   boxwalk_bench_probe gl-info
//     Prints the OpenGL renderer and version of the display's GLX implementation.
#include "process.h"
#include "x_display.h"

#include <X11/Xlib.h>
#include <GL/gl.h>
#include <GL/glx.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char promptTitle[] = "User-Selection";
const char windowTitle[] = "OpenGL Windows Application Windowed!";

// Generous limits: under Wine the first start of a prefix's services takes seconds.
const double launchLimitSeconds = 30.0;
const double answerLimitSeconds = 20.0;
const double exitLimitSeconds = 10.0;
// An answer the prompt has not taken by then is given again.
const double answerRepeatSeconds = 3.0;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Fail(const char *what) {
    std::fprintf(stderr, "boxwalk_bench_probe: %s\n", what);
    std::exit(2);
}

// The program's key name as the text that types it.
std::string KeyText(const char *keyName) {
    return std::strcmp(keyName, "Escape") == 0 ? "\x1b" : keyName;
}

// Gives the window the keyboard focus, with the pointer over it, and types the key once.
void PressKey(WindowId window, const char *keyName) {
    FocusWindow(window);
    TypeText(KeyText(keyName));
}

// Polls every millisecond, for the resolution of the times measured, until a window with this
// title is viewable; 0 when the program ends first or the limit passes.
WindowId WaitForViewable(const char *title, Child &program, double limitSeconds) {
    const Clock::time_point start = Clock::now();
    while (MillisecondsSince(start) < limitSeconds * 1000.0 && Running(program)) {
        const std::vector<WindowId> found = FindWindows(title);
        if (!found.empty()) {
            return found.front();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

// True when some pixel is the figure's torso blue: no window background, title bar or text is.
bool ShowsFigure(const Image &image) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const unsigned char *rgb = image.At(x, y);
            if (rgb[2] >= 200 && rgb[0] <= 40 && rgb[1] <= 40) {
                return true;
            }
        }
    }
    return false;
}

// Milliseconds from `since` until the window first shows the figure, or -1; the mean time of one
// poll, which bounds the resolution, goes to pollMilliseconds.
double WaitForFigure(WindowId window, Child &program, Clock::time_point since,
                     double &pollMilliseconds) {
    const Clock::time_point start = Clock::now();
    int polls = 0;
    double shownAt = -1.0;
    while (shownAt < 0.0 && MillisecondsSince(start) < answerLimitSeconds * 1000.0 &&
           Running(program)) {
        const double before = MillisecondsSince(since);
        ++polls;
        if (ShowsFigure(GrabWindow(window))) {
            shownAt = before;
        }
    }
    pollMilliseconds = polls > 0 ? MillisecondsSince(start) / polls : -1.0;
    return shownAt;
}

void SaveWindow(WindowId window, const char *path) {
    const Image image = GrabWindow(window);
    if (image.rgb.empty()) {
        Fail("cannot read the program window");
    }
    std::FILE *file = std::fopen(path, "wb");
    if (file == nullptr) {
        Fail("cannot write the screenshot");
    }
    std::fprintf(file, "P6\n%d %d\n255\n", image.width, image.height);
    std::fwrite(image.rgb.data(), 1, image.rgb.size(), file);
    std::fclose(file);
}

// VmHWM of the process in kB, or -1.
long PeakResidentKilobytes(pid_t program) {
    std::ifstream status("/proc/" + std::to_string(program) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// The processor time the program has taken so far, user and system, in seconds; -1 where /proc
// does not say.
double ProcessorSeconds(pid_t program) {
    std::ifstream stat("/proc/" + std::to_string(program) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command's name, which is in parentheses and may hold spaces.
    const size_t end = text.rfind(')');
    if (end == std::string::npos) {
        return -1.0;
    }
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            user = std::stoull(field);
        } else if (i == 15) {
            system = std::stoull(field);
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Mean of Mesa's per-period frame rates after the first second, or -1 without samples.
double MeanFrameRate(const std::string &hudDirectory, double period) {
    std::ifstream samples(hudDirectory + "/fps");
    const int warmUp = static_cast<int>(std::ceil(1.0 / period - 1e-9));
    double sum = 0.0;
    int used = 0;
    int index = 0;
    double rate = 0.0;
    while (samples >> rate) {
        if (index++ >= warmUp) {
            sum += rate;
            ++used;
        }
    }
    return used > 0 ? sum / used : -1.0;
}

int Run(int argc, char **argv) {
    if (argc < 10 || std::strcmp(argv[8], "--") != 0) {
        Fail("usage: run KEY SECONDS HUD_DIR HUD_PERIOD WATCH SHOT -- COMMAND [ARG...]");
    }
    const char *key = argv[2];
    const double seconds = std::atof(argv[3]);
    const std::string hudDirectory = argv[4];
    const double period = std::atof(argv[5]);
    const bool watch = std::strcmp(argv[6], "figure") == 0;
    const bool onWayland = std::strcmp(argv[6], "wayland") == 0;
    const std::string shot = argv[7];
    if (!OpenTestDisplay()) {
        Fail("cannot open the X display");
    }

    const Clock::time_point launched = Clock::now();
    Child program;
    Start(program, std::vector<std::string>(argv + 9, argv + argc), {});
    const WindowId prompt = WaitForViewable(promptTitle, program, launchLimitSeconds);
    if (prompt == 0) {
        Fail("the prompt window did not appear");
    }
    const double promptMilliseconds = MillisecondsSince(launched);

    // Answer; a prompt that is still up a while later has not taken the key yet, so press again.
    Clock::time_point answered = Clock::now();
    PressKey(prompt, key);
    WindowId window = 0;
    const Clock::time_point answerStart = Clock::now();
    while (window == 0 && MillisecondsSince(answerStart) < answerLimitSeconds * 1000.0) {
        window = onWayland ? 0 : WaitForViewable(windowTitle, program, answerRepeatSeconds);
        const std::vector<WindowId> prompts = FindWindows(promptTitle);
        if (onWayland && prompts.empty()) {
            break;
        }
        if (window == 0 && !prompts.empty() && prompts.front() == prompt) {
            if (onWayland) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                continue;
            }
            answered = Clock::now();
            PressKey(prompt, key);
        }
    }
    if (window == 0 && !(onWayland && Running(program))) {
        Fail("the program window did not appear");
    }
    const Clock::time_point shown = Clock::now();

    double pollMilliseconds = -1.0;
    const double firstFrameMilliseconds =
        watch ? WaitForFigure(window, program, answered, pollMilliseconds) : -1.0;

    // The processor time per second over the run's last part, once the program is drawing.
    const Clock::time_point timed = Clock::now();
    const double processorBefore = ProcessorSeconds(program.pid);
    const double left = seconds * 1000.0 - MillisecondsSince(shown);
    if (left > 0.0) {
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(left));
    }
    const double processorAfter = ProcessorSeconds(program.pid);
    const double timedSeconds = MillisecondsSince(timed) / 1000.0;
    const double processorShare =
        processorBefore >= 0.0 && processorAfter >= 0.0 && timedSeconds > 0.5
            ? (processorAfter - processorBefore) / timedSeconds
            : -1.0;
    const long peakKilobytes = PeakResidentKilobytes(program.pid);
    if (shot != "-") {
        SaveWindow(window, shot.c_str());
    }
    if (onWayland) {
        kill(program.pid, SIGTERM);
    } else {
        PressKey(window, "Escape");
    }
    if (!WaitForExit(program, exitLimitSeconds)) {
        std::fprintf(stderr, "boxwalk_bench_probe: the program did not end; killed\n");
        Kill(program);
    }
    CloseTestDisplay();
    const int exitStatus = onWayland && program.status == 128 + SIGTERM ? 0 : program.status;
    if (exitStatus != 0) {
        std::fprintf(stderr, "boxwalk_bench_probe: the program ended with status %d\n", exitStatus);
    }
    std::printf("%.1f %.1f %.1f %ld %.2f %.3f\n", MeanFrameRate(hudDirectory, period),
                promptMilliseconds, firstFrameMilliseconds, peakKilobytes, pollMilliseconds,
                processorShare);
    return exitStatus == 0 ? 0 : 1;
}

// One measurement of one program in one round.
struct Sample {
    double fps, promptMs, firstFrameMs, peakKb, pollMs, cpu;
};

// The spread of one figure over the rounds; all -1 where it was not measured.
struct Spread {
    double minimum = -1.0, median = -1.0, maximum = -1.0;
};

// The spread of the measured values (negative ones are "not measured").
Spread SpreadOf(const std::vector<Sample> &samples, double Sample::*field) {
    std::vector<double> values;
    for (const Sample &sample : samples) {
        if (sample.*field >= 0.0) {
            values.push_back(sample.*field);
        }
    }
    Spread spread;
    if (values.empty()) {
        return spread;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    spread.minimum = values.front();
    spread.maximum = values.back();
    spread.median =
        values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
    return spread;
}

std::string Cell(double value, const char *format) {
    if (value < 0.0) {
        return "n/a";
    }
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

// "median (minimum to maximum)", or the median alone where all rounds gave one value.
std::string SpreadCell(const Spread &spread, const char *format, double scale = 1.0) {
    if (spread.median < 0.0) {
        return "n/a";
    }
    const std::string median = Cell(spread.median * scale, format);
    const std::string low = Cell(spread.minimum * scale, format);
    const std::string high = Cell(spread.maximum * scale, format);
    return low == high ? median : median + " (" + low + " to " + high + ")";
}

// What a target's spreads say: met when all of the program's rounds lie on the wanted side of
// the line, missed when all lie on the other side, inconclusive when the spreads straddle it.
enum class Verdict { NotMeasured, Met, Missed, Inconclusive };

const char *VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Met:
        return "met";
    case Verdict::Missed:
        return "**missed**";
    case Verdict::Inconclusive:
        return "inconclusive: the spreads straddle the line";
    case Verdict::NotMeasured:
        break;
    }
    return "not measured";
}

// Frame rate at least `share` of another program's: the program's slowest round against the
// other's fastest decides "met", its fastest against the other's slowest "missed".
Verdict RateVerdict(const Spread &program, const Spread &other, double share) {
    if (program.median <= 0.0 || other.median <= 0.0) {
        return Verdict::NotMeasured;
    }
    if (program.minimum >= share * other.maximum) {
        return Verdict::Met;
    }
    if (program.maximum < share * other.minimum) {
        return Verdict::Missed;
    }
    return Verdict::Inconclusive;
}

// A time of at most `limit` milliseconds in every round.
Verdict TimeVerdict(const Spread &time, double limit) {
    if (time.median < 0.0) {
        return Verdict::NotMeasured;
    }
    if (time.maximum <= limit) {
        return Verdict::Met;
    }
    if (time.minimum > limit) {
        return Verdict::Missed;
    }
    return Verdict::Inconclusive;
}

// A figure between `low` and `high` in every round.
Verdict WithinVerdict(const Spread &figure, double low, double high) {
    if (figure.median < 0.0) {
        return Verdict::NotMeasured;
    }
    if (figure.minimum >= low && figure.maximum <= high) {
        return Verdict::Met;
    }
    if (figure.maximum < low || figure.minimum > high) {
        return Verdict::Missed;
    }
    return Verdict::Inconclusive;
}

// What the bench script's short names stand for.
std::string ProgramLabel(const std::string &name) {
    if (name == "boxwalk") {
        return "`build/boxwalk`";
    }
    if (name == "floor") {
        return "floor: prompt, window, clear, swap (`boxwalk_bench_floor`)";
    }
    if (name == "wine") {
        return "`build-windows/boxwalk.exe` under Wine";
    }
    if (name == "wayland") {
        return "`build/boxwalk` on sway, natively on Wayland";
    }
    if (name == "xwayland") {
        return "`build/boxwalk` on sway, through Xwayland";
    }
    return name;
}

// The targets for the specified drawing; the bench script prints them with every table.
const double floorShare = 0.65;
const double wineShare = 1.0;
const double pacedSlack = 1.0 / 6.0; // 50 to 70 frames a second on a 60 Hz output
const double waylandCpuLimit = 0.25;
const double waylandMemoryShare = 1.10;
const double promptLimitMs = 150.0;
const double firstFrameLimitMs = 150.0;

int Report(const char *path) {
    std::ifstream input(path);
    std::map<std::string, std::vector<Sample>> runs;
    std::vector<std::string> order = {"boxwalk", "floor", "wine"};
    std::string line;
    double refreshHz = -1.0; // the Wayland output's, from a line "refresh HZ"
    while (std::getline(input, line)) {
        std::istringstream fields(line);
        std::string name;
        Sample sample;
        if (!(fields >> name) || (name == "refresh" && fields >> refreshHz)) {
            continue;
        }
        if (fields >> sample.fps >> sample.promptMs >> sample.firstFrameMs >> sample.peakKb >>
            sample.pollMs >> sample.cpu) {
            if (std::find(order.begin(), order.end(), name) == order.end()) {
                order.push_back(name);
            }
            runs[name].push_back(sample);
        }
    }
    std::printf("Each figure: the median over the rounds, then the slowest and the fastest "
                "round.\n\n");
    std::printf("| Program | Runs | Frames/s | Launch to prompt (ms) | Answer to first frame (ms) "
                "| Peak resident (MB) |\n|---|---|---|---|---|---|\n");
    for (const std::string &name : order) {
        const std::vector<Sample> &samples = runs[name];
        if (samples.empty()) {
            continue;
        }
        std::printf("| %s | %zu | %s | %s | %s | %s |\n", ProgramLabel(name).c_str(),
                    samples.size(), SpreadCell(SpreadOf(samples, &Sample::fps), "%.0f").c_str(),
                    SpreadCell(SpreadOf(samples, &Sample::promptMs), "%.0f").c_str(),
                    SpreadCell(SpreadOf(samples, &Sample::firstFrameMs), "%.0f").c_str(),
                    SpreadCell(SpreadOf(samples, &Sample::peakKb), "%.1f", 1.0 / 1024.0).c_str());
    }
    const std::vector<Sample> &program = runs["boxwalk"];
    const Spread fps = SpreadOf(program, &Sample::fps);
    const Spread floorFps = SpreadOf(runs["floor"], &Sample::fps);
    const Spread wineFps = SpreadOf(runs["wine"], &Sample::fps);
    const Spread prompt = SpreadOf(program, &Sample::promptMs);
    const Spread firstFrame = SpreadOf(program, &Sample::firstFrameMs);
    const auto ratio = [&fps](const Spread &other) {
        return fps.median > 0.0 && other.median > 0.0 ? fps.median / other.median : -1.0;
    };
    std::printf("\n| Target for boxwalk | Measured (medians) | Wanted | |\n|---|---|---|---|\n");
    std::printf("| frame rate / floor's | %s | >= %.2f | %s |\n",
                Cell(ratio(floorFps), "%.2f").c_str(), floorShare,
                VerdictText(RateVerdict(fps, floorFps, floorShare)));
    std::printf("| frame rate / Wine build's | %s | >= %.2f | %s |\n",
                Cell(ratio(wineFps), "%.2f").c_str(), wineShare,
                VerdictText(RateVerdict(fps, wineFps, wineShare)));
    std::printf("| launch to prompt (ms) | %s | <= %.0f | %s |\n",
                Cell(prompt.median, "%.0f").c_str(), promptLimitMs,
                VerdictText(TimeVerdict(prompt, promptLimitMs)));
    std::printf("| answer to first frame (ms) | %s | <= %.0f | %s |\n",
                Cell(firstFrame.median, "%.0f").c_str(), firstFrameLimitMs,
                VerdictText(TimeVerdict(firstFrame, firstFrameLimitMs)));
    const Spread waylandFps = SpreadOf(runs["wayland"], &Sample::fps);
    const Spread waylandCpu = SpreadOf(runs["wayland"], &Sample::cpu);
    const Spread waylandPeak = SpreadOf(runs["wayland"], &Sample::peakKb);
    const Spread xwaylandPeak = SpreadOf(runs["xwayland"], &Sample::peakKb);
    if (waylandFps.median > 0.0 && refreshHz > 0.0) {
        // Paced by the compositor: one frame per frame of the output, within a sixth either way.
        const Spread share = {waylandFps.minimum / refreshHz, waylandFps.median / refreshHz,
                              waylandFps.maximum / refreshHz};
        std::printf("| natively on Wayland: frame rate / the output's refresh (%.0f Hz) | %s | "
                    "%.2f to %.2f | %s |\n",
                    refreshHz, Cell(share.median, "%.2f").c_str(), 1.0 - pacedSlack,
                    1.0 + pacedSlack,
                    VerdictText(WithinVerdict(share, 1.0 - pacedSlack, 1.0 + pacedSlack)));
        std::printf("| natively on Wayland: processor time per second | %s | <= %.2f | %s |\n",
                    Cell(waylandCpu.median, "%.2f").c_str(), waylandCpuLimit,
                    VerdictText(TimeVerdict(waylandCpu, waylandCpuLimit)));
    }
    if (waylandPeak.median > 0.0 && xwaylandPeak.median > 0.0) {
        // Less memory is better: the target is Xwayland's peak against the native one's.
        std::printf("| natively on Wayland: peak resident / through Xwayland | %s | <= %.2f | %s "
                    "|\n",
                    Cell(waylandPeak.median / xwaylandPeak.median, "%.2f").c_str(),
                    waylandMemoryShare,
                    VerdictText(RateVerdict(xwaylandPeak, waylandPeak, 1.0 / waylandMemoryShare)));
    }
    std::printf("\nFirst-frame poll resolution (median time of one window read): %s ms.\n",
                Cell(SpreadOf(program, &Sample::pollMs).median, "%.1f").c_str());
    if (fps.median > 0.0 && floorFps.median > 0.0 && fps.maximum >= floorFps.minimum) {
        std::printf("\nThe floor was not faster than the program in every round: the machine was "
                    "too busy for the floor to bound the program; measure again on an idle "
                    "machine or with longer rounds.\n");
    }
    return 0;
}

int GlInfo() {
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        Fail("cannot open the X display");
    }
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
    XVisualInfo *visual = glXChooseVisual(display, DefaultScreen(display), attributes);
    if (visual == nullptr) {
        Fail("no GLX visual");
    }
    XSetWindowAttributes windowAttributes;
    windowAttributes.colormap =
        XCreateColormap(display, DefaultRootWindow(display), visual->visual, AllocNone);
    const Window window =
        XCreateWindow(display, DefaultRootWindow(display), 0, 0, 16, 16, 0, visual->depth,
                      InputOutput, visual->visual, CWColormap, &windowAttributes);
    const GLXContext context = glXCreateContext(display, visual, nullptr, True);
    glXMakeCurrent(display, window, context);
    std::printf("%s; OpenGL %s\n", reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char *>(glGetString(GL_VERSION)));
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XFree(visual);
    XCloseDisplay(display);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0) {
        return Run(argc, argv);
    }
    if (argc == 3 && std::strcmp(argv[1], "report") == 0) {
        return Report(argv[2]);
    }
    if (argc == 2 && std::strcmp(argv[1], "gl-info") == 0) {
        return GlInfo();
    }
    Fail("usage: boxwalk_bench_probe run ... | report FILE | gl-info");
    return 2;
}
