#pragma once
// A slow second reader of .tri data, written to be checked by eye rather than
// to be fast. The tests and the fuzz target compare parseTriangleData with it.
//
// It shares no code with the product reader: the number fields are recognised
// by an explicit state table over character classes, the text of a float field
// is collected in a std::string and handed to strtof (correctly rounded in
// glibc; used here only in the "C" locale and only on text the table accepted),
// and the range of an index is decided by comparing digit strings.

#include <array>
#include <cassert>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orrelin/mesh/mesh_types.h"
#include "orrelin/mesh/tri_reader.h"

namespace reader_reference {

// What the reference read. An index is nullopt where the file held a number
// outside the signed 32-bit range: the flag makes such a file invalid and the
// value stored for it is left open.
struct Result {
    std::vector<Point2> vertices;
    std::vector<std::optional<std::uint32_t>> indices;
    TriangleParseFlags flags;
};

// Character classes of the number grammar.
enum Class : int { kDigit, kSign, kPoint, kExpMark, kOther, kClassCount };

inline Class classify(char ch) {
    if (ch >= '0' && ch <= '9') return kDigit;
    if (ch == '+' || ch == '-') return kSign;
    if (ch == '.') return kPoint;
    if (ch == 'e' || ch == 'E') return kExpMark;
    return kOther;
}

inline bool isBlank(char ch) {
    return std::string_view(" \t\n\v\f\r").find(ch) != std::string_view::npos;
}

// States of a float field. kDead: the character does not belong to the field.
enum State : int {
    kStart,      // nothing read
    kSigned,     // "+"
    kWhole,      // "+12"            accepting
    kBarePoint,  // "+." (no digit yet)
    kFraction,   // "+12." "+.5"     accepting
    kExpStart,   // "+1.5e"
    kExpSigned,  // "+1.5e-"
    kExpDigits,  // "+1.5e-3"        accepting
    kDead,
    kStateCount = kDead
};

constexpr std::array<bool, kStateCount> kAccepting = {false, false, true, false, true, false, false, true};

//                                            digit       sign        point       e/E        other
constexpr std::array<std::array<State, kClassCount>, kStateCount> kNext = {{
    /* kStart     */ {{kWhole, kSigned, kBarePoint, kDead, kDead}},
    /* kSigned    */ {{kWhole, kDead, kBarePoint, kDead, kDead}},
    /* kWhole     */ {{kWhole, kDead, kFraction, kExpStart, kDead}},
    /* kBarePoint */ {{kFraction, kDead, kDead, kDead, kDead}},
    /* kFraction  */ {{kFraction, kDead, kDead, kExpStart, kDead}},
    /* kExpStart  */ {{kExpDigits, kExpSigned, kDead, kDead, kDead}},
    /* kExpSigned */ {{kExpDigits, kDead, kDead, kDead, kDead}},
    /* kExpDigits */ {{kExpDigits, kDead, kDead, kDead, kDead}},
}};

inline void requireCLocale() {
    const char* name = std::setlocale(LC_NUMERIC, nullptr);
    if (name == nullptr || std::strcmp(name, "C") != 0) std::setlocale(LC_NUMERIC, "C");
    name = std::setlocale(LC_NUMERIC, nullptr);
    if (name == nullptr || std::strcmp(name, "C") != 0) std::abort();
}

class Reader {
   public:
    explicit Reader(std::string_view text) : text_(text) {}

    Result run() {
        requireCLocale();
        while (pos_ < text_.size()) {
            const char ch = text_[pos_];
            ++pos_;
            switch (ch) {
                case 'v': vertexRecord(); break;
                case 'f': triangleRecord(); break;
                default: break;
            }
        }
        return std::move(result_);
    }

   private:
    void skipBlanks() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
    }

    // One float field: true and `value` set when a number was read.
    bool floatField(float& value) {
        skipBlanks();
        State state = kStart;
        std::string consumed;
        std::string number;  // the longest accepted prefix of `consumed`
        while (consumed.size() < 8 && pos_ < text_.size()) {
            const State next = kNext[state][classify(text_[pos_])];
            if (next == kDead) break;
            state = next;
            consumed += text_[pos_];
            ++pos_;
            if (kAccepting[state]) number = consumed;
        }
        if (number.empty()) return false;

        // `number` matches the grammar, which is a subset of what strtof reads;
        // strtof must therefore take all of it.
        char* end = nullptr;
        const float converted = std::strtof(number.c_str(), &end);
        if (end != number.c_str() + number.size()) std::abort();
        if (std::isinf(converted)) result_.flags.nonFiniteCoordinate = true;
        value = converted;
        return true;
    }

    // One integer field: true and `value` set when digits were read.
    bool intField(std::optional<std::uint32_t>& value) {
        skipBlanks();
        bool negative = false;
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
            negative = text_[pos_] == '-';
            ++pos_;
        }
        std::string digits;
        while (pos_ < text_.size() && classify(text_[pos_]) == kDigit) digits += text_[pos_++];
        if (digits.empty()) return false;

        const std::size_t firstNonZero = digits.find_first_not_of('0');
        const std::string significant = firstNonZero == std::string::npos ? "" : digits.substr(firstNonZero);
        const std::string limit = negative ? "2147483648" : "2147483647";
        const bool tooLong = significant.size() > limit.size();
        const bool tooLarge = tooLong || (significant.size() == limit.size() && significant > limit);
        if (tooLarge) {
            result_.flags.indexOutOfRange = true;
            value.reset();
            return true;
        }
        std::int64_t magnitude = 0;
        for (const char d : significant) magnitude = magnitude * 10 + (d - '0');
        const std::int64_t signedValue = negative ? -magnitude : magnitude;
        // Two's complement: -1 is stored as 0xFFFFFFFF.
        value = static_cast<std::uint32_t>(static_cast<std::uint64_t>(signedValue) & 0xFFFFFFFFu);
        return true;
    }

    void vertexRecord() {
        // The fields are converted in order; the first failure ends the record.
        if (floatField(x_)) floatField(y_);
        result_.vertices.push_back(Point2{x_, y_});
    }

    void triangleRecord() {
        for (auto& field : abc_) {
            if (!intField(field)) break;
        }
        for (const auto& field : abc_) result_.indices.push_back(field);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    float x_ = 0.0f;
    float y_ = 0.0f;
    std::array<std::optional<std::uint32_t>, 3> abc_ = {0u, 0u, 0u};
    Result result_;
};

inline Result read(std::string_view text) {
    return Reader(text).run();
}

}  // namespace reader_reference
