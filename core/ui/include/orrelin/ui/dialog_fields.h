#pragma once
// Reading and judging the two quadtree properties typed into the Info dialog.

#include <cstdint>
#include <string_view>

// Reads an edit field's text the way the dialog's unsigned number read does:
// leading white space skipped, decimal digits up to the first non-digit; no
// digit, or a value beyond 32 bits, reads as 0.
std::uint32_t readUnsignedField(std::string_view text);

enum class PropertiesVerdict { Valid, InvalidDepth, InvalidTriangles };

// Depth first: each value, taken as a signed 32-bit number, must lie in 1..10
// and 1..10000 respectively.
PropertiesVerdict validateProperties(std::int32_t maxDepth, std::int32_t trianglesPerRegion);

inline constexpr const char* kPropertiesErrorCaption = "Properties Input Error";
inline constexpr const char* kInvalidDepthText = "Invalid depth. Only values between 1 and 10 are allowed.";
inline constexpr const char* kInvalidTrianglesText =
    "Invalid number of triangles. Only values between 1 and 10000 are allowed.";
