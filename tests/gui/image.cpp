#include "image.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <stdexcept>

#include "process.h"

namespace gui {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void PrintTo(const Rgb& colour, std::ostream* os) {
    *os << colour;
}

std::ostream& operator<<(std::ostream& os, const Rgb& colour) {
    char text[40];
    std::snprintf(text, sizeof text, "#%02x%02x%02x (%d, %d, %d)", colour.r, colour.g, colour.b, colour.r, colour.g,
                  colour.b);
    return os << text;
}

bool Image::valid() const {
    return width > 0 && height > 0 && rgb.size() == static_cast<std::size_t>(width) * height * 3;
}

Rgb Image::at(int x, int y) const {
    if (!valid() || x < 0 || y < 0 || x >= width || y >= height) {
        throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") outside a " +
                                std::to_string(width) + "x" + std::to_string(height) + " image");
    }
    std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

Image parsePpm(std::string_view bytes) {
    std::size_t i = 0;
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') return {};
    i = 2;
    // Whitespace and comments (from '#' to the end of the line) separate the
    // header fields; at least one separator is required.
    auto separator = [&]() {
        bool any = false;
        while (i < bytes.size()) {
            if (isSpace(bytes[i])) {
                ++i;
            } else if (bytes[i] == '#') {
                while (i < bytes.size() && bytes[i] != '\n' && bytes[i] != '\r') ++i;
            } else {
                break;
            }
            any = true;
        }
        return any;
    };
    auto number = [&](std::uint64_t& value) {
        std::size_t start = i;
        value = 0;
        while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9') {
            value = value * 10 + static_cast<std::uint64_t>(bytes[i] - '0');
            if (value > 1'000'000'000) return false;
            ++i;
        }
        return i > start;
    };
    std::uint64_t width = 0, height = 0, maxval = 0;
    if (!separator() || !number(width) || !separator() || !number(height) || !separator() || !number(maxval)) {
        return {};
    }
    // Exactly one whitespace character ends the header; the raster follows,
    // and its first byte may itself look like whitespace or '#'.
    if (i >= bytes.size() || !isSpace(bytes[i])) return {};
    ++i;
    if (width == 0 || height == 0 || maxval == 0 || maxval > 65535) return {};
    if (width * height > (std::uint64_t{1} << 28)) return {};
    const std::uint64_t sampleBytes = maxval < 256 ? 1 : 2;
    const std::uint64_t samples = width * height * 3;
    if (bytes.size() - i < samples * sampleBytes) return {};

    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.rgb.resize(samples);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data() + i);
    for (std::uint64_t s = 0; s < samples; ++s) {
        std::uint64_t v = sampleBytes == 1 ? data[s] : (std::uint64_t{data[2 * s]} << 8) | data[2 * s + 1];
        if (v > maxval) return {};
        image.rgb[s] = static_cast<std::uint8_t>(maxval == 255 ? v : (v * 255 + maxval / 2) / maxval);
    }
    return image;
}

std::string toPpm(const Image& image) {
    if (!image.valid()) return {};
    std::string out = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    out.append(reinterpret_cast<const char*>(image.rgb.data()), image.rgb.size());
    return out;
}

bool near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

int countPixels(const Image& image, int x0, int y0, int x1, int y1, Rgb colour, int tolerance) {
    if (!image.valid()) return 0;
    const int left = std::max(std::min(x0, x1), 0), right = std::min(std::max(x0, x1), image.width - 1);
    const int top = std::max(std::min(y0, y1), 0), bottom = std::min(std::max(y0, y1), image.height - 1);
    int count = 0;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            if (near(image.at(x, y), colour, tolerance)) ++count;
        }
    }
    return count;
}

bool anyPixelNear(const Image& image, int cx, int cy, int radius, Rgb colour, int tolerance) {
    if (!image.valid() || radius < 0) return false;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int x = cx + dx, y = cy + dy;
            if (dx * dx + dy * dy > radius * radius || x < 0 || y < 0 || x >= image.width || y >= image.height) {
                continue;
            }
            if (near(image.at(x, y), colour, tolerance)) return true;
        }
    }
    return false;
}

bool savePng(const Image& image, const std::string& path) {
    if (!image.valid() || path.empty()) return false;
    return runCommandWithInput({"convert", "ppm:-", "png:" + path}, toPpm(image), 30).exitStatus == 0;
}

}  // namespace gui
