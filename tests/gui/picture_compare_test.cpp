// Other pictures of the scene against the Linux program's: the same mesh in
// an 800 x 600 window, clicked at a pixel, and the same click in
// orrelin-inspect's SVG figure (rendered by rsvg-convert) and, given its
// build, in the browser edition's 800 x 600 canvas. Every pixel of the split
// lines, the highlight and the point in one picture has one of its colour
// within 1 pixel in the other, and the drawn part of both (what is not black)
// has the same bounds within 1 pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "image.h"
#include "program_test.h"

namespace {

using namespace program_test;

struct Bounds {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};

// The rectangle around every pixel that is not black.
Bounds drawnBounds(const gui::Image& image, int tolerance) {
    Bounds b;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (gui::near(image.at(x, y), gui::Rgb{0, 0, 0}, tolerance)) continue;
            b = {std::min(b.x0, x), std::min(b.y0, y), std::max(b.x1, x), std::max(b.y1, y)};
        }
    }
    return b;
}

// Pixels of `colour` in `a` with none of that colour within 1 pixel in `b`;
// `count` gets how many of that colour `a` has.
int unmatched(const gui::Image& a, const gui::Image& b, gui::Rgb colour, int tolerance, int& count) {
    int misses = 0;
    count = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (!gui::near(a.at(x, y), colour, tolerance)) continue;
            ++count;
            if (gui::countPixels(b, x - 1, y - 1, x + 1, y + 1, colour, tolerance) == 0) ++misses;
        }
    }
    return misses;
}

// Both ways for each colour, each present in both (at least `atLeast` pixels).
void expectWithinAPixel(const gui::Image& a, const gui::Image& b, std::initializer_list<gui::Rgb> colours,
                        int tolerance, int atLeast = 30) {
    const Bounds ba = drawnBounds(a, tolerance), bb = drawnBounds(b, tolerance);
    EXPECT_LE(std::abs(ba.x0 - bb.x0), 1);
    EXPECT_LE(std::abs(ba.y0 - bb.y0), 1);
    EXPECT_LE(std::abs(ba.x1 - bb.x1), 1);
    EXPECT_LE(std::abs(ba.y1 - bb.y1), 1);
    for (const gui::Rgb colour : colours) {
        int inA = 0, inB = 0;
        EXPECT_EQ(0, unmatched(a, b, colour, tolerance, inA)) << colour;
        EXPECT_EQ(0, unmatched(b, a, colour, tolerance, inB)) << colour;
        EXPECT_GE(inA, atLeast) << colour;
        EXPECT_GE(inB, atLeast) << colour;
    }
}

constexpr int kClickX = 420, kClickY = 330;

// The program's picture of the clicked grid, and the same click's picture
// saved as a PNG by another front end, compared.
class PictureCompare : public ProgramTest {
   protected:
    gui::Image clicked() {
        const gui::Image linux = clickedGrid(kClickX, kClickY);
        EXPECT_TRUE(linux.valid()) << "the click's point never showed";
        return linux;
    }

    // `pageMark`: the page outlines the found triangle in white, which the
    // program does not draw; under that mark the program's pixels stand in.
    static void expectLikeTheProgram(const gui::Image& linux, const std::string& png, bool pageMark = false) {
        gui::Image other = gui::parsePpm(gui::runCommand({"convert", png, "ppm:-"}).out);
        ASSERT_TRUE(other.valid());
        ASSERT_EQ(800, other.width);
        ASSERT_EQ(600, other.height);
        if (pageMark) {
            int marked = 0;
            for (int y = 0; y < other.height; ++y) {
                for (int x = 0; x < other.width; ++x) {
                    if (!gui::near(other.at(x, y), gui::Rgb{255, 255, 255}, kTolerance)) continue;
                    const std::size_t k = 3 * (static_cast<std::size_t>(y) * 800 + static_cast<std::size_t>(x));
                    std::copy_n(linux.rgb.begin() + static_cast<std::ptrdiff_t>(k), 3,
                                other.rgb.begin() + static_cast<std::ptrdiff_t>(k));
                    ++marked;
                }
            }
            EXPECT_GE(marked, 30) << "the page's mark of the found triangle";
        }
        expectWithinAPixel(linux, other, {kOrange, kTestedRed, kFoundGreen, kPointGreen}, kTolerance);
    }

    std::string meshPath() const { return (workDir / "Data/triangles_1.tri").string(); }
};

using Figure = PictureCompare;

TEST_F(Figure, SvgDrawsWithinAPixelOfTheLinuxProgram) {
    const gui::Image linux = clicked();
    ASSERT_TRUE(linux.valid());
    const std::string svg = (workDir / "figure.svg").string();
    const std::string png = (workDir / "figure.png").string();
    const gui::CommandResult made = gui::runCommand({ORRELIN_INSPECT_EXE, meshPath(), "--summary", "--locate",
                                                     std::to_string(kStartView.planeX(kClickX)),
                                                     std::to_string(kStartView.planeY(kClickY)), "--svg", svg});
    ASSERT_EQ(0, made.exitStatus) << made.err;
    ASSERT_EQ(0, gui::runCommand({"rsvg-convert", svg, "-o", png}).exitStatus);
    expectLikeTheProgram(linux, png);
}

#ifdef ORRELIN_WEB_SITE
using WebEdition = PictureCompare;

TEST_F(WebEdition, DrawsWithinAPixelOfTheLinuxProgram) {
    const gui::Image linux = clicked();
    ASSERT_TRUE(linux.valid());
    const std::string png = (workDir / "web.png").string();
    const gui::CommandResult web = gui::runCommand({ORRELIN_NODE, ORRELIN_WEB_CAPTURE, ORRELIN_WEB_SITE, meshPath(),
                                                    png, std::to_string(kClickX), std::to_string(kClickY)},
                                                   120);
    ASSERT_EQ(0, web.exitStatus) << web.err;
    expectLikeTheProgram(linux, png, true);
}
#endif

}  // namespace
