// The drawing window, driven through a real X server with real input: the
// picture is read back from the screen and compared with where the camera
// puts the mesh, the split lines and the highlight.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app_state_reset.h"
#include "image.h"
#include "orrelin/quadtree/quadtree.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"
#include "process.h"
#include "program_test.h"
#include "test_util.h"
#include "x_session.h"

namespace fs = std::filesystem;

namespace {

using namespace program_test;

class DrawingWindow : public ProgramTest {
   protected:
    // Once the program has started and could not load its default file: the
    // load message's box (empty if none came), with `window` set to the
    // drawing window.
    std::string expectDefaultFileMessage() {
        auto box = gui::waitForWindow("^Error$", 60);
        EXPECT_TRUE(box.has_value());
        if (!box) return {};
        EXPECT_EQ(boxCopy("Error", "The file \"./Data/triangles_1.tri\" could not be opened."), boxText(*box));
        auto drawing = gui::findWindows("^Orrelin v1\\.1$");
        EXPECT_EQ(1u, drawing.size());
        if (drawing.size() != 1) return {};
        window = drawing.front();
        return *box;
    }

    // Closes the message `box`: the drawing window keeps the bare title and
    // shows nothing but black.
    void closeMessageAndExpectEmptyWindow(const std::string& box) {
        ASSERT_TRUE(gui::keyToWindow(box, "Return"));
        ASSERT_TRUE(gui::waitForNoWindow("^Error$", 10));
        EXPECT_EQ("Orrelin v1.1", gui::windowName(window));
        EXPECT_TRUE(gui::waitFor(
            [&] {
                const gui::Image image = capture();
                return image.valid() && gui::countPixels(image, 0, 0, 799, 599, kBlack, 0) == 800 * 600;
            },
            10));
    }
};

TEST_F(DrawingWindow, ShowsMeshEdgesAndSplitLinesOnBlack) {
    const std::string mesh = gridMesh(8);
    writeDefaultMesh(mesh);
    start();
    waitForScene(kStartView);
    const gui::Image image = capture();
    const View& v = kStartView;

    // Background outside the mesh: black everywhere.
    const int left = rounded(v.px(0)) - 3;
    EXPECT_EQ((left + 1) * 600, gui::countPixels(image, 0, 0, left, 599, kBlack, 0));
    EXPECT_EQ(image.at(10, 10), kBlack);

    // The root's two centre lines, 2 pixels wide, where the camera puts x = 150 and y = 200.
    EXPECT_EQ(400.0, v.px(150));
    EXPECT_EQ(300.0, v.py(200));
    for (int row = rounded(v.py(390)); row <= rounded(v.py(10)); row += 7) {
        if (std::abs(row - 300) <= 2) continue;
        EXPECT_EQ(image.at(399, row), kOrange) << "row " << row;
        EXPECT_EQ(image.at(400, row), kOrange) << "row " << row;
        EXPECT_FALSE(gui::near(image.at(397, row), kOrange, 60)) << "row " << row;
        EXPECT_FALSE(gui::near(image.at(402, row), kOrange, 60)) << "row " << row;
    }
    for (int column = rounded(v.px(5)); column <= rounded(v.px(295)); column += 7) {
        if (std::abs(column - 400) <= 2) continue;
        EXPECT_EQ(image.at(column, 299), kOrange) << "column " << column;
        EXPECT_EQ(image.at(column, 300), kOrange) << "column " << column;
    }

    // Grey mesh edges: every cell's diagonal, and the outer border.
    for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 8; ++i) {
            const double x = 37.5 * i + 18.75;
            const double y = 50.0 * j + 25.0;
            EXPECT_TRUE(gui::anyPixelNear(image, rounded(v.px(x)), rounded(v.py(y)), 1, kGrey, kTolerance))
                << "diagonal of cell " << i << "," << j;
        }
    }
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(v.px(0)), rounded(v.py(100)), 1, kGrey, kTolerance));
    // Nothing red or green before a click.
    EXPECT_EQ(0, gui::countPixels(image, 0, 0, 799, 599, kTestedRed, 40));
    EXPECT_EQ(0, gui::countPixels(image, 0, 0, 799, 599, kFoundGreen, 40));
}

TEST_F(DrawingWindow, LeftClickShowsThePointAndTheTrianglesOfItsRegion) {
    const std::string mesh = gridMesh(8);
    writeDefaultMesh(mesh);
    resetAppState();
    ASSERT_TRUE(loadTriangleData(mesh.data(), mesh.size()));
    start();
    waitForScene(kStartView);
    const View& v = kStartView;

    // A point in the upper-left triangle of cell (1, 1), away from its centroid.
    const int cx = rounded(v.px(37.5 + 6));
    const int cy = rounded(v.py(50.0 + 40));
    const Point2 picked{static_cast<float>(v.planeX(cx)), static_cast<float>(v.planeY(cy))};
    const QuadtreeNode* region = locateRegion(AppState.quadtree.root, picked);
    ASSERT_NE(nullptr, region);
    ASSERT_GT(region->triangles.size(), 4u);

    const gui::Image before = capture();
    ASSERT_TRUE(gui::clickAt(window, cx, cy, 1));
    gui::Image image;
    ASSERT_TRUE(gui::waitFor(
        [&] {
            image = capture();
            return image.valid() && image.at(cx, cy) == kPointGreen;
        },
        10))
        << "no point at the click";
    // The point is 6 pixels wide.
    EXPECT_EQ(36, gui::countPixels(image, cx - 5, cy - 5, cx + 5, cy + 5, kPointGreen, 0));

    int found = 0;
    double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    for (TriangleOffset offset : region->triangles) {
        const Point2 a = AppState.mesh.vertices[AppState.mesh.indices[offset]];
        const Point2 b = AppState.mesh.vertices[AppState.mesh.indices[offset + 1]];
        const Point2 c = AppState.mesh.vertices[AppState.mesh.indices[offset + 2]];
        for (const Point2& p : {a, b, c}) {
            minX = std::min(minX, double(p.x));
            maxX = std::max(maxX, double(p.x));
            minY = std::min(minY, double(p.y));
            maxY = std::max(maxY, double(p.y));
        }
        const double gx = (double(a.x) + b.x + c.x) / 3.0;
        const double gy = (double(a.y) + b.y + c.y) / 3.0;
        const bool holds = pointInTriangle(AppState.mesh.vertices, AppState.mesh.indices, offset, picked);
        found += holds ? 1 : 0;
        const gui::Rgb expected = holds ? kFoundGreen : kTestedRed;
        // Clockwise triangles are drawn filled: the area around the centroid
        // has the triangle's colour (split lines may cross it).
        EXPECT_GT(gui::countPixels(image, rounded(v.px(gx)) - 3, rounded(v.py(gy)) - 3, rounded(v.px(gx)) + 3,
                                   rounded(v.py(gy)) + 3, expected, kTolerance),
                  20)
            << "triangle at offset " << offset << (holds ? " (found)" : " (tested)");
    }
    EXPECT_EQ(1, found);
    // Nothing red outside the region's triangles.
    const int x0 = rounded(v.px(minX)) - 2, x1 = rounded(v.px(maxX)) + 2;
    const int y0 = rounded(v.py(maxY)) - 2, y1 = rounded(v.py(minY)) + 2;
    const int allRed = gui::countPixels(image, 0, 0, 799, 599, kTestedRed, kTolerance);
    EXPECT_GT(allRed, 1000);
    EXPECT_EQ(allRed, gui::countPixels(image, x0, y0, x1, y1, kTestedRed, kTolerance));
    // Everywhere else the picture is the one before the click, to the pixel.
    int changed = 0;
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const bool inRegion = x >= x0 && x <= x1 && y >= y0 && y <= y1;
            const bool atPoint = std::abs(x - cx) <= 4 && std::abs(y - cy) <= 4;
            if (!inRegion && !atPoint && !(image.at(x, y) == before.at(x, y))) ++changed;
        }
    }
    EXPECT_EQ(0, changed);

    // A second click elsewhere: the first highlight is gone, the mesh under it is back.
    const int ox = rounded(v.px(37.5 * 6 + 10));
    const int oy = rounded(v.py(50.0 * 6 + 40));
    ASSERT_TRUE(gui::clickAt(window, ox, oy, 1));
    ASSERT_TRUE(gui::waitFor(
        [&] {
            image = capture();
            return image.valid() && image.at(ox, oy) == kPointGreen;
        },
        10));
    EXPECT_EQ(before.at(cx, cy), image.at(cx, cy));
    EXPECT_EQ(0, gui::countPixels(image, rounded(v.px(0)), rounded(v.py(100)), rounded(v.px(100)), rounded(v.py(0)),
                                  kTestedRed, kTolerance));
}

TEST_F(DrawingWindow, KeysPanAndZoomByOneStep) {
    writeDefaultMesh(gridMesh(8));
    start();
    waitForScene(kStartView);

    // Shift+Right: the eye moves one step (10) in +x, the picture 10 units left.
    ASSERT_TRUE(gui::keyToWindow(window, "shift+Right"));
    const View right{160, 200, 500};
    ASSERT_TRUE(waitForOrangeAt(right, 150, 30));
    gui::Image image = capture();
    EXPECT_FALSE(gui::anyPixelNear(image, 400, rounded(right.py(30)), 0, kOrange, 60));
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(right.px(0)), rounded(right.py(100)), 1, kGrey, kTolerance));

    // Shift+Up pans up; Left and Right without Shift leave the view alone.
    ASSERT_TRUE(gui::key("shift+Up Left Right"));
    const View up{160, 210, 500};
    ASSERT_TRUE(waitForOrangeAt(up, 5, 200));
    // Ctrl does not count as a modifier here: Ctrl+Shift+Left pans left.
    ASSERT_TRUE(gui::key("ctrl+shift+Left"));
    const View back{150, 210, 500};
    ASSERT_TRUE(waitForOrangeAt(back, 150, 30));
    EXPECT_TRUE(waitForOrangeAt(back, 5, 200));

    // Up without Shift zooms in by a step per press; Down zooms out.
    ASSERT_TRUE(gui::key("Up Up Up Up Up Up Up Up Up Up"));
    const View closer{150, 210, 400};
    ASSERT_TRUE(waitForOrangeAt(closer, 5, 200));
    image = capture();
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(closer.px(0)), rounded(closer.py(100)), 1, kGrey, kTolerance));
    EXPECT_FALSE(gui::anyPixelNear(image, rounded(back.px(0)), rounded(back.py(100)), 0, kGrey, 20));
    ASSERT_TRUE(gui::key("Down Down Down Down Down"));
    const View farther{150, 210, 450};
    EXPECT_TRUE(gui::waitFor(
        [&] {
            const gui::Image i = capture();
            return gui::anyPixelNear(i, rounded(farther.px(0)), rounded(farther.py(100)), 1, kGrey, kTolerance);
        },
        10));
}

TEST_F(DrawingWindow, WheelZoomKeepsThePointUnderTheCursor) {
    writeDefaultMesh(gridMesh(8));
    start();
    waitForScene(kStartView);
    const View& v = kStartView;
    // The cursor over plane point (75, 100); the wheel rolled away zooms in.
    const int cx = rounded(v.px(75));
    const int cy = rounded(v.py(100));
    const double tx = v.planeX(cx);
    const double ty = v.planeY(cy);
    const gui::Geometry g = gui::windowGeometry(window);
    ASSERT_TRUE(gui::mouseMove(g.x + cx, g.y + cy));
    ASSERT_TRUE(gui::click(4));
    // eye += 0.1 (target - eye)
    const View in{150 + 0.1 * (tx - 150), 200 + 0.1 * (ty - 200), 450};
    ASSERT_TRUE(waitForOrangeAt(in, 150, 30));
    gui::Image image = capture();
    // The mesh corner (0, 0) moved, the point under the cursor did not.
    EXPECT_NEAR(cx, in.px(tx), 0.6);
    EXPECT_NEAR(cy, in.py(ty), 0.6);
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(in.px(0)), rounded(in.py(100)), 1, kGrey, kTolerance));
    EXPECT_FALSE(gui::anyPixelNear(image, rounded(v.px(0)), rounded(v.py(100)), 0, kGrey, 20));

    // Rolled toward the user it zooms out again, away from the same point.
    ASSERT_TRUE(gui::click(5));
    const View out{in.ex - 0.1 * (in.planeX(cx) - in.ex), in.ey - 0.1 * (in.planeY(cy) - in.ey), 495};
    ASSERT_TRUE(waitForOrangeAt(out, 150, 30));
    image = capture();
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(out.px(0)), rounded(out.py(100)), 1, kGrey, kTolerance));

    // Five notches in a quick run: every one is applied, and the picture
    // shows where the last one left the eye.
    ASSERT_EQ(0, gui::runCommand({"xdotool", "click", "--repeat", "5", "--delay", "1", "4"}).exitStatus);
    View run = out;
    for (int k = 0; k < 5; ++k) {
        run = View{run.ex + 0.1 * (run.planeX(cx) - run.ex), run.ey + 0.1 * (run.planeY(cy) - run.ey), run.ez * 0.9};
    }
    ASSERT_TRUE(waitForOrangeAt(run, 150, 30));
    EXPECT_TRUE(gui::anyPixelNear(capture(), rounded(run.px(0)), rounded(run.py(100)), 1, kGrey, kTolerance));
}

TEST_F(DrawingWindow, RightDragMovesTheEyeWithTheMouse) {
    writeDefaultMesh(gridMesh(8));
    start();
    waitForScene(kStartView);
    const gui::Geometry g = gui::windowGeometry(window);
    ASSERT_TRUE(gui::mouseMove(g.x + 300, g.y + 300));
    ASSERT_TRUE(gui::mouseDown(3));
    ASSERT_TRUE(gui::mouseMove(g.x + 310, g.y + 300));
    // 10 pixels right with a step of 10: the eye moves 10 units in +x.
    const View dragged{160, 200, 500};
    ASSERT_TRUE(waitForOrangeAt(dragged, 150, 30));
    ASSERT_TRUE(gui::mouseMove(g.x + 310, g.y + 290));  // 10 pixels up: eye y + 10
    const View draggedUp{160, 210, 500};
    ASSERT_TRUE(waitForOrangeAt(draggedUp, 5, 200));
    ASSERT_TRUE(gui::mouseUp(3));
    // Released: moving the mouse no longer moves the view.
    ASSERT_TRUE(gui::mouseMove(g.x + 200, g.y + 200));
    ASSERT_TRUE(gui::keyToWindow(window, "Left"));  // a redraw that would show any change
    EXPECT_TRUE(waitForOrangeAt(draggedUp, 150, 30, 3));
    EXPECT_TRUE(waitForOrangeAt(draggedUp, 5, 200, 3));
}

TEST_F(DrawingWindow, OpensCentredAndResizingKeepsTheEye) {
    writeDefaultMesh(gridMesh(8));
    start();
    waitForScene(kStartView);
    // Centred on the 1280 x 1024 screen: (240, 212), the window manager's frame around it.
    const gui::Geometry g = gui::windowGeometry(window);
    EXPECT_NEAR(240, g.x, 10);
    EXPECT_NEAR(212, g.y, 40);

    ASSERT_EQ(0, gui::runCommand({"xdotool", "windowsize", "--sync", window, "1000", "600"}).exitStatus);
    // Wider: the eye stays, the centre line moves to the new middle and more
    // of the plane shows sideways at the same scale vertically.
    View wide{150, 200, 500, 1000, 600};
    ASSERT_TRUE(waitForOrangeAt(wide, 150, 30));
    const gui::Image image = capture();
    ASSERT_EQ(1000, image.width);
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(wide.px(0)), rounded(wide.py(100)), 1, kGrey, kTolerance));
    EXPECT_TRUE(gui::anyPixelNear(image, rounded(wide.px(5)), rounded(wide.py(200)), 1, kOrange, kTolerance));
}

TEST_F(DrawingWindow, EscEndsTheProgramWithStatusZero) {
    writeDefaultMesh(gridMesh(8));
    start();
    waitForScene(kStartView);
    ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
    EXPECT_EQ(0, exitStatus());
}

TEST_F(DrawingWindow, ClosingTheWindowEndsTheProgramWithStatusZero) {
    writeDefaultMesh(gridMesh(8));
    start();
    waitForScene(kStartView);
    ASSERT_TRUE(activateSteadily(window));
    ASSERT_TRUE(clickCloseButton(window));
    EXPECT_EQ(0, exitStatus());
}

TEST_F(DrawingWindow, MissingDefaultFileShowsTheErrorThenAnEmptyWindow) {
    start();  // no Data/triangles_1.tri
    const std::string box = expectDefaultFileMessage();
    ASSERT_FALSE(box.empty());
    EXPECT_GT(iconPixels(box, {0, 0, 255}), 30);  // information
    EXPECT_EQ(iconPixels(box, {255, 0, 0}), 0);
    closeMessageAndExpectEmptyWindow(box);
    ASSERT_FALSE(HasFatalFailure());
    // Without a scene the drawing window ignores the mouse and the arrow keys.
    ASSERT_TRUE(gui::clickAt(window, 400, 300, 1));
    ASSERT_TRUE(gui::key("Up"));
    gui::Image image = capture();
    EXPECT_EQ(800 * 600, gui::countPixels(image, 0, 0, 799, 599, kBlack, 0));
    EXPECT_TRUE(program.running());
}

// A default file that is no regular file, a folder or a FIFO nobody writes to,
// is refused at once: the load message, owned by the drawing window, then the
// empty black window, which ends on Esc.
TEST_F(DrawingWindow, DefaultFileThatIsNoRegularFileShowsTheErrorThenAnEmptyWindow) {
    const fs::path path = workDir / "Data" / "triangles_1.tri";
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "a FIFO" : "a folder");
        fs::remove_all(path);
        if (fifo) {
            ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600));
        } else {
            fs::create_directories(path / "inside.tri");
        }
        start();
        const std::string box = expectDefaultFileMessage();
        ASSERT_FALSE(box.empty());
        EXPECT_EQ(window, transientFor(box));
        closeMessageAndExpectEmptyWindow(box);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(gui::keyToWindow(window, "Escape"));
        EXPECT_EQ(0, exitStatus());
    }
}

TEST_F(DrawingWindow, WithoutBufferObjectsTellsSoAndEndsWithStatusZero) {
    writeDefaultMesh(gridMesh(8));
    start({{"MESA_GL_VERSION_OVERRIDE", "1.4"}});
    auto box = gui::waitForWindow("^Error$", 60);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(boxCopy("Error",
                      "OpenGL Vertex Buffer Objects are not supported by your graphics card. Update your graphics card "
                      "drivers to at least OpenGL version 1.5."),
              boxText(*box));
    EXPECT_GT(iconPixels(*box, {255, 0, 0}), 300);  // error
    // No Info dialog and no scene: the drawing window keeps its bare title.
    EXPECT_EQ(1u, gui::findWindows("^Orrelin v1\\.1$").size());
    ASSERT_TRUE(gui::keyToWindow(*box, "Return"));
    EXPECT_EQ(0, exitStatus());
}

}  // namespace
