#pragma once
// Pictures for the GUI tests: colours, RGB images, the binary PPM that screen
// captures arrive in, counting pixels of a colour, and saving a PNG.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace gui {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Lets GoogleTest print colours as "#rrggbb (r, g, b)".
void PrintTo(const Rgb& colour, std::ostream* os);
std::ostream& operator<<(std::ostream& os, const Rgb& colour);

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // row-major, 3 bytes a pixel, top row first

    // Throws std::out_of_range outside the image.
    Rgb at(int x, int y) const;
    bool valid() const;
};

// Reads a binary PPM (P6). Comments and any whitespace are accepted between
// the header fields; samples above 8 bits (maxval > 255) are scaled to 8 bits.
// Returns an invalid Image for anything malformed or cut short.
Image parsePpm(std::string_view bytes);

// Encodes an image as a binary PPM with maxval 255.
std::string toPpm(const Image& image);

// True when every channel differs by at most `tolerance`.
bool near(Rgb a, Rgb b, int tolerance);

// Number of pixels near `colour` in the rectangle [x0, x1] x [y0, y1]
// (both ends included, corners in any order), clamped to the image.
int countPixels(const Image& image, int x0, int y0, int x1, int y1, Rgb colour, int tolerance);

// True when some pixel within `radius` (Euclidean) of (cx, cy) is near `colour`.
bool anyPixelNear(const Image& image, int cx, int cy, int radius, Rgb colour, int tolerance);

// Writes the image as a PNG file with ImageMagick's convert; false for an
// invalid image or when convert fails.
bool savePng(const Image& image, const std::string& path);

}  // namespace gui
