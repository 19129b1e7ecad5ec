// The program's keys on keyboards laid out otherwise than the US one: the German layout, where +
// has a key of its own and - lies elsewhere, and the French AZERTY layout, where + is shifted and
// - takes the place of a digit. Each character is typed as a user of the layout types it; the
// program acts on the characters, so the camera moves exactly as on a US keyboard.
#include "x_display.h"
#include "program.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

const char *const setxkbmap = "/usr/bin/setxkbmap";

struct Layout {
    const char *name, *layout;
};

const Layout layouts[] = {{"German", "de"}, {"French", "fr"}};

// Names the layout in GoogleTest's messages.
void PrintTo(const Layout &layout, std::ostream *out) {
    *out << layout.layout;
}

std::string Joined(const std::vector<std::string> &names) {
    std::string text;
    for (const std::string &name : names) {
        text += "\"" + name + "\" ";
    }
    return text;
}

// The test display's keyboard laid out as the layout of the test, and laid out again as it was
// found afterwards. The prompt's answers (Escape and Return, or N) lie on the same keys in every
// layout here.
class KeyboardLayout : public Boxwalk, public ::testing::WithParamInterface<Layout> {
  protected:
    std::vector<std::string> found; // rules, model, layout, variant, options

    void SetUp() override {
        Boxwalk::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        found = KeyboardNames();
        ASSERT_GE(found.size(), 3u) << "the server keeps no keyboard names: " << Joined(found);
        ASSERT_EQ(RunCommand({setxkbmap, GetParam().layout}, {}, patience), 0);
        const std::vector<std::string> names = KeyboardNames();
        ASSERT_TRUE(names.size() >= 3 && names[2] == GetParam().layout)
            << "the keyboard is laid out as " << Joined(names);
    }

    void TearDown() override {
        Boxwalk::TearDown();
        if (found.size() < 3) {
            return;
        }
        found.resize(5);
        std::vector<std::string> command = {setxkbmap, "-rules",  found[0], "-model",
                                            found[1],  "-layout", found[2], "-variant",
                                            found[3],  "-option", ""};
        if (!found[4].empty()) {
            command.insert(command.end(), {"-option", found[4]});
        }
        EXPECT_EQ(RunCommand(command, {}, patience), 0);
        std::vector<std::string> names = KeyboardNames();
        names.resize(5);
        EXPECT_EQ(Joined(names), Joined(found)) << "the keyboard was not laid out again as found";
    }

    // Types `keys` into the window as the layout lays them out, and waits for the view they lead
    // to.
    void TypeAndExpectAsLaidOut(const std::string &keys, const std::string &name) {
        const Scene previous = scene;
        for (char key : keys) {
            Apply(scene.view, key);
        }
        FocusWindow(window);
        ASSERT_TRUE(TypeAsLaidOut(keys)) << "the layout has no key for one of \"" << keys << "\"";
        WaitForView(scene, &previous, std::string(GetParam().layout) + "-" + name);
    }
};

// What the suite types is what a user of the layout types: + on German's own key, on French's
// shifted one, @ with the third-level shift of either.
TEST_P(KeyboardLayout, TypingGivesTheCharactersAnXClientReads) {
    const std::string keys = "+-edsfEDSF@\x1b";
    EXPECT_EQ(TypeIntoOwnWindow(keys, patience), keys);
}

TEST_P(KeyboardLayout, KeysMoveTheCameraAsOnAUsKeyboardAndEscapeEnds) {
    OpenWindowed();
    if (HasFatalFailure()) {
        return;
    }
    TypeAndExpectAsLaidOut(Repeat("+", 10), "zoom-in");
    TypeAndExpectAsLaidOut(Repeat("-", 20), "zoom-out");
    TypeAndExpectAsLaidOut(Repeat("sS", 5), "eye-right");
    TypeAndExpectAsLaidOut(Repeat("fF", 10), "eye-left");
    TypeAndExpectAsLaidOut(Repeat("dD", 5), "eye-up");
    TypeAndExpectAsLaidOut(Repeat("eE", 10), "eye-down");
    FocusWindow(window);
    ASSERT_TRUE(TypeAsLaidOut("\x1b"));
    ExpectExitZero("after Escape");
}

INSTANTIATE_TEST_SUITE_P(Layouts, KeyboardLayout, ::testing::ValuesIn(layouts), NameOf<Layout>);

} // namespace

int main(int argc, char **argv) {
    return RunProgramTests(argc, argv, Missing({{setxkbmap, "x11-xkb-utils"}}));
}
