#include "orrelin/mesh/tri_writer.h"

#include <fast_float/fast_float.h>
#include <fmt/compile.h>
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "orrelin/base/contract.h"

namespace {

// A decimal: `digits` x 10^exponent.
struct Decimal {
    std::uint64_t digits = 0;
    int exponent = 0;
};

Decimal normalised(std::uint64_t digits, int exponent) {
    while (digits != 0 && digits % 10 == 0) {
        digits /= 10;
        ++exponent;
    }
    return Decimal{digits, exponent};
}

// The digits and exponent of fmt's text of a positive value: "123.45",
// "1e-20", "1.5e+38" or "12345678", trailing zeros kept.
Decimal parseFmtText(std::string_view text) {
    std::uint64_t digits = 0;
    int exponent = 0;
    std::size_t i = 0;
    bool afterPoint = false;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] == '.') {
            afterPoint = true;
            continue;
        }
        digits = digits * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (afterPoint) --exponent;
    }
    if (i < text.size()) {
        ++i;
        const bool negative = text[i] == '-';
        if (text[i] == '-' || text[i] == '+') ++i;
        int e = 0;
        for (; i < text.size(); ++i) e = e * 10 + (text[i] - '0');
        exponent += negative ? -e : e;
    }
    return Decimal{digits, exponent};
}

// The shortest digits that read back to the positive finite float `magnitude`.
Decimal shortestDigits(float magnitude) {
    char text[48];
    const auto written = fmt::format_to_n(text, sizeof text, FMT_COMPILE("{}"), magnitude);
    const Decimal d = parseFmtText(std::string_view(text, std::min(written.size, sizeof text)));
    return normalised(d.digits, d.exponent);
}

// `magnitude` rounded to n significant digits, all n of them kept.
Decimal roundedDigits(float magnitude, int n) {
    char text[48];
    const auto written = fmt::format_to_n(text, sizeof text, "{:.{}e}", static_cast<double>(magnitude), n - 1);
    return parseFmtText(std::string_view(text, std::min(written.size, sizeof text)));
}

// Text being laid out, with room beyond the field so that a form may overrun
// it before it is measured.
struct Draft {
    char chars[48];
    std::size_t length = 0;
    void put(char c) {
        if (length < sizeof chars) chars[length++] = c;
    }
    void put(std::string_view s) {
        for (char c : s) put(c);
    }
};

// The decimal digits of an integer.
struct DigitText {
    char chars[24];
    int length = 0;
    explicit DigitText(std::int64_t value) {
        length = static_cast<int>(std::to_chars(chars, chars + sizeof chars, value).ptr - chars);
    }
    std::string_view first(int n) const { return std::string_view(chars, static_cast<std::size_t>(n)); }
    std::string_view from(int n) const { return std::string_view(chars + n, static_cast<std::size_t>(length - n)); }
};

// Plain notation: "-12.5", "0.001", or with `leadingZero` false ".001".
Draft plainForm(bool negative, const Decimal& d, bool leadingZero) {
    Draft out;
    if (negative) out.put('-');
    const DigitText s(static_cast<std::int64_t>(d.digits));
    if (d.exponent >= 0) {
        out.put(s.from(0));
        for (int k = 0; k < d.exponent && out.length < sizeof out.chars; ++k) out.put('0');
        return out;
    }
    const int before = s.length + d.exponent;  // digits before the point
    if (before > 0) {
        out.put(s.first(before));
        out.put('.');
        out.put(s.from(before));
        return out;
    }
    if (leadingZero) out.put('0');
    out.put('.');
    for (int k = 0; k < -before && out.length < sizeof out.chars; ++k) out.put('0');
    out.put(s.from(0));
    return out;
}

// The shortest exponent notation: the point after `before` digits (none when
// all digits stand before it), "e" and the exponent.
Draft exponentForm(bool negative, const Decimal& d) {
    const DigitText s(static_cast<std::int64_t>(d.digits));
    const int n = s.length;
    Draft best;
    best.length = sizeof best.chars;
    for (int before = 0; before <= n; ++before) {
        Draft out;
        if (negative) out.put('-');
        out.put(s.first(before));
        if (before < n) {
            out.put('.');
            out.put(s.from(before));
        }
        out.put('e');
        out.put(DigitText(d.exponent + (n - before)).from(0));
        if (out.length < best.length) best = out;
    }
    return best;
}

// What the reader makes of a field's text.
float readBack(const Draft& text) {
    float value = 0.0f;
    fast_float::from_chars(text.chars, text.chars + text.length, value);
    return value;
}

// Bit for bit, so that -0 differs from 0 (std::bit_cast is missing from some
// of the project's standard libraries).
bool sameBits(float a, float b) {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

CoordinateText finish(const Draft& draft, bool exact) {
    CoordinateText out;
    std::memcpy(out.chars, draft.chars, draft.length);
    out.length = draft.length;
    out.exact = exact;
    return out;
}

// The plain notation with the fewest fraction digits that reads back to the
// positive finite float `magnitude`, with a "0" before the point of a
// fraction, when one fits the field (minus `reserved` characters); else an
// empty draft. A decimal with p fraction digits can only read back to the
// float when it lies within half a step of the float's neighbours on either
// side, which is checked in double precision (far finer than the float's
// steps) before the reader's conversion confirms it.
Draft shortestPlain(float magnitude, std::size_t reserved) {
    const double f = magnitude;
    const double below = (f + static_cast<double>(std::nextafter(magnitude, 0.0f))) / 2.0;
    const double above = (f + static_cast<double>(std::nextafter(magnitude, std::numeric_limits<float>::max()))) / 2.0;
    const double slack = (above - below) * 1e-6;
    const std::size_t room = kCoordinateWidth - reserved;
    double scale = 1.0;
    for (std::size_t p = 0; p + 1 < room || p == 0; ++p, scale *= 10.0) {
        const double scaled = std::round(f * scale);
        if (scaled >= 1e8) break;  // no room for the integer digits
        // The interval in units of the p-th fraction digit.
        const double low = below * scale - slack * scale;
        const double high = above * scale + slack * scale;
        const auto m = static_cast<std::int64_t>(scaled);
        for (const std::int64_t candidate : {m, m - 1, m + 1}) {
            const double c = static_cast<double>(candidate);
            if (candidate <= 0 || c < low || c > high) continue;
            const DigitText digits(candidate);
            Draft out;
            const int fraction = static_cast<int>(p);
            const int whole = digits.length - fraction;
            if (whole > 0) {
                out.put(digits.first(whole));
            } else {
                out.put('0');
            }
            if (fraction > 0) {
                out.put('.');
                for (int k = whole; k < 0; ++k) out.put('0');
                out.put(whole > 0 ? digits.from(whole) : digits.from(0));
            }
            if (out.length > room) continue;
            if (sameBits(readBack(out), magnitude)) return out;
        }
    }
    return Draft{};
}

}  // namespace

CoordinateText coordinateText(float value) {
    if (std::isnan(value)) return finish(plainForm(false, Decimal{}, true), false);  // "0"
    const bool negative = std::signbit(value);
    const bool finite = std::isfinite(value);
    const float target = finite ? value : std::copysign(std::numeric_limits<float>::max(), value);
    const float magnitude = std::fabs(target);
    if (magnitude == 0.0f) {
        Draft zero;
        zero.put(negative ? "-0" : "0");
        return finish(zero, true);
    }
    if (finite) {
        const Draft plain = shortestPlain(magnitude, negative ? 1 : 0);
        if (plain.length != 0) {
            Draft out;
            if (negative) out.put('-');
            out.put(std::string_view(plain.chars, plain.length));
            return finish(out, true);
        }
    }
    // The shortest digits in the shorter of the plain notation without its
    // leading zero and the exponent notation. A decimal with more digits has
    // no shorter form.
    const Decimal shortest = shortestDigits(magnitude);
    if (finite) {
        const Draft bare = plainForm(negative, shortest, false);
        const Draft exponent = exponentForm(negative, shortest);
        const Draft& shorter = exponent.length < bare.length ? exponent : bare;
        if (shorter.length <= kCoordinateWidth && sameBits(readBack(shorter), value)) return finish(shorter, true);
    }

    // Otherwise every decimal of up to eight significant digits near the value
    // (the n-digit rounding and its neighbours, which a value just above or
    // below a power of two or ten may need), each in its shortest form: the
    // shortest one that reads back to the value, else the one that reads back
    // nearest to it.
    Draft nearest;
    double nearestDistance = std::numeric_limits<double>::infinity();
    Draft shortestExact;
    bool haveExact = false;
    // A form holds at least its digits and its sign.
    for (int n = 1; n <= static_cast<int>(kCoordinateWidth) - (negative ? 1 : 0); ++n) {
        const Decimal rounded = roundedDigits(magnitude, n);
        for (int step = -1; step <= 1; ++step) {
            if (rounded.digits + static_cast<std::uint64_t>(step) == 0) continue;
            const Decimal d = normalised(rounded.digits + static_cast<std::uint64_t>(step), rounded.exponent);
            for (Draft form : {plainForm(negative, d, false), exponentForm(negative, d)}) {
                if (form.length > kCoordinateWidth) continue;
                const float back = readBack(form);
                if (finite && sameBits(back, value)) {
                    if (!haveExact || form.length < shortestExact.length) shortestExact = form;
                    haveExact = true;
                } else if (std::isfinite(back)) {
                    const double distance = std::fabs(static_cast<double>(back) - static_cast<double>(target));
                    if (distance < nearestDistance) {
                        nearestDistance = distance;
                        nearest = form;
                    }
                }
            }
        }
    }
    if (haveExact) return finish(shortestExact, true);
    return finish(nearest, false);
}

TriangleFileText triangleFileText(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices) {
    ORRELIN_REQUIRE(indices.size() % 3 == 0);
    TriangleFileText out;
    out.text.reserve(vertices.size() * 16 + indices.size() * 8);
    const auto putCoordinate = [&](float v) {
        const CoordinateText c = coordinateText(v);
        out.text.append(c.chars, c.length);
        if (!c.exact) ++out.inexactCoordinates;
    };
    for (const Point2& p : vertices) {
        out.text += "v ";
        putCoordinate(p.x);
        out.text += ' ';
        putCoordinate(p.y);
        out.text += '\n';
    }
    for (std::size_t k = 0; k < indices.size(); k += 3) {
        char record[40] = "f ";
        char* p = record + 2;
        for (std::size_t c = 0; c < 3; ++c) {
            p = std::to_chars(p, record + sizeof record, indices[k + c]).ptr;
            *p++ = c < 2 ? ' ' : '\n';
        }
        out.text.append(record, p);
    }
    return out;
}
