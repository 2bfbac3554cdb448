// The Windows build of the program under Wine on a bare X server: the same
// picture, the system's own dialog, message boxes and message hook.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dialog_keys.h"
#include "image.h"
#include "process.h"
#include "program_test.h"
#include "x_session.h"

namespace {

using namespace program_test;

const std::string kWin32Dir = ORRELIN_WIN32_DIR;
const std::string kWineRun = ORRELIN_WINE_RUN;

// Ends the prefix's wineserver and with it Wine's desktop process, which
// stays bound to the X server of the program that started it.
void endWineServer() {
    gui::runCommand({"env", "WINEPREFIX=" + kWin32Dir + "/wine", "wineserver", "-k"}, 30);
    gui::runCommand({"env", "WINEPREFIX=" + kWin32Dir + "/wine", "wineserver", "-w"}, 30);
}

// Wine draws its windows' frames itself; the windows stay unmanaged. All
// tests of this process share the X server, and so one wineserver.
class WineServer : public ::testing::Environment {
   public:
    void SetUp() override {
        gui::session(false, "1600x1200x24");
        endWineServer();
        // When Wine cannot start a program at all, every test here would wait
        // in vain for its windows: none runs, and Wine's own words say why.
        const gui::CommandResult r = gui::runCommand({"env", "WINEPREFIX=" + kWin32Dir + "/wine", kWineRun,
                                                      kWin32Dir + "/tools/inspect/orrelin-inspect.exe", "--help"},
                                                     300);
        if (r.exitStatus != 0) {
            GTEST_FAIL() << "Wine cannot start a program here (status " << r.exitStatus << "):\n" << r.err << r.out;
        }
    }
    void TearDown() override { endWineServer(); }
};

const auto* const wineServer = ::testing::AddGlobalTestEnvironment(new WineServer);
const std::string kTitleWithDefault = "^Orrelin v1\\.1 - \\.\\\\Data\\\\triangles_1\\.tri$";

std::string focusedWindow() {
    std::string out = gui::runCommand({"xdotool", "getwindowfocus"}).out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// Real key presses (XTEST) while `window` has the focus: Wine reads the
// keyboard state itself, so keys sent to a window directly lose their
// modifiers. Which window is active right after start-up depends on timing
// under Wine, so the window is activated first when it is not.
bool focus(const std::string& window) {
    // Right after a modal window closes Wine may still be handing the focus back.
    if (gui::waitFor([&] { return focusedWindow() == window; }, 1)) return true;
    // A click on the caption bar Wine draws activates the window.
    gui::clickAt(window, 60, 10, 1);
    if (gui::waitFor([&] { return focusedWindow() == window; }, 5)) return true;
    // When the closed window took the X focus along, Wine may still count the
    // window active: then only the X focus has to come back to it.
    gui::runCommand({"xdotool", "windowfocus", "--sync", window}, 5);
    return gui::waitFor([&] { return focusedWindow() == window; }, 1);
}

bool keysTo(const std::string& window, const std::string& keys) {
    return focus(window) && gui::key(keys);
}

class WineProgram : public ProgramTest {
   protected:
    void startExe(const gui::Environment& extra = {}) {
        gui::Environment env{{"WINEPREFIX", kWin32Dir + "/wine"}};
        env.insert(env.end(), extra.begin(), extra.end());
        ASSERT_TRUE(program.start({kWineRun, kWin32Dir + "/desktop/main/orrelin.exe"}, env, workDir.string(),
                                  (workDir / "output.txt").string()))
            << program.error();
    }

    // The drawing window with the default mesh, its client area's corner
    // inside the frame Wine draws, and the Info dialog.
    void waitForWindows() {
        auto id = gui::waitForWindow(kTitleWithDefault, 60);
        ASSERT_TRUE(id.has_value()) << "no drawing window with the default file's title";
        window = *id;
        const gui::Geometry g = gui::windowGeometry(window);
        border = (g.width - 800) / 2;
        top = g.height - 600 - border;
        ASSERT_GE(border, 0);
        ASSERT_GT(top, 0);
        auto info = gui::waitForWindow("^Info$", 60);
        ASSERT_TRUE(info.has_value());
        dialog = *info;
        ASSERT_TRUE(gui::waitFor([&] { return orangeAt(kStartView, 150, 30); }, 20)) << "no split line";
    }

    bool orangeAt(const View& v, double x, double y) {
        const gui::Image image = gui::captureWindow(window);
        return image.valid() &&
               gui::anyPixelNear(image, border + rounded(v.px(x)), top + rounded(v.py(y)), 1, kOrange, kTolerance);
    }

    // Clicks the centre of a control of the Info dialog given in dialog units
    // (the dialog is 161 x 367 units), scaled by the dialog's client area: its
    // window less a frame like the drawing window's.
    bool clickDialogControl(int x, int y, int width, int height) {
        const gui::Geometry g = gui::windowGeometry(dialog);
        const double sx = (g.width - 2 * border) / 161.0;
        const double sy = (g.height - top - border) / 367.0;
        return gui::clickAt(dialog, border + static_cast<int>((x + width / 2.0) * sx),
                            top + static_cast<int>((y + height / 2.0) * sy));
    }

    std::string dialog;
    int border = 0;
    int top = 0;
};

TEST_F(WineProgram, StartsWithTheMeshBesideTheDialogAndEndsWithEsc) {
    writeDefaultMesh(gridMesh(16));
    startExe();
    waitForWindows();
    const View& v = kStartView;
    const gui::Image image = gui::captureWindow(window);
    EXPECT_EQ(kBlack, image.at(border + 10, top + 10));
    EXPECT_TRUE(gui::anyPixelNear(image, border + rounded(v.px(0)), top + rounded(v.py(110)), 1, kGrey, kTolerance));
    EXPECT_TRUE(orangeAt(v, 75, 60));  // a child's split line
    // The drawing window centred on the 1600 x 1200 screen, the dialog 5 pixels right of its frame.
    const gui::Geometry d = gui::windowGeometry(window);
    const gui::Geometry i = gui::windowGeometry(dialog);
    EXPECT_EQ(400, d.x);
    EXPECT_EQ(300, d.y);
    EXPECT_EQ(d.x + d.width + 5, i.x);
    EXPECT_EQ(d.y + 5, i.y);
    ASSERT_TRUE(keysTo(window, "Escape"));
    EXPECT_EQ(0, exitStatus(30));
}

TEST_F(WineProgram, ClickHighlightsAndCtrlTabTogglesTheActiveWindow) {
    writeDefaultMesh(gridMesh(16));
    startExe();
    waitForWindows();
    const View& v = kStartView;
    const int cx = rounded(v.px(40));
    const int cy = rounded(v.py(90));
    ASSERT_TRUE(gui::clickAt(window, border + cx, top + cy, 1));
    ASSERT_TRUE(gui::waitFor([&] { return gui::captureWindow(window).at(border + cx, top + cy) == kPointGreen; }, 20));
    EXPECT_GT(gui::countPixels(gui::captureWindow(window), 0, 0, 807, 640, kTestedRed, kTolerance), 100);

    ASSERT_TRUE(keysTo(window, "ctrl+Tab"));
    EXPECT_TRUE(gui::waitFor([&] { return focusedWindow() == dialog; }, 10)) << focusedWindow();
    ASSERT_TRUE(keysTo(dialog, "ctrl+Tab"));
    EXPECT_TRUE(gui::waitFor([&] { return focusedWindow() == window; }, 10)) << focusedWindow();
    // Esc in the dialog ends the program too.
    ASSERT_TRUE(keysTo(window, "ctrl+Tab"));
    ASSERT_TRUE(gui::waitFor([&] { return focusedWindow() == dialog; }, 10));
    ASSERT_TRUE(keysTo(dialog, "Escape"));
    EXPECT_EQ(0, exitStatus(30));
}

TEST_F(WineProgram, ValidationBoxFocusAndApplyWithDepthOne) {
    writeDefaultMesh(gridMesh(16));
    startExe();
    waitForWindows();
    ASSERT_TRUE(keysTo(window, "ctrl+Tab"));
    ASSERT_TRUE(gui::waitFor([&] { return focusedWindow() == dialog; }, 10));
    // Focus in the depth field; "11" is out of range.
    ASSERT_TRUE(keysTo(dialog, "ctrl+a 1 1 Tab Tab space"));
    auto box = gui::waitForWindow("^Properties Input Error$", 60);
    ASSERT_TRUE(box.has_value());
    ASSERT_TRUE(gui::key("Return"));  // the modal box has Wine's focus
    ASSERT_TRUE(gui::waitForNoWindow("^Properties Input Error$", 20));
    // The depth field has the focus with its text selected: "1" replaces it.
    ASSERT_TRUE(gui::waitFor([&] { return focusedWindow() == dialog; }, 10));
    ASSERT_TRUE(keysTo(dialog, "1 Tab Tab space"));
    ASSERT_TRUE(gui::waitFor([&] { return !orangeAt(kStartView, 75, 60); }, 20)) << "child lines still drawn";
    EXPECT_TRUE(gui::waitFor([&] { return orangeAt(kStartView, 150, 60); }, 10));
    EXPECT_TRUE(gui::findWindows("^Properties Input Error$").empty());
    ASSERT_TRUE(keysTo(dialog, "Escape"));
    EXPECT_EQ(0, exitStatus(30));
}

TEST_F(WineProgram, OpenFileCancelledAndChosen) {
    writeDefaultMesh(gridMesh(16));
    std::ofstream(workDir / "wide.tri", std::ios::binary) << gridMesh(8, 400, 300);
    startExe();
    waitForWindows();
    ASSERT_TRUE(keysTo(window, "ctrl+Tab"));
    ASSERT_TRUE(gui::waitFor([&] { return focusedWindow() == dialog; }, 10));
    // Open File is the third tab stop after the depth field.
    ASSERT_TRUE(keysTo(dialog, "Tab Tab Tab space"));
    auto chooser = gui::waitForWindow("^Open$", 60);
    ASSERT_TRUE(chooser.has_value()) << "no file chooser";
    // Wine hands keys to its own focus window (the chooser's file name field)
    // whichever of its X windows has the X focus.
    ASSERT_TRUE(gui::key("Escape"));
    ASSERT_TRUE(gui::waitForNoWindow("^Open$", 20));
    EXPECT_TRUE(program.running());
    ASSERT_TRUE(keysTo(dialog, "space"));  // Open File still has the focus
    chooser = gui::waitForWindow("^Open$", 60);
    ASSERT_TRUE(chooser.has_value());
    ASSERT_TRUE(gui::typeText("wide.tri"));
    ASSERT_TRUE(gui::key("Return"));
    auto loaded = gui::waitForWindow("^Orrelin v1\\.1 - .*wide\\.tri$", 60);
    ASSERT_TRUE(loaded.has_value());
    const View wide{200, 150, 500};
    EXPECT_TRUE(gui::waitFor([&] { return orangeAt(wide, 200, 30); }, 20));
    ASSERT_TRUE(keysTo(window, "Escape"));
    EXPECT_EQ(0, exitStatus(30));
}

// Where the focus is, as the dialog's thread sees it once it has handled the
// input sent so far (a small Windows program asks it).
struct ThreadFocus {
    std::string active;  // title of the thread's active window
    int control = dialog_keys::kUnknown;
    std::string said;  // what the probe printed
};

ThreadFocus threadFocus() {
    const gui::CommandResult r = gui::runCommand(
        {"env", "WINEPREFIX=" + kWin32Dir + "/wine", kWineRun, kWin32Dir + "/tests/orrelin_focus_probe.exe"}, 30);
    ThreadFocus focus;
    focus.said = r.out + r.err;
    const std::size_t first = r.out.find('|');
    const std::size_t second = r.out.find('|', first + 1);
    if (r.exitStatus != 0 || second == std::string::npos) return focus;
    focus.active = r.out.substr(0, first);
    focus.control = std::atoi(r.out.c_str() + first + 1);
    std::string text = r.out.substr(second + 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (focus.control == -1 && text == "Move Cam:") focus.control = dialog_keys::kLastText;
    return focus;
}

// Enter, Space, the arrows, Tab, Shift+Tab and Ctrl+Shift+Tab on each of the
// dialog's four focusable controls: the system's own dialog keyboard handling.
// The Linux dialog is held to the same table.
TEST_F(WineProgram, DialogKeysOnEachControl) {
    using namespace dialog_keys;
    writeDefaultMesh(gridMesh(8));
    startExe();
    waitForWindows();
    ASSERT_TRUE(keysTo(window, "ctrl+Tab"));
    ASSERT_TRUE(gui::waitFor([&] { return focusedWindow() == dialog; }, 10));
    ASSERT_TRUE(keysTo(dialog, "ctrl+a 0"));  // an invalid depth: Apply shows the box
    ThreadFocus now = threadFocus();
    for (const Case& expected : kWindowsBehaviour) {
        // Tab from where the focus is; from the last text Shift+Tab first, to Open File.
        ASSERT_EQ("Info", now.active);
        if (now.control == kLastText) {
            ASSERT_TRUE(keysTo(dialog, "shift+Tab"));
            now.control = kOpenFile;
        }
        auto position = [](int control) {
            return static_cast<int>(std::find(kTabStops.begin(), kTabStops.end(), control) - kTabStops.begin());
        };
        ASSERT_LT(position(now.control), 4) << now.said;
        std::string tabs;
        for (int k = (position(expected.from) - position(now.control) + 4) % 4; k > 0; --k) tabs += "Tab ";
        if (!tabs.empty()) {
            ASSERT_TRUE(keysTo(dialog, tabs));
        }
        ASSERT_TRUE(keysTo(dialog, expected.keys));
        Case seen{expected.from, expected.keys, kNothing, kUnknown};
        now = threadFocus();
        // A window the keys should open can take seconds to appear on a busy
        // machine; waiting for it changes nothing when it never comes.
        if (expected.pressed != kNothing) {
            gui::waitFor(
                [&] {
                    now = threadFocus();
                    return now.active == "Properties Input Error" || now.active == "Open";
                },
                30, 0.2);
        }
        if (now.active == "Properties Input Error" || now.active == "Open") {
            seen.pressed = now.active == "Open" ? kOpenFile : kApply;
            ASSERT_TRUE(gui::key(now.active == "Open" ? "Escape" : "Return"));  // the modal window has the keyboard
            now = threadFocus();
            // Wine's windows here have no window manager: once the chooser is
            // gone, the dialog is active again only when clicked.
            for (int attempt = 0; attempt < 3 && now.active.empty(); ++attempt) {
                gui::clickAt(dialog, 60, 10, 1);
                now = threadFocus();
            }
        }
        seen.focus = now.control;
        EXPECT_EQ(describe(expected), describe(seen)) << now.said;
    }
    ASSERT_TRUE(keysTo(dialog, "Escape"));
    EXPECT_EQ(0, exitStatus(30));
}

// What the system does with input while a modal window is open: the
// dialog's box disables the dialog only, so a click on the drawing window
// locates at once and Esc there ends the program once the box is closed; the
// chooser disables both windows, and what the drawing window is given
// meanwhile is dropped.
TEST_F(WineProgram, InputWhileAModalWindowIsOpenIsHandledAtOnceOrDropped) {
    writeDefaultMesh(gridMesh(16));
    startExe();
    waitForWindows();
    ASSERT_TRUE(keysTo(window, "ctrl+Tab"));
    ASSERT_TRUE(gui::waitFor([&] { return focusedWindow() == dialog; }, 10));
    ASSERT_TRUE(keysTo(dialog, "ctrl+a 0 Tab Tab space"));
    ASSERT_TRUE(gui::waitForWindow("^Properties Input Error$", 60).has_value());
    const View& v = kStartView;
    const int x = border + rounded(v.px(40)), y = top + rounded(v.py(97));
    ASSERT_TRUE(gui::clickAt(window, x, y, 1));
    EXPECT_TRUE(gui::waitFor([&] { return gui::captureWindow(window).at(x, y) == kPointGreen; }, 20));
    ASSERT_FALSE(gui::findWindows("^Properties Input Error$").empty());
    // Without a window manager Wine lets the clicked window cover the box.
    const std::string box = *gui::waitForWindow("^Properties Input Error$", 1);
    gui::runCommand({"xdotool", "windowraise", box});
    ASSERT_TRUE(focus(box));
    ASSERT_TRUE(gui::key("Return"));
    ASSERT_TRUE(gui::waitForNoWindow("^Properties Input Error$", 20));

    ASSERT_TRUE(focus(dialog));
    const gui::Image before = gui::captureWindow(window);
    ASSERT_TRUE(clickDialogControl(11, 318, 64, 14));  // Open File
    ASSERT_TRUE(gui::waitForWindow("^Open$", 60).has_value());
    ASSERT_TRUE(gui::clickAt(window, border + rounded(v.px(200)), top + rounded(v.py(300)), 1));
    ASSERT_TRUE(gui::clickAt(window, border + 400, top + 300, 4));
    ASSERT_TRUE(gui::key("Escape"));  // the chooser keeps the keyboard
    ASSERT_TRUE(gui::waitForNoWindow("^Open$", 20));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(gui::captureWindow(window).rgb == before.rgb) << "input given during the chooser was carried out";

    ASSERT_TRUE(focus(dialog));
    ASSERT_TRUE(clickDialogControl(85, 318, 64, 14));  // Apply
    ASSERT_TRUE(gui::waitForWindow("^Properties Input Error$", 60).has_value());
    ASSERT_TRUE(gui::clickAt(window, border + 10, top + 10, 1));
    ASSERT_TRUE(gui::waitFor([&] { return focusedWindow() == window; }, 10));
    // Esc is taken at once, but the drawing window goes (and the program
    // ends) only once the box is closed: the windowing library destroys
    // windows from its own loop.
    ASSERT_TRUE(gui::key("Escape"));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(program.running());
    const std::string last = *gui::waitForWindow("^Properties Input Error$", 1);
    gui::runCommand({"xdotool", "windowraise", last});
    ASSERT_TRUE(focus(last));
    ASSERT_TRUE(gui::key("Return"));
    EXPECT_EQ(0, exitStatus(30));
}

// A thousand random events over both windows under Wine; the program still
// answers a click and ends normally.
TEST_F(WineProgram, AThousandRandomEvents) {
    writeDefaultMesh(gridMesh(16));
    startExe();
    waitForWindows();
    const gui::Geometry d = gui::windowGeometry(window);
    const std::vector<std::string> keys{"Up",         "Down",       "Left",        "Right",    "shift+Up",
                                        "shift+Down", "shift+Left", "shift+Right", "ctrl+Tab", "Tab",
                                        "a",          "7",          "BackSpace",   "F5"};
    std::mt19937 random(1207);
    int sent = 0;
    while (sent < 1000) {
        std::vector<std::string> argv{"xdotool"};
        for (int k = 0; k < 100; ++k, ++sent) {
            appendRandomEvent(argv, random, d.x + border, d.y + top, 800, 600, keys, false);
        }
        ASSERT_EQ(0, gui::runCommand(argv, 120).exitStatus);
        ASSERT_TRUE(program.running()) << "ended after " << sent << " events";
        for (const std::string& box : gui::findWindows("^Properties Input Error$")) {
            (void)box;
            gui::key("Return");
        }
        EXPECT_TRUE(gui::findWindows("^Error$").empty());
    }
    // Still answering: the default file again through Open File (the events
    // may have moved the mesh out of sight; loading frames it anew), then a
    // click on the mesh in the activated drawing window shows its point.
    ASSERT_TRUE(focus(dialog));
    ASSERT_TRUE(clickDialogControl(11, 318, 64, 14));  // Open File
    ASSERT_TRUE(gui::waitForWindow("^Open$", 60).has_value()) << "no file chooser";
    ASSERT_TRUE(gui::typeText("Data\\triangles_1.tri"));
    ASSERT_TRUE(gui::key("Return"));
    ASSERT_TRUE(gui::waitForNoWindow("^Open$", 20));
    ASSERT_TRUE(gui::waitFor([&] { return orangeAt(kStartView, 75, 60); }, 20)) << "the mesh is not framed anew";
    ASSERT_TRUE(focus(window));
    const int cx = border + rounded(kStartView.px(40));
    const int cy = top + rounded(kStartView.py(90));
    ASSERT_TRUE(gui::clickAt(window, cx, cy, 1));
    EXPECT_TRUE(gui::waitFor([&] { return gui::captureWindow(window).at(cx, cy) == kPointGreen; }, 20))
        << "no answer to a click";
    // Esc from the drawing window ends the program normally.
    ASSERT_TRUE(keysTo(window, "Escape"));
    EXPECT_EQ(0, exitStatus(30));
}

TEST_F(WineProgram, MissingDefaultFileShowsTheError) {
    startExe();
    auto box = gui::waitForWindow("^Error$", 60);
    ASSERT_TRUE(box.has_value());
    ASSERT_TRUE(gui::key("Return"));
    ASSERT_TRUE(gui::waitForNoWindow("^Error$", 20));
    auto drawing = gui::waitForWindow("^Orrelin v1\\.1$", 60);
    ASSERT_TRUE(drawing.has_value());
    // Esc ends the program before any scene, through the dialog's accelerator.
    ASSERT_TRUE(gui::waitFor([&] { return !gui::findWindows("^Info$").empty(); }, 20));
    ASSERT_TRUE(keysTo(*drawing, "Escape"));
    EXPECT_EQ(0, exitStatus(30));
}

TEST_F(WineProgram, WithoutBufferObjectsTellsSoAndEndsWithStatusZero) {
    writeDefaultMesh(gridMesh(8));
    startExe({{"MESA_GL_VERSION_OVERRIDE", "1.4"}});
    auto box = gui::waitForWindow("^Error$", 60);
    ASSERT_TRUE(box.has_value());
    EXPECT_TRUE(gui::findWindows("^Info$").empty());
    ASSERT_TRUE(gui::key("Return"));
    EXPECT_EQ(0, exitStatus(30));
}

}  // namespace

namespace {

// orrelin-inspect.exe prints the same bytes as the Linux build: same floats
// to the bit, same quadtree, same point locations.
TEST(WindowsInspect, PrintsTheSameJsonAsTheLinuxBuild) {
    const fs::path dir = fs::path(gui::session().tempDir()) / "inspect";
    fs::create_directories(dir);
    const std::vector<std::vector<std::string>> meshes{
        {"grid", "2000", "--seed", "3"}, {"density", "3000", "--seed", "5"}, {"slivers", "500", "--seed", "7"}};
    int k = 0;
    for (const auto& kind : meshes) {
        const std::string name = "mesh" + std::to_string(k++) + ".tri";
        std::vector<std::string> generate{ORRELIN_MESHGEN_EXE, kind[0], kind[1], (dir / name).string()};
        generate.insert(generate.end(), kind.begin() + 2, kind.end());
        ASSERT_EQ(0, gui::runCommand(generate).exitStatus);
        for (const std::vector<std::string>& limits :
             {std::vector<std::string>{}, std::vector<std::string>{"--max-depth", "10", "--max-triangles", "1"}}) {
            std::vector<std::string> args{name};
            args.insert(args.end(), limits.begin(), limits.end());
            for (const char* point : {"0.5", "123.25", "-7", "1e3"}) {
                args.insert(args.end(), {"--locate", point, point});
            }
            // Run from the mesh's folder so that both print the same file name.
            std::vector<std::string> linux{"env", "-C", dir.string(), ORRELIN_INSPECT_EXE};
            linux.insert(linux.end(), args.begin(), args.end());
            std::vector<std::string> windows{"env",        "-C",
                                             dir.string(), "WINEPREFIX=" + kWin32Dir + "/wine",
                                             kWineRun,     kWin32Dir + "/tools/inspect/orrelin-inspect.exe"};
            windows.insert(windows.end(), args.begin(), args.end());
            const gui::CommandResult expected = gui::runCommand(linux, 60);
            gui::CommandResult actual = gui::runCommand(windows, 120);
            if (actual.exitStatus == 0 && actual.out.empty()) {
                // Seen once under a loaded machine: Wine started, printed
                // nothing and reported success. A second run tells a Wine
                // hiccup from a program that prints nothing.
                endWineServer();
                actual = gui::runCommand(windows, 120);
            }
            ASSERT_EQ(0, expected.exitStatus) << expected.err;
            EXPECT_EQ(0, actual.exitStatus) << actual.err;
            EXPECT_GT(expected.out.size(), 1000u);
            EXPECT_TRUE(expected.out == actual.out)
                << name << " differs (" << expected.out.size() << " vs " << actual.out.size() << " bytes)";
        }
    }
}

}  // namespace
