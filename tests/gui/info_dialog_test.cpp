// The Info dialog beside the drawing window, driven with real keys: its
// placement, the property checks and their boxes, Apply, Open File, and the
// keys that work in both windows.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dialog_keys.h"
#include "image.h"
#include "process.h"
#include "program_test.h"
#include "special_files.h"
#include "x_session.h"

namespace {

using namespace program_test;

const gui::Rgb kWarningYellow{255, 255, 0};

// The frame a window manager draws around a window: left, right, top, bottom.
std::vector<int> frameExtents(const std::string& window) {
    const gui::CommandResult r = gui::runCommand({"xprop", "-id", window, "_NET_FRAME_EXTENTS"});
    std::vector<int> extents;
    const std::size_t eq = r.out.find('=');
    if (eq == std::string::npos) return {0, 0, 0, 0};
    std::string values = r.out.substr(eq + 1);
    for (char& c : values) {
        if (c == ',') c = ' ';
    }
    std::istringstream in(values);
    int v = 0;
    while (in >> v) extents.push_back(v);
    if (extents.size() != 4) return {0, 0, 0, 0};
    return extents;
}

class InfoDialog : public ProgramTest {
   protected:
    void startWithScene(const std::string& mesh = gridMesh(16)) {
        writeDefaultMesh(mesh);
        start();
        waitForScene(kStartView);
        findDialog();
    }

    void findDialog() {
        auto id = gui::waitForWindow("^Info$", 60);
        ASSERT_TRUE(id.has_value()) << "no Info dialog";
        dialog = *id;
    }

    // Makes the dialog the active window with Ctrl+Tab from the drawing window.
    void toDialog() {
        ASSERT_TRUE(gui::waitFor([&] { return gui::activeWindow() == window; }, 5)) << "drawing window not active";
        ASSERT_TRUE(gui::key("ctrl+Tab"));
        ASSERT_TRUE(gui::waitFor([&] { return gui::activeWindow() == dialog; }, 5))
            << "Ctrl+Tab did not reach the dialog";
    }

    // Replaces the text of the focused edit.
    void typeInto(const std::string& text) {
        ASSERT_TRUE(gui::key("ctrl+a BackSpace"));
        if (!text.empty()) {
            ASSERT_TRUE(gui::typeText(text));
        }
    }

    // Waits for the properties box and returns its copied text; closes it with `closeKey`.
    std::string propertiesBox(const std::string& closeKey = "Return") {
        auto box = gui::waitForWindow("^Properties Input Error$", 60);
        if (!box) return "no box";
        const std::string text = boxText(*box);
        yellowPixels = iconPixels(*box, kWarningYellow);
        gui::keyToWindow(*box, closeKey);
        gui::waitForNoWindow("^Properties Input Error$", 10);
        return text;
    }

    // The window that became active instead of the dialog (the file chooser).
    std::string waitForChooser() {
        std::string chooser;
        gui::waitFor(
            [&] {
                const std::string active = gui::activeWindow();
                if (active.empty() || active == dialog || active == window) return false;
                chooser = active;
                return true;
            },
            10);
        return chooser;
    }

    // Starts without a default file, closes the error box about it and finds
    // both windows.
    void startWithoutScene(const gui::Environment& env = {}, const std::vector<std::string>& args = {}) {
        start(env, {}, args);
        auto box = gui::waitForWindow("^Error$", 60);
        ASSERT_TRUE(box.has_value());
        ASSERT_TRUE(gui::keyToWindow(*box, "Return"));
        ASSERT_TRUE(gui::waitForNoWindow("^Error$", 10));
        findDialog();
        auto drawing = gui::findWindows("^Orrelin v1\\.1$");
        ASSERT_EQ(1u, drawing.size());
        window = drawing.front();
    }

    // Opens the chooser with a click on Open File, wherever the focus is.
    std::string openChooser() {
        toDialog();
        clickDialogControl(dialog, 11, 318, 64, 14);
        return waitForChooser();
    }

    // Chooses `file` by typing its path into the chooser; the load fails:
    // the message names the path, and once it is closed the title and the
    // picture are `before`'s. Reading a file to its end before refusing it
    // (a gigabyte of white space) may take minutes in the sanitizer build on
    // a busy machine: the wait is for the message, however long it takes.
    void chooseAndExpectTheLoadMessage(const fs::path& file, const gui::Image& before) {
        const std::string chooser = openChooser();
        EXPECT_FALSE(chooser.empty()) << "no file chooser";
        if (chooser.empty()) return;
        EXPECT_TRUE(gui::typeText(file.string()));
        EXPECT_TRUE(gui::key("Return"));
        auto box = gui::waitForWindow("^Error$", 300);
        EXPECT_TRUE(box.has_value()) << "no message for " << file;
        if (!box) return;
        EXPECT_EQ(boxCopy("Error", "The file \"" + file.string() + "\" could not be opened."), boxText(*box));
        EXPECT_TRUE(gui::keyToWindow(*box, "Return"));
        EXPECT_TRUE(gui::waitForNoWindow("^Error$", 10));
        EXPECT_EQ("Orrelin v1.1 - ./Data/triangles_1.tri", gui::windowName(window)) << file;
        EXPECT_TRUE(gui::waitFor([&] { return capture().rgb == before.rgb; }, 10)) << file;
    }

    std::string dialog;
    int yellowPixels = 0;
};

const std::string kDepthText = "Invalid depth. Only values between 1 and 10 are allowed.";
const std::string kTrianglesText = "Invalid number of triangles. Only values between 1 and 10000 are allowed.";

TEST_F(InfoDialog, StandsBesideTheDrawingWindowWhichIsActive) {
    startWithScene();
    const gui::Geometry d = gui::windowGeometry(window);
    const gui::Geometry i = gui::windowGeometry(dialog);
    const std::vector<int> de = frameExtents(window);
    const std::vector<int> ie = frameExtents(dialog);
    // Frame top-left at (drawing frame's right edge + 5, its top edge + 5).
    EXPECT_EQ(d.x + d.width + de[1] + 5, i.x - ie[0]);
    EXPECT_EQ(d.y - de[2] + 5, i.y - ie[2]);
    EXPECT_TRUE(gui::waitFor([&] { return gui::activeWindow() == window; }, 5));
    // Ctrl+Tab both ways.
    toDialog();
    ASSERT_TRUE(gui::key("ctrl+Tab"));
    EXPECT_TRUE(gui::waitFor([&] { return gui::activeWindow() == window; }, 5));
    // Ctrl+Shift+Tab is no accelerator.
    ASSERT_TRUE(gui::key("ctrl+shift+Tab"));
    EXPECT_FALSE(gui::waitFor([&] { return gui::activeWindow() == dialog; }, 0.5));
}

TEST_F(InfoDialog, InvalidPropertiesAreReportedAndTheFaultyFieldSelected) {
    startWithScene();
    toDialog();
    // The focus starts in the depth field: depth 11, triangles 0.
    typeInto("11");
    ASSERT_TRUE(gui::key("Tab"));
    typeInto("0");
    ASSERT_TRUE(gui::key("Tab space"));  // Apply
    // Depth is checked first.
    EXPECT_EQ(boxCopy("Properties Input Error", kDepthText), propertiesBox());
    EXPECT_GT(yellowPixels, 100);  // the warning icon
    // The depth field has the focus with its text selected: typing replaces it.
    ASSERT_TRUE(gui::typeText("1"));
    ASSERT_TRUE(gui::key("Tab Tab space"));
    EXPECT_EQ(boxCopy("Properties Input Error", kTrianglesText), propertiesBox("Escape"));
    ASSERT_TRUE(program.running());  // Esc closed the box only
    // Now the triangles field has the focus, selected.
    ASSERT_TRUE(gui::typeText("10000"));
    ASSERT_TRUE(gui::key("Tab space"));
    // Depth 1: only the root's two centre lines are left.
    const View& v = kStartView;
    ASSERT_TRUE(gui::waitFor(
        [&] {
            const gui::Image image = capture();
            return image.valid() &&
                   !gui::anyPixelNear(image, rounded(v.px(75)), rounded(v.py(60)), 1, kOrange, kTolerance);
        },
        10))
        << "the child split lines are still drawn";
    const gui::Image image = capture();
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(v.px(150)), rounded(v.py(60)), 1, kOrange, kTolerance));
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(v.px(60)), rounded(v.py(200)), 1, kOrange, kTolerance));
    EXPECT_FALSE(gui::findWindows("^Properties Input Error$").size() > 0);
}

// Enter, Space, the arrows, Tab, Shift+Tab and Ctrl+Shift+Tab on each of the
// four focusable controls do what they do in the Windows build.
TEST_F(InfoDialog, KeysOnEachControlDoWhatTheWindowsDialogDoes) {
    startWithScene();
    toDialog();
    typeInto("0");  // an invalid depth: Apply shows the box
    const dialog_keys::Driver driver{[&](const std::string& keys) { return gui::keyToWindow(dialog, keys); },
                                     [&] { return clickDialogControl(dialog, 85, 318, 64, 14); }, 0.6};
    dialog_keys::Prober prober(driver);
    for (const dialog_keys::Case& expected : dialog_keys::kWindowsBehaviour) {
        EXPECT_EQ(dialog_keys::describe(expected), dialog_keys::describe(prober.outcome(expected.from, expected.keys)));
    }
    ASSERT_TRUE(gui::keyToWindow(dialog, "Escape"));
    EXPECT_EQ(0, exitStatus());
}

// A box of the dialog disables the dialog only, as on Windows: a click and a
// wheel notch on the drawing window are handled at once, and Esc there ends
// the program once the box is closed. The chooser disables both windows: what
// is given to the drawing window meanwhile is dropped, not carried out when
// it closes.
TEST_F(InfoDialog, InputWhileAModalWindowIsOpenIsHandledAtOnceOrDropped) {
    startWithScene();
    toDialog();
    typeInto("0");
    ASSERT_TRUE(gui::key("Tab Tab space"));
    auto box = gui::waitForWindow("^Properties Input Error$", 60);
    ASSERT_TRUE(box.has_value());
    const View& v = kStartView;
    const int x = rounded(v.px(40)), y = rounded(v.py(97));
    ASSERT_TRUE(gui::clickAt(window, x, y, 1));
    EXPECT_TRUE(gui::waitFor([&] { return capture().at(x, y) == kPointGreen; }, 10)) << "the click waited";
    EXPECT_TRUE(stackedAbove(*box, window)) << "the box fell behind the drawing window";
    ASSERT_TRUE(gui::clickAt(window, 400, 300, 4));  // a notch toward the plane
    const View nearer{150, 200, 450};
    EXPECT_TRUE(waitForOrangeAt(nearer, 75, 60)) << "the notch waited";
    ASSERT_FALSE(gui::findWindows("^Properties Input Error$").empty());
    // Moved over the drawing window and away again, the box leaves no trace:
    // the drawing window is drawn again where it was uncovered.
    const gui::Image shown = capture();
    const gui::Geometry g = gui::windowGeometry(window);
    const gui::Geometry b = gui::windowGeometry(*box);
    ASSERT_EQ(0, gui::runCommand(
                     {"xdotool", "windowmove", "--sync", *box, std::to_string(g.x + 300), std::to_string(g.y + 250)})
                     .exitStatus);
    ASSERT_EQ(0, gui::runCommand(
                     {"xdotool", "windowmove", "--sync", *box, std::to_string(b.x), std::to_string(b.y + g.height)})
                     .exitStatus);
    EXPECT_TRUE(gui::waitFor([&] { return capture().rgb == shown.rgb; }, 5)) << "an old picture where the box was";
    ASSERT_TRUE(gui::keyToWindow(*box, "Return"));
    ASSERT_TRUE(gui::waitForNoWindow("^Properties Input Error$", 10));

    const gui::Image before = capture();
    ASSERT_TRUE(clickDialogControl(dialog, 11, 318, 64, 14));  // Open File
    const std::string chooser = waitForChooser();
    ASSERT_FALSE(chooser.empty());
    ASSERT_TRUE(gui::clickAt(window, rounded(nearer.px(200)), rounded(nearer.py(300)), 1));
    ASSERT_TRUE(gui::clickAt(window, 400, 300, 5));
    ASSERT_TRUE(gui::keyToWindow(window, "Up shift+Left"));
    EXPECT_TRUE(stackedAbove(chooser, window)) << "the chooser fell behind the drawing window";
    ASSERT_TRUE(gui::keyToWindow(chooser, "Escape"));
    ASSERT_TRUE(gui::waitFor([&] { return gui::activeWindow() == dialog; }, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(capture().rgb == before.rgb) << "input given during the chooser was carried out";

    // Esc in the drawing window while the dialog's box is open ends the
    // program once the box is closed, as the Windows build does.
    ASSERT_TRUE(gui::key("shift+Tab space"));  // Apply, from Open File
    box = gui::waitForWindow("^Properties Input Error$", 60);
    ASSERT_TRUE(box.has_value());
    ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(program.running());
    EXPECT_FALSE(gui::findWindows("^Properties Input Error$").empty());
    ASSERT_TRUE(gui::keyToWindow(*box, "Return"));
    EXPECT_EQ(0, exitStatus());
}

// The dialog is owned by the drawing window: above it whatever it does,
// minimised and restored with it. It asks for a frame with a title and a
// border only, which cannot be resized (openbox keeps its close and minimise
// buttons whatever a window asks; the others follow the request).
TEST_F(InfoDialog, OwnedByTheDrawingWindowWithATitleOnly) {
    startWithScene();
    EXPECT_EQ(window, transientFor(dialog));
    // Flags: functions and decorations; functions: move; decorations: border and title.
    EXPECT_NE(std::string::npos, gui::runCommand({"xprop", "-id", dialog, "_MOTIF_WM_HINTS"})
                                     .out.find("_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = 0x3, 0x4, 0xa, 0x0, 0x0"));
    const std::string actions = gui::runCommand({"xprop", "-id", dialog, "_NET_WM_ALLOWED_ACTIONS"}).out;
    EXPECT_NE(std::string::npos, actions.find("_NET_WM_ACTION_MOVE")) << actions;
    EXPECT_EQ(std::string::npos, actions.find("_NET_WM_ACTION_MAXIMIZE_HORZ")) << actions;
    EXPECT_EQ(std::string::npos, actions.find("_NET_WM_ACTION_RESIZE")) << actions;
    auto viewable = [](const std::string& id) {
        return gui::runCommand({"xwininfo", "-id", id}).out.find("IsViewable") != std::string::npos;
    };
    ASSERT_TRUE(gui::clickAt(window, 10, 10, 1));  // black: nothing to locate
    ASSERT_TRUE(gui::waitFor([&] { return gui::activeWindow() == window; }, 5));
    EXPECT_TRUE(stackedAbove(dialog, window));
    ASSERT_EQ(0, gui::runCommand({"wmctrl", "-i", "-r", window, "-b", "add,maximized_vert,maximized_horz"}).exitStatus);
    EXPECT_TRUE(gui::waitFor([&] { return gui::windowGeometry(window).width > 1000; }, 5));
    EXPECT_TRUE(stackedAbove(dialog, window));
    EXPECT_TRUE(viewable(dialog));
    ASSERT_EQ(0,
              gui::runCommand({"wmctrl", "-i", "-r", window, "-b", "remove,maximized_vert,maximized_horz"}).exitStatus);
    ASSERT_EQ(0, gui::runCommand({"xdotool", "windowminimize", "--sync", window}).exitStatus);
    EXPECT_TRUE(gui::waitFor([&] { return !viewable(dialog); }, 5)) << "the dialog stayed on the screen";
    ASSERT_EQ(0, gui::runCommand({"xdotool", "windowactivate", "--sync", window}).exitStatus);
    EXPECT_TRUE(gui::waitFor([&] { return viewable(dialog) && viewable(window); }, 5));
    EXPECT_TRUE(stackedAbove(dialog, window));
}

TEST_F(InfoDialog, EmptyTextLettersAndNegativeNumbersAreInvalidDepths) {
    startWithScene();
    toDialog();
    // Enter in an edit presses no button.
    typeInto("0");
    ASSERT_TRUE(gui::key("Return"));
    EXPECT_FALSE(gui::waitForWindow("^Properties Input Error$", 0.5).has_value());
    for (const std::string depth : {"", "abc", "-1", "0", "4294967297"}) {
        typeInto(depth);
        ASSERT_TRUE(gui::key("Tab Tab space"));
        EXPECT_EQ(boxCopy("Properties Input Error", kDepthText), propertiesBox()) << '"' << depth << '"';
    }
    // With a valid depth the triangles are judged.
    typeInto("10");
    ASSERT_TRUE(gui::key("Tab"));
    for (const std::string triangles : {"10001", "0", "x"}) {
        typeInto(triangles);
        ASSERT_TRUE(gui::key("Tab space"));
        EXPECT_EQ(boxCopy("Properties Input Error", kTrianglesText), propertiesBox()) << '"' << triangles << '"';
    }
    ASSERT_TRUE(gui::key("shift+Tab"));  // back to the depth field
    // Bounds are inclusive: depth 10 with 10000 triangles and depth 1 with 1 triangle are accepted.
    for (const auto& [depth, triangles] : {std::pair{"10", "10000"}, std::pair{"1", "1"}}) {
        typeInto(depth);
        ASSERT_TRUE(gui::key("Tab"));
        typeInto(triangles);
        ASSERT_TRUE(gui::key("Tab space shift+Tab shift+Tab"));
        EXPECT_FALSE(gui::waitForWindow("^Properties Input Error$", 0.5).has_value()) << depth << "/" << triangles;
    }
}

TEST_F(InfoDialog, ApplyLocatesTheLastClickAgainButDrawsNoHighlightBeforeOne) {
    startWithScene();
    const View& v = kStartView;
    toDialog();
    // The child split line x = 75 is there at the default limits and goes at depth 1.
    ASSERT_TRUE(waitForOrangeAt(v, 75, 60));
    typeInto("1");
    ASSERT_TRUE(gui::key("Tab Tab space"));
    ASSERT_TRUE(gui::waitFor(
        [&] {
            const gui::Image image = capture();
            return !gui::anyPixelNear(image, rounded(v.px(75)), rounded(v.py(60)), 1, kOrange, kTolerance);
        },
        10));
    gui::Image image = capture();
    EXPECT_EQ(0, gui::countPixels(image, 0, 0, 799, 599, kTestedRed, kTolerance));
    EXPECT_EQ(0, gui::countPixels(image, 0, 0, 799, 599, kPointGreen, 0));

    // A click, then Apply with other limits: the same point is located again.
    const int cx = rounded(v.px(40));
    const int cy = rounded(v.py(90));
    ASSERT_TRUE(gui::clickAt(window, cx, cy, 1));
    ASSERT_TRUE(gui::waitFor([&] { return capture().at(cx, cy) == kPointGreen; }, 10));
    const int redBefore = gui::countPixels(capture(), 0, 0, 799, 599, kTestedRed, kTolerance);
    ASSERT_TRUE(gui::key("ctrl+Tab"));  // back to the dialog, where Apply kept the focus
    ASSERT_TRUE(gui::waitFor([&] { return gui::activeWindow() == dialog; }, 5));
    ASSERT_TRUE(gui::key("shift+Tab shift+Tab"));  // to the depth field
    typeInto("5");
    ASSERT_TRUE(gui::key("Tab Tab space"));
    ASSERT_TRUE(gui::waitFor(
        [&] {
            image = capture();
            return gui::anyPixelNear(image, rounded(v.px(75)), rounded(v.py(60)), 1, kOrange, kTolerance);
        },
        10));
    EXPECT_EQ(kPointGreen, image.at(cx, cy));
    const int redAfter = gui::countPixels(image, 0, 0, 799, 599, kTestedRed, kTolerance);
    EXPECT_GT(redAfter, 100);
    EXPECT_LT(redAfter, redBefore);  // a smaller region at depth 5 than at depth 1
}

TEST_F(InfoDialog, OpenFileLoadsTheChosenMeshFramedWithItsPathInTheTitle) {
    startWithScene();
    const fs::path other = workDir / "wide.tri";
    std::ofstream(other, std::ios::binary) << gridMesh(8, 400, 300);
    const std::string chooser = openChooser();
    ASSERT_FALSE(chooser.empty()) << "no file chooser";
    ASSERT_TRUE(gui::typeText(other.string()));
    ASSERT_TRUE(gui::key("Return"));
    auto loaded = gui::waitForWindow("^Orrelin v1\\.1 - " + other.string() + "$", 60);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(window, *loaded);
    // Framed above the new mesh: bounds (0, 0)-(400, 300), eye (200, 150, 500).
    const View wide{200, 150, 500};
    EXPECT_TRUE(waitForOrangeAt(wide, 200, 30));
    EXPECT_TRUE(gui::anyPixelNear(capture(), rounded(wide.px(0)), rounded(wide.py(75)), 1, kGrey, kTolerance));
    // The drawing window is in front again and both windows still work.
    EXPECT_TRUE(gui::waitFor([&] { return gui::activeWindow() == window; }, 5));
    ASSERT_TRUE(gui::key("Escape"));
    EXPECT_EQ(0, exitStatus());
}

TEST_F(InfoDialog, CancelledOpenFileChangesNothing) {
    startWithScene();
    const gui::Image before = capture();
    const std::string chooser = openChooser();
    ASSERT_FALSE(chooser.empty()) << "no file chooser";
    ASSERT_TRUE(gui::key("Escape"));  // cancels the chooser, not the program
    ASSERT_TRUE(
        gui::waitFor([&] { return gui::findWindows("^Info$").size() == 1 && gui::activeWindow() == dialog; }, 5));
    EXPECT_TRUE(program.running());
    EXPECT_EQ("Orrelin v1.1 - ./Data/triangles_1.tri", gui::windowName(window));
    // Both windows take input again: Ctrl+Tab, then a key in the drawing window.
    ASSERT_TRUE(gui::key("ctrl+Tab"));
    ASSERT_TRUE(gui::waitFor([&] { return gui::activeWindow() == window; }, 5));
    ASSERT_TRUE(gui::key("shift+Right"));
    EXPECT_TRUE(waitForOrangeAt(View{160, 200, 500}, 150, 30));
    EXPECT_EQ(before.width, capture().width);
}

TEST_F(InfoDialog, AFileThatFailsToLoadKeepsTheSceneAndDropsInputMeanwhile) {
    startWithScene();
    const fs::path bad = workDir / "bad.tri";
    std::ofstream(bad, std::ios::binary) << "v 1 2\nf 0 1 7\n";  // an index beyond the last vertex
    const gui::Image before = capture();
    const std::string chooser = openChooser();
    ASSERT_FALSE(chooser.empty());
    ASSERT_TRUE(gui::typeText(bad.string()));
    ASSERT_TRUE(gui::key("Return"));
    auto box = gui::waitForWindow("^Error$", 60);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(boxCopy("Error", "The file \"" + bad.string() + "\" could not be opened."), boxText(*box));
    // Keys, a click and wheel notches for the drawing window while its box is
    // open do nothing, then or later; the box stays above it.
    ASSERT_TRUE(gui::keyToWindow(window, "Up Up shift+Left"));
    ASSERT_TRUE(gui::clickAt(window, 400, 300, 1));
    ASSERT_TRUE(gui::clickAt(window, 400, 300, 4));
    EXPECT_TRUE(stackedAbove(*box, window));
    // Esc closes the box only.
    ASSERT_TRUE(gui::keyToWindow(*box, "Escape"));
    ASSERT_TRUE(gui::waitForNoWindow("^Error$", 10));
    EXPECT_TRUE(program.running());
    EXPECT_EQ("Orrelin v1.1 - ./Data/triangles_1.tri", gui::windowName(window));
    gui::keyToWindow(window, "Left");  // a redraw without a move
    gui::Image after;
    gui::waitFor(
        [&] {
            after = capture();
            return after.valid();
        },
        5);
    ASSERT_EQ(before.rgb.size(), after.rgb.size());
    int changed = 0;
    for (std::size_t k = 0; k < before.rgb.size(); ++k) changed += before.rgb[k] != after.rgb[k] ? 1 : 0;
    EXPECT_EQ(0, changed);
}

// Files that cannot be a mesh, opened through the chooser: each gives the
// load message with its path and leaves the shown scene as it was.
TEST_F(InfoDialog, BadFilesGiveTheMessageAndKeepTheScene) {
    startWithScene();
    const gui::Image before = capture();
    // A long folder name with spaces and a quote: paths of any length work.
    // (Double quotes are the chooser's own syntax for several names.)
    const fs::path odd = workDir / (std::string(120, 'd') + " it's here") / std::string(150, 'e');
    fs::create_directories(odd);
    std::vector<fs::path> files;
    auto add = [&](const std::string& name, const std::string& bytes) {
        const fs::path path = odd / name;
        std::ofstream(path, std::ios::binary) << bytes;
        files.push_back(path);
    };
    add("empty.tri", "");
    std::string garbage(4096, '\0');
    // Binary bytes without the two record letters (with them, garbage can be a
    // valid if odd mesh: unread fields count as 0).
    for (std::size_t k = 0; k < garbage.size(); ++k) {
        const char c = static_cast<char>((k * 2654435761u) >> 13);
        garbage[k] = c == 'v' || c == 'f' ? '\x7f' : c;
    }
    add("garbage.tri", garbage);
    {
        // A gigabyte of nothing but white space: read, found empty, rejected.
        const fs::path path = odd / "spaces.tri";
        std::ofstream out(path, std::ios::binary);
        const std::string block(1u << 20, ' ');
        for (int k = 0; k < 1024; ++k) out.write(block.data(), static_cast<std::streamsize>(block.size()));
        files.push_back(path);
    }
    add("counts.tri", "v 0 0\nv 1 0\nf 0 1 99999999\n");
    for (const fs::path& file : files) {
        chooseAndExpectTheLoadMessage(file, before);
        ASSERT_FALSE(HasFatalFailure());
    }
    ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
    EXPECT_EQ(0, exitStatus());
}

// What is not a regular file is refused at once: a FIFO nobody writes to
// (whose open would wait for a writer), one whose writer has written a mesh
// and waits (a read to its end would wait too), and a listening socket.
TEST_F(InfoDialog, NonRegularFilesGiveTheMessageAtOnce) {
    startWithScene();
    const gui::Image before = capture();
    const fs::path lonely = workDir / "lonely.tri";
    ASSERT_EQ(0, ::mkfifo(lonely.c_str(), 0600));
    const fs::path held = workDir / "held.tri";
    const int writer = fifoWithSilentWriter(held.string(), gridMesh(2));
    ASSERT_GE(writer, 0);
    const fs::path socketPath = workDir / "socket.tri";
    const int listener = listeningSocket(socketPath.string());
    ASSERT_GE(listener, 0);

    for (const fs::path& file : {lonely, held, socketPath}) {
        // A read that waited for the writer would never end: the message
        // comes at all only when the file is refused before reading.
        chooseAndExpectTheLoadMessage(file, before);
        ASSERT_FALSE(HasFatalFailure());
    }
    ::close(writer);
    ::close(listener);
    // The program still answers a click and ends normally.
    const int cx = rounded(kStartView.px(40));
    const int cy = rounded(kStartView.py(90));
    ASSERT_TRUE(gui::clickAt(window, cx, cy, 1));
    EXPECT_TRUE(gui::waitFor([&] { return capture().at(cx, cy) == kPointGreen; }, 5));
    ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
    EXPECT_EQ(0, exitStatus());
}

// A file that is there when it is chosen and gone when the program opens it
// (removed in between by a library loaded into the program for this test).
TEST_F(InfoDialog, AFileRemovedBetweenChoosingAndLoadingGivesTheMessage) {
#ifdef ORRELIN_SANITIZED
    GTEST_SKIP() << "a preloaded library would come before the sanitizer's runtime, which refuses to start then";
#endif
    const fs::path gone = workDir / "gone.tri";
    std::ofstream(gone, std::ios::binary) << gridMesh(8, 400, 300);
    writeDefaultMesh(gridMesh(16));
    start({{"LD_PRELOAD", ORRELIN_VANISH_PRELOAD}, {"ORRELIN_VANISH_PATH", gone.string()}});
    // The default file loads as usual with the library in place.
    waitForScene(kStartView);
    findDialog();
    const gui::Image before = capture();
    chooseAndExpectTheLoadMessage(gone, before);
    EXPECT_FALSE(fs::exists(gone)) << "the file was not removed: the failure has another cause";
    ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
    EXPECT_EQ(0, exitStatus());
}

// The chooser works with names as text: a name whose bytes are not UTF-8
// cannot be decoded, so the chooser does not list it, and the name typed with
// the replacement characters it would be shown with names no file, which the
// chooser says itself. Nothing reaches the program, whose scene stays.
// Non-ASCII names that are UTF-8 are listed and chosen with the keys like any
// other: the good one loads, the bad one's message names it.
TEST_F(InfoDialog, NamesThatAreNotUtf8AreNotOfferedOtherNamesWork) {
    startWithScene();
    const gui::Image before = capture();
    const fs::path folder = workDir / "names";
    fs::create_directories(folder);
    std::ofstream(folder / "\xff\xfe.tri", std::ios::binary) << gridMesh(8, 400, 300);
    std::ofstream(folder / "\xfe\xff.tri", std::ios::binary) << "v 1 2\nf 0 1 7\n";
    const fs::path bad = folder / "\u00e4 bad.tri";
    const fs::path good = folder / "\u00e4 good-\u65e5\u672c.tri";
    std::ofstream(bad, std::ios::binary) << "v 1 2\nf 0 1 7\n";
    std::ofstream(good, std::ios::binary) << gridMesh(8, 400, 300);
    // Into the folder, then to its list, where `listKeys` pick an entry that
    // Return chooses (an entry is picked when the current one changes).
    auto chooseInList = [&](const std::string& listKeys) {
        ASSERT_FALSE(openChooser().empty()) << "no file chooser";
        ASSERT_TRUE(gui::typeText(folder.string() + "/"));
        ASSERT_TRUE(gui::key("Return"));
        std::this_thread::sleep_for(std::chrono::seconds(1));  // the list is filled
        ASSERT_TRUE(gui::key("shift+Tab " + listKeys + " Return"));
    };
    chooseInList("End Home");
    ASSERT_FALSE(HasFatalFailure());
    auto box = gui::waitForWindow("^Error$", 60);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(boxCopy("Error", "The file \"" + bad.string() + "\" could not be opened."), boxText(*box));
    ASSERT_TRUE(gui::keyToWindow(*box, "Return"));
    ASSERT_TRUE(gui::waitForNoWindow("^Error$", 10));
    EXPECT_TRUE(gui::waitFor([&] { return capture().rgb == before.rgb; }, 10));
    // The last entry is the good file: the undecodable names are not listed.
    chooseInList("Home End");
    ASSERT_FALSE(HasFatalFailure());
    const View wide{200, 150, 500};
    EXPECT_TRUE(waitForOrangeAt(wide, 200, 30)) << "the good file was not loaded";
    EXPECT_FALSE(gui::findWindows("^Error$").size() > 0);
    const std::string title = gui::windowName(window);
    EXPECT_NE("Orrelin v1.1 - ./Data/triangles_1.tri", title);
    // The window manager shows the path as it is.
    EXPECT_EQ("Orrelin v1.1 - " + good.string(), utf8Name(window));
    const gui::Image loaded = capture();

    // Only the undecodable names are left: an empty list, nothing is chosen
    // and the chooser stays.
    fs::remove(bad);
    fs::remove(good);
    chooseInList("End Home");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(gui::waitForWindow("^Error$", 2).has_value());
    EXPECT_EQ("Open", gui::windowName(gui::activeWindow()));
    // The name as the chooser would show it, typed into its name field.
    ASSERT_TRUE(gui::key("alt+n ctrl+a"));
    ASSERT_TRUE(gui::typeText(folder.string() + "/\uFFFD\uFFFD.tri"));
    ASSERT_TRUE(gui::key("Return"));
    ASSERT_TRUE(gui::waitFor([&] { return gui::findWindows("^Open$").size() == 2; }, 10)) << "no notice";
    ASSERT_TRUE(gui::key("Return"));  // closes the notice
    ASSERT_TRUE(gui::waitFor([&] { return gui::findWindows("^Open$").size() == 1; }, 10));
    ASSERT_TRUE(gui::key("Escape"));  // and the chooser
    ASSERT_TRUE(gui::waitForNoWindow("^Open$", 10));
    EXPECT_FALSE(gui::waitForWindow("^Error$", 1).has_value());
    EXPECT_EQ(title, gui::windowName(window));
    EXPECT_TRUE(gui::waitFor([&] { return capture().rgb == loaded.rgb; }, 10));
    ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
    EXPECT_EQ(0, exitStatus());
}

// Scenes at the edges of what a mesh can be: no crash, no lost camera, and the
// next good file is shown as usual.
TEST_F(InfoDialog, DegenerateScenesDoNotBreakTheView) {
    startWithScene();
    const std::vector<std::pair<std::string, std::string>> scenes{
        {"point.tri", "v 5 5\nv 5 5\nv 5 5\nf 0 1 2\n"},                   // extent 0
        {"line.tri", "v 0 0\nv 1 1\nv 2 2\nv 3 3\nf 0 1 2\nf 1 2 3\n"},    // all on one line
        {"huge.tri", "v -1e37 -1e37\nv 1e37 -1e37\nv 0 1e37\nf 0 1 2\n"},  // near the float limit
    };
    for (const auto& [name, text] : scenes) {
        const fs::path path = workDir / name;
        std::ofstream(path, std::ios::binary) << text;
        ASSERT_FALSE(openChooser().empty());
        ASSERT_TRUE(gui::typeText(path.string()));
        ASSERT_TRUE(gui::key("Return"));
        ASSERT_TRUE(gui::waitForWindow("^Orrelin v1\\.1 - " + path.string() + "$", 60).has_value()) << name;
        // Clicks, wheel steps, keys and a drag on it.
        ASSERT_TRUE(gui::clickAt(window, 400, 300, 1));
        ASSERT_TRUE(gui::clickAt(window, 200, 100, 4));
        ASSERT_TRUE(gui::clickAt(window, 600, 500, 5));
        ASSERT_TRUE(gui::key("Up Down shift+Left shift+Up"));
        ASSERT_TRUE(program.running()) << name;
    }
    // A window one pixel high and back.
    ASSERT_EQ(0, gui::runCommand({"xdotool", "windowsize", "--sync", window, "800", "1"}).exitStatus);
    ASSERT_EQ(0, gui::runCommand({"xdotool", "windowsize", "--sync", window, "800", "600"}).exitStatus);
    ASSERT_TRUE(program.running());
    // The next good file is framed and drawn as usual.
    const fs::path good = workDir / "good.tri";
    std::ofstream(good, std::ios::binary) << gridMesh(16);
    ASSERT_FALSE(openChooser().empty());
    ASSERT_TRUE(gui::typeText(good.string()));
    ASSERT_TRUE(gui::key("Return"));
    ASSERT_TRUE(gui::waitForWindow("^Orrelin v1\\.1 - " + good.string() + "$", 60).has_value());
    EXPECT_TRUE(waitForOrangeAt(kStartView, 150, 30));
    EXPECT_TRUE(waitForOrangeAt(kStartView, 75, 60));
}

// A first load takes the window's size as it is now, though it changed before
// any scene could record it: the picture fills the window and clicks pick in
// it. The program is given its display with -display while $DISPLAY names no
// server: the dialog and the message boxes come up there too.
TEST_F(InfoDialog, AFirstLoadFillsTheWindowAtItsSizeOnTheDisplayGivenToIt) {
    startWithoutScene({{"DISPLAY", ":999"}}, {"-display", gui::session().display()});
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ("Orrelin v1.1", utf8Name(window));
    ASSERT_EQ(0, gui::runCommand({"xdotool", "windowsize", "--sync", window, "1000", "700"}).exitStatus);
    const fs::path mesh = workDir / "grid.tri";
    std::ofstream(mesh, std::ios::binary) << gridMesh(16);
    ASSERT_FALSE(openChooser().empty()) << "no file chooser";
    ASSERT_TRUE(gui::typeText(mesh.string()));
    ASSERT_TRUE(gui::key("Return"));
    ASSERT_TRUE(gui::waitForWindow("^Orrelin v1\\.1 - " + mesh.string() + "$", 60).has_value());
    const View v{150, 200, 500, 1000, 700};
    ASSERT_TRUE(waitForOrangeAt(v, 150, 30));
    // The root's split lines cross at the window's centre.
    const gui::Image image = capture();
    ASSERT_EQ(1000, image.width);
    EXPECT_EQ(500.0, v.px(150));
    EXPECT_EQ(350.0, v.py(200));
    EXPECT_EQ(kOrange, image.at(499, rounded(v.py(330))));
    EXPECT_EQ(kOrange, image.at(rounded(v.px(20)), 349));
    // A click on a known triangle highlights it, filled green.
    const int x = rounded(v.px(40)), y = rounded(v.py(97));  // cell (2, 3), its upper-left triangle
    ASSERT_TRUE(gui::clickAt(window, x, y, 1));
    EXPECT_TRUE(gui::waitFor([&] { return capture().at(x, y) == kPointGreen; }, 10));
    EXPECT_TRUE(gui::anyPixelNear(capture(), rounded(v.px(43.75)), rounded(v.py(91.7)), 1, kFoundGreen, kTolerance));
    ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
    EXPECT_EQ(0, exitStatus());
}

TEST_F(InfoDialog, EscInTheDialogEndsTheProgram) {
    startWithScene();
    toDialog();
    ASSERT_TRUE(gui::key("Escape"));
    EXPECT_EQ(0, exitStatus());
}

TEST_F(InfoDialog, EscEndsTheProgramBeforeAnySceneFromEitherWindow) {
    for (const bool fromDialog : {false, true}) {
        startWithoutScene();
        ASSERT_TRUE(gui::keyToWindow(fromDialog ? dialog : window, "Escape"));
        EXPECT_EQ(0, exitStatus()) << (fromDialog ? "from the dialog" : "from the drawing window");
        ASSERT_TRUE(gui::waitForNoWindow("^Info$", 5));
    }
}

TEST_F(InfoDialog, ApplyWithoutASceneKeepsTheValuesPending) {
    startWithoutScene();
    // Depth 1 is valid but there is nothing to rebuild: the active limits stay 5 and 50.
    toDialog();
    typeInto("1");
    ASSERT_TRUE(gui::key("Tab Tab space"));
    EXPECT_FALSE(gui::waitForWindow("^Properties Input Error$", 0.5).has_value());
    const fs::path mesh = workDir / "grid.tri";
    std::ofstream(mesh, std::ios::binary) << gridMesh(16);
    ASSERT_TRUE(gui::key("Tab space"));  // Open File
    ASSERT_FALSE(waitForChooser().empty());
    ASSERT_TRUE(gui::typeText(mesh.string()));
    ASSERT_TRUE(gui::key("Return"));
    ASSERT_TRUE(gui::waitForWindow("^Orrelin v1\\.1 - " + mesh.string() + "$", 60).has_value());
    // Built at depth 5: the children's split lines are there.
    EXPECT_TRUE(waitForOrangeAt(kStartView, 75, 60));
}

#ifdef ORRELIN_MESHGEN_EXE
// Under an address-space limit, Apply with depth 10 and one triangle per
// region on long thin triangles does not fit: the program says so, keeps the
// old tree and limits, and goes on working.
TEST_F(InfoDialog, ATreeThatDoesNotFitIsReportedAndTheOldOneStays) {
#ifdef ORRELIN_SANITIZED
    GTEST_SKIP() << "an address-space limit leaves no room for the sanitizer's shadow memory";
#endif
    const fs::path mesh = workDir / "Data" / "triangles_1.tri";
    ASSERT_EQ(0, gui::runCommand({ORRELIN_MESHGEN_EXE, "slivers", "300000", mesh.string(), "--seed", "3"}).exitStatus);
    start({}, {"prlimit", "--as=2500000000", "--"});
    auto id = gui::waitForWindow("^Orrelin v1\\.1 - \\./Data/triangles_1\\.tri$", 30);
    ASSERT_TRUE(id.has_value()) << "the slivers did not load at the default limits";
    window = *id;
    findDialog();
    gui::Image before;
    ASSERT_TRUE(gui::waitFor(
        [&] {
            before = capture();
            return gui::countPixels(before, 0, 0, 799, 599, kOrange, kTolerance) > 1000;
        },
        30));
    toDialog();
    typeInto("10");
    ASSERT_TRUE(gui::key("Tab"));
    typeInto("1");
    ASSERT_TRUE(gui::key("Tab space"));
    auto box = gui::waitForWindow("^Error$", 60);
    ASSERT_TRUE(box.has_value()) << "no memory message";
    EXPECT_EQ(boxCopy("Error", "There is not enough memory to build the quadtree with these properties."),
              boxText(*box));
    ASSERT_TRUE(gui::keyToWindow(*box, "Return"));
    ASSERT_TRUE(gui::waitForNoWindow("^Error$", 10));
    // The picture is the one before (once the part under the box is drawn
    // again); the program still takes input and ends normally.
    EXPECT_TRUE(gui::waitFor([&] { return capture().rgb == before.rgb; }, 10));

    ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
    EXPECT_EQ(0, exitStatus());
}
#endif

TEST_F(InfoDialog, ClosingTheDrawingWindowTakesTheDialogAlong) {
    startWithScene();
    ASSERT_TRUE(activateSteadily(window));
    ASSERT_TRUE(clickCloseButton(window));
    EXPECT_EQ(0, exitStatus());
    EXPECT_TRUE(gui::findWindows("^Info$").empty());
}

}  // namespace
