// Tests of the picture helpers: PPM decoding and encoding, pixel counting and
// saving a PNG.
#include "image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <tuple>

#include "harness_test_util.h"
#include "process.h"

namespace {

using namespace std::string_literals;
using harness_test::readText;
using harness_test::TempDir;

// ---------------------------------------------------------------------------
// PPM

TEST(ParsePpm, ReadsPixelsRowByRow) {
    gui::Image image = gui::parsePpm("P6\n2 2\n255\n\x01\x02\x03\x04\x05\x06\x07\x08\x09\xff\xfe\xfd"s);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.at(0, 0), (gui::Rgb{1, 2, 3}));
    EXPECT_EQ(image.at(1, 0), (gui::Rgb{4, 5, 6}));
    EXPECT_EQ(image.at(0, 1), (gui::Rgb{7, 8, 9}));
    EXPECT_EQ(image.at(1, 1), (gui::Rgb{255, 254, 253}));
}

TEST(ParsePpm, AcceptsCommentsAndAnyWhitespaceBetweenFields) {
    gui::Image image = gui::parsePpm("P6# made by hand\n  3\t# width\r\n1 # height\n\n# maxval next\n255\n"s +
                                     "\x0a\x20\x23" + "abc" + "\x00\x00\x00"s);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 1);
    // The raster starts right after the one whitespace character following
    // maxval, even when its first bytes are newline, space and '#'.
    EXPECT_EQ(image.at(0, 0), (gui::Rgb{0x0a, 0x20, 0x23}));
    EXPECT_EQ(image.at(1, 0), (gui::Rgb{'a', 'b', 'c'}));
    EXPECT_EQ(image.at(2, 0), (gui::Rgb{0, 0, 0}));
}

TEST(ParsePpm, IgnoresBytesAfterTheRaster) {
    gui::Image image = gui::parsePpm("P6 1 1 255 \x10\x20\x30P6 1 1 255 xyz"s);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.at(0, 0), (gui::Rgb{0x10, 0x20, 0x30}));
}

TEST(ParsePpm, ScalesSamplesWiderThanEightBits) {
    // Two bytes a sample, most significant first.
    gui::Image wide = gui::parsePpm("P6\n2 1\n65535\n"s + "\xff\xff\x00\x00\x80\x00"s + "\x01\x00\x00\x80\x7f\xff"s);
    ASSERT_TRUE(wide.valid());
    EXPECT_EQ(wide.at(0, 0), (gui::Rgb{255, 0, 128}));
    EXPECT_EQ(wide.at(1, 0), (gui::Rgb{1, 0, 127}));

    gui::Image narrow = gui::parsePpm("P6 1 1 15\n\x0f\x00\x07"s);
    ASSERT_TRUE(narrow.valid());
    EXPECT_EQ(narrow.at(0, 0), (gui::Rgb{255, 0, 119}));
}

TEST(ParsePpm, RejectsMalformedInput) {
    const std::string pixel = "\x01\x02\x03"s;
    EXPECT_TRUE(gui::parsePpm("P6 1 1 255\n" + pixel).valid());  // the baseline the cases below break

    EXPECT_FALSE(gui::parsePpm("").valid());
    EXPECT_FALSE(gui::parsePpm("P").valid());
    EXPECT_FALSE(gui::parsePpm("P3 1 1 255\n1 2 3\n").valid()) << "ASCII PPM";
    EXPECT_FALSE(gui::parsePpm("P5 1 1 255\n" + pixel).valid()) << "grey map";
    EXPECT_FALSE(gui::parsePpm("p6 1 1 255\n" + pixel).valid());
    EXPECT_FALSE(gui::parsePpm("P61 1 255\n" + pixel).valid()) << "no separator after the magic";
    EXPECT_FALSE(gui::parsePpm("P6 1 1\n" + pixel).valid()) << "maxval missing";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 255").valid()) << "header cut short";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 255" + pixel).valid()) << "no whitespace after maxval";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 255\n\x01\x02"s).valid()) << "raster one byte short";
    EXPECT_FALSE(gui::parsePpm("P6 2 1 255\n" + pixel).valid()) << "raster one pixel short";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 65535\n" + pixel).valid()) << "16-bit raster cut short";
    EXPECT_FALSE(gui::parsePpm("P6 0 1 255\n").valid()) << "zero width";
    EXPECT_FALSE(gui::parsePpm("P6 1 0 255\n").valid()) << "zero height";
    EXPECT_FALSE(gui::parsePpm("P6 -1 1 255\n" + pixel).valid()) << "negative width";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 0\n" + pixel).valid()) << "maxval 0";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 65536\n" + pixel + pixel).valid()) << "maxval too large";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 2\n" + pixel).valid()) << "samples above maxval";
    EXPECT_FALSE(gui::parsePpm("P6 x 1 255\n" + pixel).valid());
    EXPECT_FALSE(gui::parsePpm("P6 99999999999 99999999999 255\n" + pixel).valid()) << "huge size";
    EXPECT_FALSE(gui::parsePpm("P6 100000 100000 255\n" + pixel).valid()) << "size far beyond the data";
}

TEST(Image, DefaultIsInvalidAndAtChecksBounds) {
    EXPECT_FALSE(gui::Image{}.valid());
    gui::Image image = gui::parsePpm("P6 2 1 255\n\x01\x02\x03\x04\x05\x06"s);
    ASSERT_TRUE(image.valid());
    EXPECT_THROW(image.at(2, 0), std::out_of_range);
    EXPECT_THROW(image.at(0, 1), std::out_of_range);
    EXPECT_THROW(image.at(-1, 0), std::out_of_range);
    gui::Image inconsistent = image;
    inconsistent.rgb.pop_back();
    EXPECT_FALSE(inconsistent.valid());
}

TEST(Image, PpmRoundTrip) {
    gui::Image image;
    image.width = 3;
    image.height = 2;
    for (int i = 0; i < 18; ++i) image.rgb.push_back(static_cast<std::uint8_t>(i * 14 + 1));
    gui::Image back = gui::parsePpm(gui::toPpm(image));
    ASSERT_TRUE(back.valid());
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rgb, image.rgb);
}

// ---------------------------------------------------------------------------
// Pixel helpers

// A w x h image of `background` with the listed pixels set.
gui::Image makeImage(int w, int h, gui::Rgb background, std::initializer_list<std::tuple<int, int, gui::Rgb>> pixels) {
    gui::Image image;
    image.width = w;
    image.height = h;
    for (int i = 0; i < w * h; ++i) image.rgb.insert(image.rgb.end(), {background.r, background.g, background.b});
    for (const auto& [x, y, c] : pixels) {
        std::size_t i = (static_cast<std::size_t>(y) * w + x) * 3;
        image.rgb[i] = c.r;
        image.rgb[i + 1] = c.g;
        image.rgb[i + 2] = c.b;
    }
    return image;
}

constexpr gui::Rgb kBlack{0, 0, 0};
constexpr gui::Rgb kRed{255, 0, 0};

TEST(PixelHelpers, NearComparesEveryChannelAgainstTheTolerance) {
    EXPECT_TRUE(gui::near({100, 100, 100}, {105, 95, 100}, 5));
    EXPECT_FALSE(gui::near({100, 100, 100}, {106, 100, 100}, 5));
    EXPECT_FALSE(gui::near({100, 100, 100}, {100, 100, 94}, 5));
    EXPECT_FALSE(gui::near({0, 0, 0}, {255, 255, 255}, 254));
    EXPECT_TRUE(gui::near({0, 0, 0}, {255, 255, 255}, 255));
}

TEST(PixelHelpers, CountPixelsIncludesBothEndsAndClampsToTheImage) {
    // Red at the four corners of a 5x4 image and one in the middle.
    gui::Image image = makeImage(5, 4, kBlack, {{0, 0, kRed}, {4, 0, kRed}, {0, 3, kRed}, {4, 3, kRed}, {2, 1, kRed}});
    EXPECT_EQ(gui::countPixels(image, 0, 0, 4, 3, kRed, 0), 5);
    EXPECT_EQ(gui::countPixels(image, 4, 3, 0, 0, kRed, 0), 5) << "corners given the other way round";
    EXPECT_EQ(gui::countPixels(image, 0, 0, 2, 1, kRed, 0), 2);
    EXPECT_EQ(gui::countPixels(image, 2, 1, 2, 1, kRed, 0), 1) << "one-pixel rectangle";
    EXPECT_EQ(gui::countPixels(image, 0, 0, 3, 2, kRed, 0), 2) << "right column and bottom row left out";
    EXPECT_EQ(gui::countPixels(image, -10, -10, 100, 100, kRed, 0), 5);
    EXPECT_EQ(gui::countPixels(image, -10, -10, 100, 100, kBlack, 0), 15);
    EXPECT_EQ(gui::countPixels(image, -10, -10, -1, -1, kBlack, 0), 0) << "entirely left of and above the image";
    EXPECT_EQ(gui::countPixels(image, 5, 0, 9, 3, kBlack, 0), 0) << "entirely right of the image";
    EXPECT_EQ(gui::countPixels(image, 0, 0, 4, 3, {250, 5, 0}, 5), 5);
    EXPECT_EQ(gui::countPixels(image, 0, 0, 4, 3, {250, 5, 0}, 4), 0);
    EXPECT_EQ(gui::countPixels(gui::Image{}, 0, 0, 4, 3, kBlack, 255), 0);
}

TEST(PixelHelpers, AnyPixelNearSearchesADisc) {
    gui::Image image = makeImage(20, 20, kBlack, {{10, 13, kRed}, {17, 17, kRed}});
    EXPECT_TRUE(gui::anyPixelNear(image, 10, 10, 3, kRed, 0)) << "straight down, at exactly the radius";
    EXPECT_FALSE(gui::anyPixelNear(image, 10, 10, 2, kRed, 0));
    EXPECT_TRUE(gui::anyPixelNear(image, 10, 13, 0, kRed, 0));
    // (17,17) is 5 away from (14,13); (16,16) is 3,3 away from (13,13): outside radius 4.
    EXPECT_TRUE(gui::anyPixelNear(image, 14, 13, 5, kRed, 0));
    EXPECT_FALSE(gui::anyPixelNear(image, 14, 14, 4, kRed, 0));
    EXPECT_TRUE(gui::anyPixelNear(image, 19, 19, 3, kRed, 0)) << "disc reaching past the image edge";
    EXPECT_FALSE(gui::anyPixelNear(image, 100, 100, 3, kRed, 0));
    EXPECT_FALSE(gui::anyPixelNear(gui::Image{}, 0, 0, 3, kBlack, 255));
}

TEST(PixelHelpers, SavePngRoundTrip) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    gui::Image image = makeImage(7, 3, {10, 20, 30}, {{0, 0, kRed}, {6, 2, {1, 255, 2}}, {3, 1, {128, 64, 200}}});
    const std::string path = dir.path() + "/image.png";
    ASSERT_TRUE(gui::savePng(image, path));
    ASSERT_EQ(readText(path).substr(1, 3), "PNG");
    gui::CommandResult back = gui::runCommand({"convert", path, "-depth", "8", "ppm:-"});
    ASSERT_EQ(back.exitStatus, 0) << back.err;
    gui::Image decoded = gui::parsePpm(back.out);
    ASSERT_TRUE(decoded.valid());
    EXPECT_EQ(decoded.width, 7);
    EXPECT_EQ(decoded.height, 3);
    EXPECT_EQ(decoded.rgb, image.rgb);
    EXPECT_FALSE(gui::savePng(gui::Image{}, dir.path() + "/empty.png"));
}

}  // namespace
