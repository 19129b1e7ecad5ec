// What a user sees of the program's constants, pinned so that a change of one of them shows: the
// eye's starting distance, through the figure's size seen from close by, and the help line's
// weight, through the ink of its glyphs. And what a user does not see: that closing the window
// releases the rendering context.
#include "ink.h"
#include "program.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using expected::helpLine;
const char faceName[] = "Comic Sans MS";
const int cellHeight = 48;
const int boldWeight = 700, regularWeight = 400;

class Looks : public BoxwalkWindowed {
  protected:
    // Waits for a screenshot in which the figure fits the view of `scene` and no view whose zoom
    // differs from it by one or two units: the eye is where the test expects it, to the unit.
    void ExpectEyeDistance(const std::string &name, double seconds = 30) {
        const int offsets[] = {-2, -1, 1, 2};
        const double deadline = Now() + seconds;
        std::string fits;
        Observed observed;
        do {
            observed = Observe(Shot(name), scene);
            const Fit fit = BestFit(observed, scene);
            std::ostringstream text;
            text << "zoom " << scene.view.zoom << ": " << fit.score;
            bool alone = fit.score <= 1.0;
            for (const int offset : offsets) {
                Scene other = scene;
                other.view.zoom += static_cast<float>(offset);
                const double score = BestFit(observed, other).score;
                text << ", zoom " << other.view.zoom << ": " << score;
                alone = alone && score > 1.0;
            }
            text << " (at most 1 fits)";
            fits = text.str();
            if (alone) {
                std::printf("eye distance pinned: %s\n", fits.c_str());
                return;
            }
            SleepSeconds(0.1);
        } while (Now() < deadline);
        ADD_FAILURE() << "after " << seconds << " s no screenshot showed the figure at the size "
                      << "the eye's distance gives, and only that size; the last one ("
                      << shotDirectory << "/" << kind->name << "-" << name << ".png) fits " << fits
                      << "\n"
                      << Describe(observed);
    }

    // Waits for two screenshots in a row that show the same help line, and returns its ink.
    Ink HelpLineInk(const std::string &name, double seconds = 20) {
        const double deadline = Now() + seconds;
        Ink ink = ScreenInk(Shot(name), scene);
        while (Now() < deadline) {
            SleepSeconds(0.1);
            const Ink next = ScreenInk(Shot(name), scene);
            if (next.Count() > 0 && next.on == ink.on) {
                break;
            }
            ink = next;
        }
        return ink;
    }
};

// From the start the eye is 65 units from the figure, too far for one unit more or less to show
// beyond the pixels' rounding; brought 58 units closer by `+`, the figure is seen from 7 units,
// where one unit changes its size by a seventh.
TEST_F(Looks, EyeStartsSixtyFiveUnitsFromTheFigure) {
    const std::string keys = Repeat("+", 58);
    for (const char key : keys) {
        Apply(scene.view, key);
    }
    ASSERT_FLOAT_EQ(scene.view.zoom + 30.0f, -23.0f);
    FocusWindow(window);
    TypeText(keys);
    ExpectEyeDistance("close-up");
}

std::string Measures(const Ink &ink) {
    return "ink " + std::to_string(ink.Count()) + " pixels, " +
           std::to_string(ink.Right() - ink.Left() + 1) + " x " + std::to_string(ink.InkHeight()) +
           ", stems " + std::to_string(ink.StemWidth()) + " in letters " +
           std::to_string(ink.BodyHeight()) + " high";
}

// On Linux the platform matches the program's request through fontconfig: the line on screen
// must be the very ink that the bold weight of the face matched for the name sets, and not the
// regular weight's.
void ExpectBoldFace(const Ink &seen) {
    const Face boldFace = MatchFace(faceName, boldWeight);
    const Face regularFace = MatchFace(faceName, regularWeight);
    ASSERT_FALSE(boldFace.file.empty()) << "no face matches \"" << faceName << "\"";
    ASSERT_NE(boldFace.file, regularFace.file)
        << "the face " << boldFace.name << " has no bold weight";
    const Ink bold = RenderLine(boldFace, cellHeight, helpLine);
    const Ink regular = RenderLine(regularFace, cellHeight, helpLine);
    const std::string which = "help line on screen: " + Measures(seen) + "\n" + boldFace.name +
                              ": " + Measures(bold) + "\n" + regularFace.name + ": " +
                              Measures(regular);
    std::printf("%s\n", which.c_str());
    // One bit per pixel and whole-pixel advances: the glyphs sit at the same offsets from each
    // other on screen as in the test's rendering, so the ink is the same to the pixel.
    EXPECT_NEAR(seen.Count(), bold.Count(), 0.01 * bold.Count()) << which;
    EXPECT_NEAR(seen.Right() - seen.Left(), bold.Right() - bold.Left(), 1) << which;
    EXPECT_EQ(seen.InkHeight(), bold.InkHeight()) << which;
}

// Under Wine the face is Wine's stand-in for a name it lacks, one of the system's faces, which
// Wine lays out with advances of its own. The face whose glyphs set the same ink, in count and
// height, tells the weight. Should no face match, the weight is told from the shapes alone: the
// vertical stems of regular weights are 0.12 to 0.21 of the height of the lowercase letters
// (Comic Neue, DejaVu Sans and Serif, Nimbus Sans, set as this line at this size), those of bold
// weights 0.23 to 0.32.
void ExpectBoldStandIn(const Ink &seen) {
    std::printf("help line on screen: %s\n", Measures(seen).c_str());
    std::vector<Face> matches;
    for (const Face &face : SystemFaces()) {
        const Ink ink = RenderLine(face, cellHeight, helpLine);
        if (ink.Count() == seen.Count() && ink.InkHeight() == seen.InkHeight()) {
            matches.push_back(face);
        }
    }
    for (const Face &face : matches) {
        std::printf("set in %s (weight %d)\n", face.name.c_str(), face.weight);
        EXPECT_GE(face.weight, boldWeight) << "the help line is set in " << face.name;
    }
    if (matches.empty()) {
        EXPECT_GE(static_cast<double>(seen.StemWidth()) / seen.BodyHeight(), 0.22)
            << "no face of the system sets the line seen (" << Measures(seen)
            << "), and its stems are those of a regular weight";
    }
}

// The program asks for its face at the bold weight.
TEST_F(Looks, HelpLineIsInTheBoldWeight) {
    const Ink seen = HelpLineInk("help-line");
    ASSERT_GT(seen.Count(), 0) << "no help line on screen";
    if (kind->underWine) {
        ExpectBoldStandIn(seen);
    } else {
        ExpectBoldFace(seen);
    }
}

// Closing the window releases the rendering context before the program ends: on Linux a library
// preloaded into the program writes down each release and whether the context was live.
TEST_F(Boxwalk, CloseReleasesTheRenderingContext) {
    if (kind->underWine) {
        GTEST_SKIP() << "the Windows build releases its context inside Wine, where a preloaded "
                        "library does not see the call";
    }
    char record[] = "/tmp/boxwalk-context-XXXXXX";
    const int descriptor = mkstemp(record);
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    const char *already = getenv("LD_PRELOAD");
    const std::string preload =
        already && *already ? std::string(RECORD_CONTEXT) + ":" + already : RECORD_CONTEXT;
    const WindowId prompt =
        StartToPrompt({{"LD_PRELOAD", preload.c_str()}, {"BOXWALK_CONTEXT_RECORD", record}});
    ASSERT_NE(prompt, 0u);
    Answer(prompt, false);
    WaitForWindowed();
    if (!HasFatalFailure()) {
        WaitForView(scene, nullptr, "before-close");
        RequestClose(window);
        ExpectExitZero("after the close request");
    }
    std::ifstream recorded(record);
    std::stringstream releases;
    releases << recorded.rdbuf();
    unlink(record);
    EXPECT_EQ(releases.str(), "wglDeleteContext TRUE\n");
}

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv);
}
