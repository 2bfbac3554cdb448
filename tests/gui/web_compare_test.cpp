// The browser edition draws what the Linux program draws: the same mesh in
// an 800 x 600 window and an 800 x 600 canvas, clicked at the same pixel.
// Every pixel of the split lines, the highlight and the point in one picture
// has one of its colour within 1 pixel in the other, and the mesh's outline
// lies within 1 pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "program_test.h"

namespace {

using namespace program_test;

struct Bounds {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};

// The rectangle around every pixel that is not black.
Bounds drawnBounds(const gui::Image& image) {
    Bounds b;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (gui::near(image.at(x, y), kBlack, kTolerance)) continue;
            b = {std::min(b.x0, x), std::min(b.y0, y), std::max(b.x1, x), std::max(b.y1, y)};
        }
    }
    return b;
}

// Pixels of `colour` in `a` with none of that colour within 1 pixel in `b`;
// `count` gets how many of that colour `a` has.
int unmatched(const gui::Image& a, const gui::Image& b, gui::Rgb colour, int& count) {
    int misses = 0;
    count = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (!gui::near(a.at(x, y), colour, kTolerance)) continue;
            ++count;
            if (gui::countPixels(b, x - 1, y - 1, x + 1, y + 1, colour, kTolerance) == 0) ++misses;
        }
    }
    return misses;
}

class WebEdition : public ProgramTest {};

TEST_F(WebEdition, DrawsWithinAPixelOfTheLinuxProgram) {
    writeDefaultMesh(gridMesh(20));
    start();
    waitForScene(kStartView);
    const int clickX = 420, clickY = 330;
    ASSERT_TRUE(gui::clickAt(window, clickX, clickY));
    gui::Image linux;
    ASSERT_TRUE(gui::waitFor(
        [&] {
            linux = capture();
            return linux.valid() &&
                   gui::countPixels(linux, clickX - 2, clickY - 2, clickX + 2, clickY + 2, kPointGreen, kTolerance) > 0;
        },
        10));

    const std::string png = (workDir / "web.png").string();
    const gui::CommandResult web = gui::runCommand(
        {ORRELIN_NODE, ORRELIN_WEB_CAPTURE, ORRELIN_WEB_SITE, (workDir / "Data/triangles_1.tri").string(), png,
         std::to_string(clickX), std::to_string(clickY)},
        120);
    ASSERT_EQ(0, web.exitStatus) << web.err;
    const gui::CommandResult ppm = gui::runCommand({"convert", png, "ppm:-"});
    const gui::Image page = gui::parsePpm(ppm.out);
    ASSERT_TRUE(page.valid());
    ASSERT_EQ(800, page.width);
    ASSERT_EQ(600, page.height);

    const Bounds a = drawnBounds(linux), b = drawnBounds(page);
    EXPECT_LE(std::abs(a.x0 - b.x0), 1);
    EXPECT_LE(std::abs(a.y0 - b.y0), 1);
    EXPECT_LE(std::abs(a.x1 - b.x1), 1);
    EXPECT_LE(std::abs(a.y1 - b.y1), 1);
    for (const gui::Rgb colour : {kOrange, kTestedRed, kFoundGreen, kPointGreen}) {
        int inLinux = 0, inPage = 0;
        EXPECT_EQ(0, unmatched(linux, page, colour, inLinux)) << colour;
        EXPECT_EQ(0, unmatched(page, linux, colour, inPage)) << colour;
        EXPECT_GT(inLinux, 30) << colour;
        EXPECT_GT(inPage, 30) << colour;
    }
}

}  // namespace
