#include "orrelin/desktop/gl_info.h"

#include <fast_float/fast_float.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "orrelin/base/text_chars.h"

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
    // Hexadecimal numbers ("0x1.8p0") are numbers to atof as well; the
    // decimal converter has no hexadecimal form.
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X') &&
        (isHexDigit(first[2]) || first[2] == '.')) {
        const auto result = std::from_chars(first + 2, last, value, std::chars_format::hex);
        if (result.ec == std::errc::invalid_argument) value = 0.0;
    } else {
        const auto result = fast_float::from_chars(first, last, value);
        if (result.ec == std::errc::invalid_argument) return 0.0f;
        // A number beyond double's range counts as no version at all (the
        // converter gives an infinity for it); "inf" written out stays one.
        if (std::isinf(value) && (isDigit(*first) || *first == '.')) value = 0.0;
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
