// A long run of random input over both windows: the program must stay
// responsive, show no box it should not, and end normally.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "process.h"
#include "program_test.h"
#include "x_session.h"

namespace {

using namespace program_test;

class Soak : public ProgramTest {
   protected:
    // Valid limits through Apply, then Open File cancelled.
    void applyAndCancelOpenFile(const std::string& dialog) {
        ASSERT_TRUE(clickDialogControl(dialog, 104, 266, 40, 14));  // the depth field
        ASSERT_TRUE(gui::key("ctrl+a"));
        ASSERT_TRUE(gui::typeText("6"));
        ASSERT_TRUE(gui::key("Tab ctrl+a"));
        ASSERT_TRUE(gui::typeText("20"));
        ASSERT_TRUE(gui::key("Tab space"));  // Apply
        EXPECT_FALSE(gui::waitForWindow("^Properties Input Error$", 0.3).has_value());
        ASSERT_TRUE(gui::key("Tab space"));  // Open File
        std::string chooser;
        ASSERT_TRUE(gui::waitFor(
            [&] {
                chooser = gui::activeWindow();
                return !chooser.empty() && chooser != dialog && chooser != window;
            },
            10));
        ASSERT_TRUE(gui::key("Escape"));
        ASSERT_TRUE(gui::waitFor([&] { return gui::activeWindow() == dialog; }, 10));
    }
};

TEST_F(Soak, TenThousandRandomEventsOverBothWindows) {
    writeDefaultMesh(gridMesh(16));
    start();
    waitForScene(kStartView);
    auto info = gui::waitForWindow("^Info$", 60);
    ASSERT_TRUE(info.has_value());
    const std::string dialog = *info;
    const gui::Geometry d = gui::windowGeometry(window);

    // Keys that cannot end the program or press a dialog button by
    // themselves (no Esc, Return or space); Ctrl+Tab moves between the windows.
    const std::vector<std::string> keys{
        "Up",    "Down",      "Left", "Right", "shift+Up",  "shift+Down", "shift+Left", "shift+Right",    "ctrl+Tab",
        "Tab",   "shift+Tab", "a",    "7",     "BackSpace", "F5",         "Home",       "ctrl+shift+Tab", "alt+Left",
        "minus", "0"};
    std::mt19937 random(20261207);
    const int kEvents = 10000;
    const int kChunk = 250;
    int sent = 0;
    while (sent < kEvents) {
        std::vector<std::string> argv{"xdotool"};
        for (int k = 0; k < kChunk && sent < kEvents; ++k, ++sent) {
            appendRandomEvent(argv, random, d.x, d.y, d.width, d.height, keys, true);
        }
        ASSERT_EQ(0, gui::runCommand(argv, 120).exitStatus) << "xdotool failed after " << sent << " events";
        ASSERT_TRUE(program.running()) << "the program ended after " << sent << " events";
        // Typing may have left text in the fields: a box then is expected; close it.
        for (const std::string& box : gui::findWindows("^Properties Input Error$")) gui::keyToWindow(box, "Return");
        EXPECT_TRUE(gui::findWindows("^Error$").empty()) << "an error box after " << sent << " events";
        // Now and then a controlled Apply and a cancelled Open File in the dialog.
        if (sent % 2500 == 0) {
            ASSERT_TRUE(activateSteadily(dialog));
            applyAndCancelOpenFile(dialog);
        }
    }

    // Still answering: the default file again (framed anew), then a click shows
    // its point; Esc ends the program normally.
    ASSERT_TRUE(activateSteadily(dialog));
    ASSERT_TRUE(clickDialogControl(dialog, 11, 318, 64, 14));  // Open File
    ASSERT_TRUE(gui::waitFor([&] { return !gui::activeWindow().empty() && gui::activeWindow() != dialog; }, 10));
    ASSERT_TRUE(gui::typeText((workDir / "Data" / "triangles_1.tri").string()));
    ASSERT_TRUE(gui::key("Return"));
    ASSERT_TRUE(gui::waitForWindow("triangles_1\\.tri$", 60).has_value());
    ASSERT_TRUE(gui::clickAt(window, 300, 250, 1));
    EXPECT_TRUE(gui::waitFor([&] { return capture().at(300, 250) == kPointGreen; }, 20)) << "no answer to a click";
    ASSERT_TRUE(activateSteadily(window));
    ASSERT_TRUE(gui::key("Escape"));
    EXPECT_EQ(0, exitStatus());
}

}  // namespace
