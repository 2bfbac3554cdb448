#pragma once
// Minimal JSON text output for orrelin-inspect.

#include <cstdint>
#include <string>
#include <string_view>

// Appends a float in the shortest decimal form that reads back to the same
// 32-bit value ("-0" keeps its sign); infinities and NaN as the strings
// "inf", "-inf" and "nan".
void appendFloat(std::string& out, float value);

// Appends a double as fmt writes it by default: the shortest digits that read
// back to the same value; NaN as null.
void appendDouble(std::string& out, double value);

// Appends a JSON string literal. Bytes that are not valid UTF-8 become U+FFFD.
void appendString(std::string& out, std::string_view text);

void appendUnsigned(std::string& out, std::uint64_t value);
void appendSigned(std::string& out, std::int64_t value);
