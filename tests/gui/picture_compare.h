#pragma once
// Two pictures of the same scene compared: every pixel of a colour in one has
// a pixel of that colour within 1 pixel in the other, and the drawn part of
// both (what is not black) has the same bounds within 1 pixel.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "image.h"

namespace picture_compare {

struct Bounds {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};

// The rectangle around every pixel that is not black.
inline Bounds drawnBounds(const gui::Image& image, int tolerance) {
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
inline int unmatched(const gui::Image& a, const gui::Image& b, gui::Rgb colour, int tolerance, int& count) {
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
inline void expectWithinAPixel(const gui::Image& a, const gui::Image& b, std::initializer_list<gui::Rgb> colours,
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

}  // namespace picture_compare
