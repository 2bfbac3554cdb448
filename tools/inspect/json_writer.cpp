#include "json_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

// A positive finite float's shortest round-trip decimal digits, as
// d[0].d[1]...d[count-1] x 10^exponent with no trailing zeros.
struct ShortestDecimal {
    char digits[24];
    int count = 0;
    int exponent = 0;
};

// fmt's default float format holds the shortest digits that read back to the
// same float, laid out in fmt's own choice of fixed or scientific notation
// (with zeros after the digits in fixed notation of large values). The
// digits and the exponent are read back from that text; its layout is not
// the one this writer prints.
ShortestDecimal shortestDecimal(float magnitude) {
    char text[40];
    const auto written = fmt::format_to_n(text, sizeof text, "{}", magnitude);
    const char* const end = text + std::min(written.size, sizeof text);
    ShortestDecimal d;
    int integerDigits = 0;  // significant digits before the point; minus the zeros after "0."
    bool afterPoint = false;
    const char* p = text;
    for (; p != end && *p != 'e'; ++p) {
        if (*p == '.') {
            afterPoint = true;
        } else if (d.count == 0 && *p == '0') {
            if (afterPoint) --integerDigits;
        } else if (d.count < static_cast<int>(sizeof d.digits)) {
            d.digits[d.count++] = *p;
            if (!afterPoint) ++integerDigits;
        }
    }
    int exponent = 0;
    if (p != end) {
        ++p;  // 'e'
        if (p != end && *p == '+') ++p;
        std::from_chars(p, end, exponent);
    }
    while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
    d.exponent = integerDigits - 1 + exponent;
    return d;
}

void appendDigits(std::string& out, const char* digits, int count) {
    out.append(digits, static_cast<std::size_t>(count));
}

}  // namespace

// The text is the one std::to_chars(float) prints without a format: of the
// fixed and the scientific notation of the shortest digits, the shorter one,
// fixed on a tie. A fixed number without a fraction prints the float's exact
// integer value, which has as many digits as the shortest digits padded with
// zeros and is closer to the float. The scientific exponent has a sign and at
// least two digits ("1e+20", "1e-05").
void appendFloat(std::string& out, float value) {
    if (std::isnan(value)) {
        out += "\"nan\"";
        return;
    }
    if (std::isinf(value)) {
        out += value > 0 ? "\"inf\"" : "\"-inf\"";
        return;
    }
    if (std::signbit(value)) out += '-';
    if (value == 0.0f) {
        out += '0';
        return;
    }
    const float magnitude = std::fabs(value);
    const ShortestDecimal d = shortestDecimal(magnitude);
    const int n = d.count;
    const int e = d.exponent;
    // A float's decimal exponent lies between -45 and 38: two digits.
    const int scientificLength = n + (n > 1 ? 1 : 0) + 4;
    const int fixedLength = e >= n - 1 ? e + 1 : e >= 0 ? n + 1 : n + 1 - e;
    if (scientificLength < fixedLength) {
        out += d.digits[0];
        if (n > 1) {
            out += '.';
            appendDigits(out, d.digits + 1, n - 1);
        }
        out += e < 0 ? "e-" : "e+";
        const int absExponent = std::abs(e);
        if (absExponent < 10) out += '0';
        appendUnsigned(out, static_cast<std::uint64_t>(absExponent));
    } else if (e >= n - 1) {
        // Only an integer float has shortest digits without a fraction, and
        // fixed notation wins only up to 14 digits: the conversion is exact.
        appendUnsigned(out, static_cast<std::uint64_t>(magnitude));
    } else if (e >= 0) {
        appendDigits(out, d.digits, e + 1);
        out += '.';
        appendDigits(out, d.digits + e + 1, n - e - 1);
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-e - 1), '0');
        appendDigits(out, d.digits, n);
    }
}

void appendDouble(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "null";
        return;
    }
    fmt::format_to(std::back_inserter(out), "{}", value);
}

void appendUnsigned(std::string& out, std::uint64_t value) {
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

void appendSigned(std::string& out, std::int64_t value) {
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 if there is none.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (b0 < 0x80) return 1;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1Fu;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0Fu;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07u;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3Fu);
    }
    const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

void appendString(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
            ++i;
        } else {
            const std::size_t len = utf8SequenceLength(text, i);
            if (len == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text.substr(i, len));
                i += len;
            }
        }
    }
    out += '"';
}
