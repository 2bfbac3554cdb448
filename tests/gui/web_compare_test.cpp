// The browser edition draws what the Linux program draws: the same mesh in
// an 800 x 600 window and an 800 x 600 canvas, clicked at the same pixel.
// Every pixel of the split lines, the highlight and the point in one picture
// has one of its colour within 1 pixel in the other, and the mesh's outline
// lies within 1 pixel.
#include <gtest/gtest.h>

#include <string>

#include "picture_compare.h"
#include "program_test.h"

namespace {

using namespace program_test;

class WebEdition : public ProgramTest {};

TEST_F(WebEdition, DrawsWithinAPixelOfTheLinuxProgram) {
    const int clickX = 420, clickY = 330;
    const gui::Image linux = clickedGrid(clickX, clickY);
    ASSERT_TRUE(linux.valid()) << "the click's point never showed";

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

    picture_compare::expectWithinAPixel(linux, page, {kOrange, kTestedRed, kFoundGreen, kPointGreen}, kTolerance);
}

}  // namespace
