// The program on a bare X server, without any window manager.

#include <gtest/gtest.h>

#include "process.h"
#include "program_test.h"
#include "x_session.h"

namespace {

using namespace program_test;

// The first use of the session decides: this test process has no window manager.
class BareServer : public ::testing::Environment {
   public:
    void SetUp() override { gui::session(false); }
};

const auto* const bareServer = ::testing::AddGlobalTestEnvironment(new BareServer);

using NoWindowManager = ProgramTest;

TEST_F(NoWindowManager, StartsPlacesTheDialogAndEndsWithEsc) {
    ASSERT_FALSE(gui::session().hasWindowManager());
    writeDefaultMesh(gridMesh(8));
    start();
    waitForScene(kStartView);
    // Without frames the windows stand exactly where they were put: the
    // drawing window centred on the 1280 x 1024 screen, the dialog 5 pixels
    // to the right of it and 5 below its top.
    const gui::Geometry d = gui::windowGeometry(window);
    EXPECT_EQ(240, d.x);
    EXPECT_EQ(212, d.y);
    auto dialog = gui::waitForWindow("^Info$", 60);
    ASSERT_TRUE(dialog.has_value());
    const gui::Geometry i = gui::windowGeometry(*dialog);
    EXPECT_EQ(240 + 800 + 5, i.x);
    EXPECT_EQ(212 + 5, i.y);
    // Ctrl+Tab moves the input focus to the dialog and back.
    const auto focus = [] { return gui::runCommand({"xdotool", "getwindowfocus"}).out; };
    ASSERT_TRUE(gui::keyToWindow(window, "ctrl+Tab"));
    EXPECT_TRUE(gui::waitFor([&] { return focus() == *dialog + "\n"; }, 5)) << focus();
    ASSERT_TRUE(gui::key("ctrl+Tab"));
    EXPECT_TRUE(gui::waitFor([&] { return focus() == window + "\n"; }, 5)) << focus();
    ASSERT_TRUE(gui::key("Escape"));
    EXPECT_EQ(0, exitStatus());
}

}  // namespace
