#include "orrelin/ui/dialog_fields.h"

std::uint32_t readUnsignedField(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > 0xFFFFFFFFull) return 0;
    }
    return static_cast<std::uint32_t>(value);
}

PropertiesVerdict validateProperties(std::int32_t maxDepth, std::int32_t trianglesPerRegion) {
    if (maxDepth < 1 || maxDepth > 10) return PropertiesVerdict::InvalidDepth;
    if (trianglesPerRegion < 1 || trianglesPerRegion > 10000) return PropertiesVerdict::InvalidTriangles;
    return PropertiesVerdict::Valid;
}
