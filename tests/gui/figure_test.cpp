// orrelin-inspect's SVG figure against the Linux program's first frame: the
// same mesh in an 800 x 600 window, clicked at a pixel, and the figure with
// that pixel's plane point located, rendered by rsvg-convert.
#include <gtest/gtest.h>

#include <string>

#include "picture_compare.h"
#include "program_test.h"

namespace {

using namespace program_test;

class Figure : public ProgramTest {};

TEST_F(Figure, SvgDrawsWithinAPixelOfTheLinuxProgram) {
    const int clickX = 420, clickY = 330;
    const gui::Image linux = clickedGrid(clickX, clickY);
    ASSERT_TRUE(linux.valid()) << "the click's point never showed";

    const std::string svg = (workDir / "figure.svg").string();
    const std::string png = (workDir / "figure.png").string();
    const gui::CommandResult made = gui::runCommand({ORRELIN_INSPECT_EXE, (workDir / "Data/triangles_1.tri").string(),
                                                     "--summary", "--locate", std::to_string(kStartView.planeX(clickX)),
                                                     std::to_string(kStartView.planeY(clickY)), "--svg", svg});
    ASSERT_EQ(0, made.exitStatus) << made.err;
    ASSERT_EQ(0, gui::runCommand({"rsvg-convert", svg, "-o", png}).exitStatus);
    const gui::Image figure = gui::parsePpm(gui::runCommand({"convert", png, "ppm:-"}).out);
    ASSERT_TRUE(figure.valid());
    ASSERT_EQ(800, figure.width);
    ASSERT_EQ(600, figure.height);
    picture_compare::expectWithinAPixel(linux, figure, {kOrange, kTestedRed, kFoundGreen, kPointGreen}, kTolerance);
}

}  // namespace
