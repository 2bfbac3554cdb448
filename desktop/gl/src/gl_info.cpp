#include "orrelin/desktop/gl_info.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

float parseVersionNumber(const char* version) {
    if (version == nullptr) return 0.0f;
    std::string_view text(version);
    std::size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const char* first = text.data() + pos;
    const char* last = text.data() + text.size();
    double value = 0.0;
    // Hexadecimal numbers ("0x1.8p0") are numbers to atof as well.
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X') &&
        (isDigit(first[2]) || (first[2] >= 'a' && first[2] <= 'f') || (first[2] >= 'A' && first[2] <= 'F') ||
         first[2] == '.')) {
        const auto result = std::from_chars(first + 2, last, value, std::chars_format::hex);
        if (result.ec == std::errc::invalid_argument) value = 0.0;
    } else {
        const auto result = std::from_chars(first, last, value, std::chars_format::general);
        if (result.ec == std::errc::invalid_argument) return 0.0f;
        // A number beyond double's range counts as no version at all.
        if (result.ec == std::errc::result_out_of_range) value = 0.0;
    }
    return static_cast<float>(negative ? -value : value);
}

bool extensionListContains(const char* extensions, const char* name) {
    if (extensions == nullptr || name == nullptr || std::strchr(name, ' ') != nullptr) return false;
    const std::size_t length = std::strlen(name);
    if (length == 0) return false;
    const char* start = extensions;
    for (;;) {
        const char* where = std::strstr(start, name);
        if (where == nullptr) return false;
        const char* end = where + length;
        if ((where == start || where[-1] == ' ') && (*end == ' ' || *end == '\0')) return true;
        start = end;
    }
}

bool bufferObjectsSupported(const char* version, const char* extensions) {
    // Both halves are always evaluated, the version first.
    const float number = parseVersionNumber(version);
    const bool extension = extensionListContains(extensions, kBufferObjectExtension);
    return number >= 1.5f && extension;
}
