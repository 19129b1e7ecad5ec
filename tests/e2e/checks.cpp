// Where the program's windows and figure must be, checked against what the screen shows: the
// window's frame, the view after each key, and the figure and help line in place.
#include "program.h"

#include <cctype>
#include <cstdio>

namespace {

// Why the client area of a Wayland desktop's window, placed by the compositor, does not have the
// size that the frames around it leave of the outer rectangle `outer`; empty when it has. The
// Linux program's client is the whole rectangle; the Win32 frame takes as much on the left as on
// the right and the bottom, and more above for the caption.
std::string WindowedSizeFault(const Rect &client, const Rect &outer) {
    const int across = outer.width - client.width, down = outer.height - client.height;
    const bool fits = kind->frameInsideOuterRect
                          ? across >= 0 && across % 2 == 0 && down - across / 2 > across / 2
                          : across == 0 && down == 0;
    return fits ? std::string()
                : "client area " + std::to_string(client.width) + " x " +
                      std::to_string(client.height) + " is not what the frame leaves of " +
                      std::to_string(outer.width) + " x " + std::to_string(outer.height);
}

} // namespace

std::string WindowedPlaceFault(WindowId window, const Rect &outer) {
    const Rect client = RootRect(window);
    if (onWaylandDesktop) {
        return WindowedSizeFault(client, outer);
    }
    if (!kind->frameInsideOuterRect) {
        Rect expected = outer;
        if (underWindowManager) {
            const FrameExtents frame = WindowFrame(window);
            if (frame.top <= 0) {
                return "the window manager announces no frame around the window";
            }
            expected.x += frame.left;
            expected.y += frame.top;
        }
        return Text(client) == Text(expected)
                   ? std::string()
                   : "client area " + Text(client) + ", expected " + Text(expected);
    }
    const int left = client.x - outer.x, top = client.y - outer.y;
    const int right = outer.x + outer.width - (client.x + client.width);
    const int bottom = outer.y + outer.height - (client.y + client.height);
    if (left >= 0 && left == right && left == bottom && top > left) {
        return std::string();
    }
    return "client area " + Text(client) + " is not framed inside " + Text(outer) +
           ": borders left " + std::to_string(left) + ", right " + std::to_string(right) +
           ", bottom " + std::to_string(bottom) + ", top " + std::to_string(top);
}

void ExpectWindowedPlace(WindowId window, const Rect &outer) {
    WaitUntil([window, &outer] { return WindowedPlaceFault(window, outer).empty(); });
    EXPECT_EQ(WindowedPlaceFault(window, outer), "") << "windows seen:\n" << DescribeWindows();
}

void Apply(ViewState &view, char key) {
    for (const expected::KeyStep &step : expected::keySteps) {
        if (step.key == toupper(static_cast<unsigned char>(key))) {
            view.eyeX = view.eyeX + step.eyeX;
            view.eyeY = view.eyeY + step.eyeY;
            view.zoom = view.zoom + step.zoom;
        }
    }
}

std::string Repeat(const std::string &keys, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += keys;
    }
    return all;
}

void Boxwalk::WaitForView(const Scene &expected, const Scene *previous, const std::string &name,
                          double seconds) {
    const double deadline = Now() + seconds;
    Observed observed;
    Fit fit, old;
    do {
        observed = Observe(Shot(name), expected);
        fit = BestFit(observed, expected);
        if (previous) {
            old = BestFit(observed, *previous);
        }
        if (fit.score <= 1.0 && (!previous || old.score > 1.0)) {
            return;
        }
        SleepSeconds(0.1);
    } while (Now() < deadline);
    ADD_FAILURE() << "after " << seconds << " s no screenshot showed the view eye ("
                  << expected.view.eyeX << ", " << expected.view.eyeY << "), zoom "
                  << expected.view.zoom << " on a " << expected.width << " x " << expected.height
                  << " client with the projection fitted to " << expected.projectionWidth << " x "
                  << expected.projectionHeight << ".\nClosest frame: spin " << fit.spin
                  << ", swing " << fit.swing << ", worst: " << fit.worst << " (score " << fit.score
                  << ").\n"
                  << (previous ? "The view before the change fits with score " +
                                     std::to_string(old.score) + ".\n"
                               : std::string())
                  << "Last screenshot (" << ShotPath(name) << "):\n"
                  << Describe(observed);
}

void Boxwalk::ExpectFigureInPlace(const std::string &name) {
    const Observed observed = Observe(Shot(name), scene);
    const Reach reach = FigureReach(scene);
    for (int colour = 0; colour < ColourCount; ++colour) {
        const Box2 &seen = observed.figure[colour];
        const Box2 &any = reach.any[colour];
        const Box2 &every = reach.every[colour];
        ASSERT_FALSE(seen.empty) << "no " << ColourName(colour) << " on screen:\n"
                                 << Describe(observed);
        const double out = OutwardAllowance(), in = InwardAllowance(colour);
        // Within the union of all frames...
        EXPECT_GE(seen.left, any.left - out) << ColourName(colour) << "\n" << Describe(observed);
        EXPECT_LE(seen.right, any.right + out) << ColourName(colour) << "\n" << Describe(observed);
        EXPECT_GE(seen.top, any.top - out) << ColourName(colour) << "\n" << Describe(observed);
        EXPECT_LE(seen.bottom, any.bottom + out) << ColourName(colour) << "\n"
                                                 << Describe(observed);
        // ...and covering what every frame covers.
        if (every.left <= every.right) {
            EXPECT_LE(seen.left, every.left + in) << ColourName(colour) << "\n"
                                                  << Describe(observed);
            EXPECT_GE(seen.right, every.right - in) << ColourName(colour) << "\n"
                                                    << Describe(observed);
        }
        if (every.top <= every.bottom) {
            EXPECT_LE(seen.top, every.top + in) << ColourName(colour) << "\n" << Describe(observed);
            EXPECT_GE(seen.bottom, every.bottom - in) << ColourName(colour) << "\n"
                                                      << Describe(observed);
        }
    }
    // Frames follow each other unpaced, so a screenshot can catch the window as one frame
    // replaces the last; a screenshot that shows a single frame is waited for.
    Observed last = observed;
    Fit fit = BestFit(last, scene);
    WaitUntil([&] {
        if (fit.score > 1.0) {
            last = Observe(Shot(name + "-again"), scene);
            fit = BestFit(last, scene);
        }
        return fit.score <= 1.0;
    });
    EXPECT_LE(fit.score, 1.0) << "no single frame fits: closest spin " << fit.spin << ", swing "
                              << fit.swing << ", " << fit.worst << "\n"
                              << Describe(last);
    EXPECT_EQ(observed.otherPixels, 0) << Describe(observed);

    // The help line starts at its raster position, left of and below the centre, and reaches no
    // higher than a cell of the 48-pixel font.
    const TextAnchor anchor = HelpLineAnchor(scene);
    if (!anchor.inside) {
        EXPECT_TRUE(observed.text.empty) << Describe(observed);
        return;
    }
    if (!observed.text.empty) {
        EXPECT_GE(observed.text.left, anchor.x - 3) << Describe(observed);
        EXPECT_LE(observed.text.left, anchor.x + 12) << Describe(observed);
        EXPECT_GE(observed.text.top, anchor.y - 52) << Describe(observed);
        EXPECT_LE(observed.text.bottom, anchor.y + 16) << Describe(observed);
        EXPECT_LT(observed.text.right, scene.width + 1) << Describe(observed);
    }
    std::printf("help line %s\n", observed.text.empty ? "not drawn" : "drawn");
}

void Boxwalk::TypeAndExpect(const std::string &keys, const std::string &name, double seconds) {
    const Scene previous = scene;
    for (char key : keys) {
        Apply(scene.view, key);
    }
    TypeInto(window, keys);
    WaitForView(scene, &previous, name, seconds);
}
