// Tests of the .tri reader: the documented examples, the number fields to the
// bit, a comparison with the slow reference reader on random and cut-short
// input, the validation rules and the file read.

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "special_files.h"

// The tests that must not hang run the reader on a thread of its own.
#include <future>
#include <thread>
#endif

#include "orrelin/mesh/tri_reader.h"
#include "reader_reference.h"

using namespace std::string_literals;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kDenormMin = std::numeric_limits<float>::denorm_min();

std::uint32_t bitsOf(float f) {
    return std::bit_cast<std::uint32_t>(f);
}

struct Parsed {
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    TriangleParseFlags flags;
    bool valid = false;
};

Parsed parse(std::string_view text) {
    Parsed p;
    p.flags = parseTriangleData(text.data(), text.size(), p.vertices, p.indices);
    p.valid = validateFileMesh(p.vertices, p.indices, p.flags);
    return p;
}

// Input bytes shown with the unprintable ones escaped.
std::string shown(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '\\') {
            out += "\\\\";
        } else if (u >= 0x20 && u < 0x7F) {
            out += ch;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        }
    }
    return out;
}

std::string describe(float f) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g (0x%08X)", static_cast<double>(f), bitsOf(f));
    return buf;
}

// Vertices equal to the bit (so -0 differs from +0).
::testing::AssertionResult sameVertices(const std::vector<Point2>& actual, const std::vector<Point2>& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << actual.size() << " vertices read, " << expected.size() << " expected";
    }
    for (std::size_t k = 0; k < actual.size(); ++k) {
        if (bitsOf(actual[k].x) != bitsOf(expected[k].x) || bitsOf(actual[k].y) != bitsOf(expected[k].y)) {
            return ::testing::AssertionFailure()
                   << "vertex " << k << " is (" << describe(actual[k].x) << ", " << describe(actual[k].y)
                   << "), expected (" << describe(expected[k].x) << ", " << describe(expected[k].y) << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

// parseTriangleData over data[0, size) against the reference over the same
// bytes. `data` may continue behind `size`: bytes there must not be read.
::testing::AssertionResult agreesWithReference(const char* data, std::size_t size) {
    const std::string_view text(data, size);
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    const TriangleParseFlags flags = parseTriangleData(data, size, vertices, indices);
    const reader_reference::Result expected = reader_reference::read(text);

    auto fail = [&]() { return ::testing::AssertionFailure() << "input \"" << shown(text) << "\": "; };
    if (flags.nonFiniteCoordinate != expected.flags.nonFiniteCoordinate) {
        return fail() << "nonFiniteCoordinate " << flags.nonFiniteCoordinate << ", expected "
                      << expected.flags.nonFiniteCoordinate;
    }
    if (flags.indexOutOfRange != expected.flags.indexOutOfRange) {
        return fail() << "indexOutOfRange " << flags.indexOutOfRange << ", expected " << expected.flags.indexOutOfRange;
    }
    if (auto same = sameVertices(vertices, expected.vertices); !same) return fail() << same.message();
    if (indices.size() != expected.indices.size()) {
        return fail() << indices.size() << " indices read, " << expected.indices.size() << " expected";
    }
    for (std::size_t k = 0; k < indices.size(); ++k) {
        // A value outside the 32-bit range (flagged above) may be stored as anything.
        if (expected.indices[k].has_value() && indices[k] != *expected.indices[k]) {
            return fail() << "index " << k << " is " << indices[k] << ", expected " << *expected.indices[k];
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult agreesWithReference(std::string_view text) {
    return agreesWithReference(text.data(), text.size());
}

// ---------------------------------------------------------------------------
// The documented examples.

TEST(ReaderExamples, UnitSquareLoads) {
    const Parsed p = parse("v 0 0\nv 1 0\nv 0 1\nv 1 1\nf 0 1 2\nf 1 3 2\n");
    EXPECT_TRUE(sameVertices(p.vertices, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}));
    EXPECT_EQ(p.indices, (std::vector<std::uint32_t>{0, 1, 2, 1, 3, 2}));
    EXPECT_FALSE(p.flags.nonFiniteCoordinate);
    EXPECT_FALSE(p.flags.indexOutOfRange);
    EXPECT_TRUE(p.valid);
}

TEST(ReaderExamples, FilesWithoutBothRecordKindsAreInvalid) {
    EXPECT_FALSE(parse("").valid);
    EXPECT_FALSE(parse("V 0 0\nF 0 1 2\n# nothing here\n").valid);
    EXPECT_FALSE(parse("v 0 0\nv 1 0\nv 0 1\n").valid);
    EXPECT_FALSE(parse("f 0 0 0\nf 0 0 0\n").valid);

    const Parsed upper = parse("V 0 0\nF 0 1 2\n");
    EXPECT_TRUE(upper.vertices.empty());
    EXPECT_TRUE(upper.indices.empty());

    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    const TriangleParseFlags flags = parseTriangleData(nullptr, 0, v, i);
    EXPECT_TRUE(v.empty());
    EXPECT_TRUE(i.empty());
    EXPECT_FALSE(flags.nonFiniteCoordinate || flags.indexOutOfRange);
}

TEST(ReaderExamples, IndicesOutsideTheVerticesAreInvalid) {
    EXPECT_FALSE(parse("v 0 0\nv 1 0\nf 0 1 2\n").valid);
    EXPECT_TRUE(parse("v 0 0\nv 1 0\nv 0 1\nf 0 1 2\n").valid);

    const Parsed negative = parse("v 0 0\nv 1 0\nv 0 1\nf 0 1 -1\n");
    EXPECT_EQ(negative.indices, (std::vector<std::uint32_t>{0, 1, 4294967295u}));
    EXPECT_FALSE(negative.flags.indexOutOfRange);
    EXPECT_FALSE(negative.valid);
}

TEST(ReaderExamples, RecordLayout) {
    // The first number is cut after 8 characters; its rest is y, and 2.0 is skipped.
    EXPECT_TRUE(sameVertices(parse("v 123.456789 2.0\n").vertices, {{123.4567f, 89.0f}}));
    // A third number is skipped.
    EXPECT_TRUE(sameVertices(parse("v 1 2 3\n").vertices, {{1, 2}}));
    // The numbers may stand on different lines.
    EXPECT_TRUE(sameVertices(parse("v 1\n2\n").vertices, {{1, 2}}));
    // No separator is needed behind the letter.
    EXPECT_TRUE(sameVertices(parse("v1 2").vertices, {{1, 2}}));
    EXPECT_EQ(parse("f1\n2\r\n3").indices, (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(parse("f 1 2 3 4\n").indices, (std::vector<std::uint32_t>{1, 2, 3}));
    // Every kind of white space before a number.
    EXPECT_TRUE(sameVertices(parse("v\t\n\v\f\r 1 \r\n\t2").vertices, {{1, 2}}));
}

TEST(ReaderExamples, MissingNumbersKeepTheLastValues) {
    EXPECT_EQ(parse("f 0 1 2\nf 3\n").indices, (std::vector<std::uint32_t>{0, 1, 2, 3, 1, 2}));

    // The f of "first" starts a triangle and the v of "vertex" a vertex.
    const Parsed alone = parse("# first vertex\n");
    EXPECT_EQ(alone.indices, (std::vector<std::uint32_t>{0, 0, 0}));
    EXPECT_TRUE(sameVertices(alone.vertices, {{0, 0}}));

    const Parsed after = parse("v 5 6\nf 3 4 5\n# first vertex\n");
    EXPECT_EQ(after.indices, (std::vector<std::uint32_t>{3, 4, 5, 3, 4, 5}));
    EXPECT_TRUE(sameVertices(after.vertices, {{5, 6}, {5, 6}}));
}

TEST(ReaderExamples, RecordOrderAndLineEndsDoNotMatter) {
    const std::string lf = "f 0 1 2\nf 2 1 3\nv 0 0\nv 1 0\nv 0 1\nv 1 1\n";
    std::string crlf;
    for (const char ch : lf) crlf += ch == '\n' ? "\r\n" : std::string(1, ch);

    const Parsed a = parse(lf);
    const Parsed b = parse(crlf);
    const Parsed vertsFirst = parse("v 0 0\nv 1 0\nv 0 1\nv 1 1\nf 0 1 2\nf 2 1 3\n");
    EXPECT_TRUE(a.valid);
    EXPECT_TRUE(b.valid);
    EXPECT_TRUE(sameVertices(a.vertices, vertsFirst.vertices));
    EXPECT_TRUE(sameVertices(b.vertices, vertsFirst.vertices));
    EXPECT_EQ(a.indices, vertsFirst.indices);
    EXPECT_EQ(b.indices, vertsFirst.indices);
}

TEST(ReaderExamples, AppendsToTheArraysAndStartsFromZero) {
    // The values kept by failed conversions start at 0 in every call; they
    // are not taken from what the arrays already hold.
    std::vector<Point2> v{{5, 6}};
    std::vector<std::uint32_t> i{7, 8, 9};
    const std::string text = "v x f x";
    parseTriangleData(text.data(), text.size(), v, i);
    EXPECT_TRUE(sameVertices(v, {{5, 6}, {0, 0}}));
    EXPECT_EQ(i, (std::vector<std::uint32_t>{7, 8, 9, 0, 0, 0}));
}

// ---------------------------------------------------------------------------
// Float fields.

struct VertexCase {
    std::string input;
    std::vector<Point2> expected;
    bool nonFinite;
};

void checkVertexCases(const std::vector<VertexCase>& cases) {
    for (const VertexCase& c : cases) {
        SCOPED_TRACE("input \"" + shown(c.input) + "\"");
        const Parsed p = parse(c.input);
        EXPECT_TRUE(sameVertices(p.vertices, c.expected));
        EXPECT_EQ(p.flags.nonFiniteCoordinate, c.nonFinite);
        EXPECT_FALSE(p.flags.indexOutOfRange);
        EXPECT_TRUE(agreesWithReference(c.input));
    }
}

TEST(ReaderFloatField, WidthIsEightCharacters) {
    checkVertexCases({
        {"v -1234567 -12345678", {{-1234567.0f, -1234567.0f}}, false},  // the 8 is skipped
        {"v -12345678", {{-1234567.0f, 8.0f}}, false},
        {"v 12345678e5 1", {{12345678.0f, 0.0f}}, false},  // "e5" cannot start y
        {"v 123456e+5 1", {{123456.0f, 5.0f}}, false},     // "e+" is the 7th and 8th character
        {"v 0.000001 1", {{0.000001f, 1.0f}}, false},
        {"v 0.0000001 1", {{0.0f, 1.0f}}, false},  // x is "0.000000", y the "1"
        {"v .1234567 +.123456", {{0.1234567f, 0.123456f}}, false},
        {"v 1234567v 1 2", {{1234567.0f, 0.0f}, {1.0f, 2.0f}}, false},
    });
}

TEST(ReaderFloatField, ACoordinateTypedAloneReadsAsInARecord) {
    for (const char* text : {"12.5", " -3e2 ", "1234567890", "1e", ".5x", "+7"}) {
        std::vector<Point2> vertices;
        std::vector<std::uint32_t> indices;
        parseTriangleData(("v " + std::string(text) + " 0").data(), std::strlen(text) + 4, vertices, indices);
        float value = 99.0f;
        EXPECT_TRUE(readCoordinate(text, value)) << text;
        EXPECT_EQ(bitsOf(value), bitsOf(vertices.at(0).x)) << text;
    }
    for (const char* text : {"", "abc", "-", "9e99"}) {
        float value = 99.0f;
        EXPECT_FALSE(readCoordinate(text, value)) << text;
        EXPECT_EQ(value, 99.0f) << text;
    }
}

TEST(ReaderFloatField, Exponents) {
    checkVertexCases({
        {"v 1e5 2", {{1e5f, 2.0f}}, false},
        {"v 1E-3 2", {{1e-3f, 2.0f}}, false},
        {"v 1.e5 -2.", {{1e5f, -2.0f}}, false},
        // A marker without digits is consumed and the number is what precedes it.
        {"v 1e 2", {{1.0f, 2.0f}}, false},
        {"v 1e+ 2", {{1.0f, 2.0f}}, false},
        {"v 1E- 2", {{1.0f, 2.0f}}, false},
        {"v 1e+-5 3", {{1.0f, -5.0f}}, false},
        // A second marker ends the number and cannot start y.
        {"v 1e5e 2", {{1e5f, 0.0f}}, false},
        // The exponent has no fraction; the point starts y.
        {"v 1e-2.5 3", {{0.01f, 0.5f}}, false},
        {"v 1e5+3", {{1e5f, 3.0f}}, false},
        {"v 1.2.3", {{1.2f, 0.3f}}, false},
        // A marker needs a mantissa digit before it.
        {"v .e5 2", {{0.0f, 0.0f}}, false},
        {"v -e5 2", {{0.0f, 0.0f}}, false},
        // The consumed marker does not swallow the letter of the next record.
        {"v 1ev 2 3", {{1.0f, 0.0f}, {2.0f, 3.0f}}, false},
        {"v 1e+v 2 3", {{1.0f, 0.0f}, {2.0f, 3.0f}}, false},
        {"v 1e999999 1", {{kInf, 1.0f}}, true},
        {"v 1e-99999 1", {{0.0f, 1.0f}}, false},
        {"v 0e999999 1", {{0.0f, 1.0f}}, false},
        {"v 1234e-10 5e-12", {{1234e-10f, 5e-12f}}, false},
    });
}

TEST(ReaderFloatField, RangeLimits) {
    checkVertexCases({
        {"v 9e99 1", {{kInf, 1.0f}}, true},
        {"v -1e39 1", {{-kInf, 1.0f}}, true},
        {"v 1234e+56", {{kInf, 0.0f}}, true},
        {"v 34028e34 1", {{3.4028e38f, 1.0f}}, false},
        {"v 34029e34 1", {{kInf, 1.0f}}, true},
        {"v 3.402e38 -3402e35", {{3.402e38f, -3.402e38f}}, false},
        {"v 3.403e38 1", {{kInf, 1.0f}}, true},
        // Longer than a field: x is "3.402823", y is "5e38" and overflows.
        {"v 3.4028235e38", {{3.402823f, kInf}}, true},
        // Tiny values round to a zero of their sign or to a subnormal.
        {"v 1e-50 -1e-50", {{0.0f, -0.0f}}, false},
        {"v -0 -.0", {{-0.0f, -0.0f}}, false},
        {"v 1e-45 -1.4e-45", {{kDenormMin, -kDenormMin}}, false},
        {"v 7e-46 7.01e-46", {{0.0f, kDenormMin}}, false},  // half the smallest subnormal is 7.0065e-46
        {"v 2.1e-45 2.2e-45", {{kDenormMin, 2 * kDenormMin}}, false},
        {"v 1175e-41 1e-38", {{1175e-41f, 1e-38f}}, false},
    });
}

TEST(ReaderFloatField, CorrectRounding) {
    checkVertexCases({
        // Ties go to the even neighbour.
        {"v 16777217 16777219", {{16777216.0f, 16777220.0f}}, false},
        {"v 33554434 33554438", {{33554432.0f, 33554440.0f}}, false},
        {"v 16777218 -1677721.7", {{16777218.0f, -1677721.0f}}, false},  // "-1677721" fills the field
        {"v 33554433 -3355443", {{33554432.0f, -3355443.0f}}, false},
        {"v 0.1 -0.1", {{0.1f, -0.1f}}, false},
        // Decimals close to the midpoint between two floats.
        {"v 9.783463 8.002213", {{9.783463f, 8.002213f}}, false},
        {"v 35.83391 5268.302", {{35.83391f, 5268.302f}}, false},
        {"v 123.4567 99999999", {{123.4567f, 1e8f}}, false},
    });
}

TEST(ReaderFloatField, OtherNotationsAreNotNumbers) {
    checkVertexCases({
        // x reads "0"; y cannot start at 'x' and keeps its value; "x10" is skipped.
        {"v 3 4\nv 0x10", {{3, 4}, {0, 4}}, false},
        {"v nan 5", {{0, 0}}, false},
        {"v NAN INF", {{0, 0}}, false},
        {"v 1 -nan", {{1, 0}}, false},  // the '-' is consumed and the field fails
    });
    // The f of "inf" starts a triangle that reads the 5.
    const Parsed inf = parse("v inf 5");
    EXPECT_TRUE(sameVertices(inf.vertices, {{0, 0}}));
    EXPECT_EQ(inf.indices, (std::vector<std::uint32_t>{5, 0, 0}));
    EXPECT_FALSE(inf.flags.nonFiniteCoordinate);
}

TEST(ReaderFloatField, FailedFieldsKeepTheirValues) {
    checkVertexCases({
        {"v x", {{0, 0}}, false},
        {"v 3 4\nv - 5", {{3, 4}, {3, 4}}, false},  // x fails: y is not read either
        {"v 3 4\nv . 5", {{3, 4}, {3, 4}}, false},
        {"v 3 4\nv +. 5", {{3, 4}, {3, 4}}, false},
        {"v 3 4\nv 5 -", {{3, 4}, {5, 4}}, false},
        {"v 3 4\nv 5", {{3, 4}, {5, 4}}, false},
        {"v 3 4\nv", {{3, 4}, {3, 4}}, false},
        // Reading goes on right behind the consumed sign.
        {"v -v 1 2", {{0, 0}, {1, 2}}, false},
        // NUL is no white space.
        {"v 1\0 2"s, {{1, 0}}, false},
        {"v 9 9\nv\x80"
         "1 2",
         {{9, 9}, {9, 9}},
         false},
    });
}

// ---------------------------------------------------------------------------
// Index fields.

TEST(ReaderIndexField, SignedThirtyTwoBitRange) {
    struct Case {
        std::string input;
        std::vector<std::uint32_t> expected;
        bool outOfRange;
    };
    const std::vector<Case> cases = {
        {"f 2147483647 0 0", {2147483647u, 0, 0}, false},
        {"f -2147483648 0 0", {2147483648u, 0, 0}, false},
        {"f +5 -1 -0", {5, 4294967295u, 0}, false},
        {"f 0000000000000000000007 08 -0009", {7, 8, 4294967287u}, false},
        {"f 00000000002147483647 1 2", {2147483647u, 1, 2}, false},
        {"f 2147483648 0 0", {}, true},
        {"f -2147483649 0 0", {}, true},
        {"f 99999999999 0 0", {}, true},
        {"f 4294967295 0 0", {}, true},
        {"f 1 2 18446744073709551617", {}, true},
        {"f 1 2 -99999999999999999999999999", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input \"" + c.input + "\"");
        const Parsed p = parse(c.input);
        EXPECT_EQ(p.flags.indexOutOfRange, c.outOfRange);
        EXPECT_FALSE(p.flags.nonFiniteCoordinate);
        EXPECT_EQ(p.indices.size(), 3u);
        if (!c.outOfRange) {
            EXPECT_EQ(p.indices, c.expected);
        }
        EXPECT_TRUE(agreesWithReference(c.input));
    }
    // A flagged index makes an otherwise good file invalid.
    EXPECT_FALSE(parse("v 0 0\nf 0 0 0\nf 0 0 4294967296\n").valid);
    EXPECT_TRUE(parse("v 0 0\nf 0 0 -0\n").valid);
}

TEST(ReaderIndexField, FailedFieldsKeepTheirValues) {
    struct Case {
        std::string input;
        std::vector<std::uint32_t> expected;
    };
    const std::vector<Case> cases = {
        {"f x", {0, 0, 0}},
        {"f 1 2 3\nf x", {1, 2, 3, 1, 2, 3}},
        {"f 1 2 3\nf 4 - 5", {1, 2, 3, 4, 2, 3}},  // b fails, c is not read
        {"f 1 2 3\nf 4 + 5", {1, 2, 3, 4, 2, 3}},
        {"f 1 2 3\nf 4 5", {1, 2, 3, 4, 5, 3}},
        {"f 1 2 3\nf +-4 5 6", {1, 2, 3, 1, 2, 3}},
        {"f -f 1 2 3", {0, 0, 0, 1, 2, 3}},
        {"f 1.5 2 3", {1, 0, 0}},
        {"f 1e2 3 4", {1, 0, 0}},
        {"f 7 8 9\nf 1 2 3e", {7, 8, 9, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input \"" + c.input + "\"");
        const Parsed p = parse(c.input);
        EXPECT_EQ(p.indices, c.expected);
        EXPECT_FALSE(p.flags.indexOutOfRange);
        EXPECT_TRUE(agreesWithReference(c.input));
    }
    // An out-of-range value is flagged even when later records overwrite it.
    const Parsed overwritten = parse("v 0 0\nf 0 0 99999999999\nf 0 0 0\n");
    EXPECT_TRUE(overwritten.flags.indexOutOfRange);
    EXPECT_FALSE(overwritten.valid);
}

// ---------------------------------------------------------------------------
// Comparison with the reference reader.

class InputMaker {
   public:
    explicit InputMaker(std::uint32_t seed) : rng_(seed) {}

    std::string input() {
        std::string out;
        const int pieces = pick(1, 30);
        for (int k = 0; k < pieces; ++k) {
            switch (pick(0, 9)) {
                case 0: out += garbage(); break;
                case 1: out += blanks(); break;
                case 2:
                case 3:
                case 4:
                case 5: out += vertexRecord(); break;
                default: out += triangleRecord(); break;
            }
        }
        return out;
    }

    // A number-like field of one of many shapes, valid or not.
    std::string floatLike() {
        static const char* const kEdgeCases[] = {
            "16777217", "16777219",   "33554434", "0.1",      "34028e34", "34029e34",  "3.402e38", "3.403e38",
            "1e-45",    "7e-46",      "7.01e-46", "-1e-50",   "1e999999", "1e-99999",  "0e999999", "-0",
            "-.0",      "123.456789", "1e",       "1e+",      "1e5e",     "-",         ".",        "+.",
            "inf",      "nan",        "0x10",     "INFINITY", "-1234567", "-12345678", "9.783463", "1175e-41",
            "1.e5",     ".e5",        "1e-+5",    "1..2",     "--1",      "+-1",       "1e5.5",    "3.4028235e38"};
        if (chance(15)) return kEdgeCases[pick(0, std::size(kEdgeCases) - 1)];
        std::string s;
        if (chance(40)) s += chance(50) ? '-' : '+';
        s += digits(pick(0, chance(20) ? 12 : 5));
        if (chance(50)) s += '.';
        if (chance(60)) s += digits(pick(0, chance(20) ? 10 : 4));
        if (chance(40)) {
            s += chance(50) ? 'e' : 'E';
            if (chance(50)) s += chance(50) ? '-' : '+';
            static const char* const kExp[] = {"38", "39", "45", "46", "50", "999", "0", "7"};
            s += chance(40) ? std::string(kExp[pick(0, std::size(kExp) - 1)]) : digits(pick(0, 4));
        }
        if (chance(10)) s.insert(static_cast<std::size_t>(pick(0, static_cast<int>(s.size()))), 1, oddByte());
        return s;
    }

    std::string intLike() {
        static const char* const kEdgeCases[] = {"2147483647",
                                                 "2147483648",
                                                 "-2147483648",
                                                 "-2147483649",
                                                 "99999999999",
                                                 "4294967295",
                                                 "4294967296",
                                                 "18446744073709551616",
                                                 "-0",
                                                 "+5",
                                                 "0000000000002147483647",
                                                 "-",
                                                 "+",
                                                 "+-3"};
        if (chance(15)) return kEdgeCases[pick(0, std::size(kEdgeCases) - 1)];
        std::string s;
        if (chance(30)) s += chance(50) ? '-' : '+';
        s += digits(pick(0, chance(10) ? 14 : 2));
        if (chance(10)) s += oddByte();
        return s;
    }

   private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    int pick(int lo, std::size_t hi) { return pick(lo, static_cast<int>(hi)); }
    bool chance(int percent) { return pick(0, 99) < percent; }

    std::string digits(int n) {
        std::string s;
        for (int k = 0; k < n; ++k) s += static_cast<char>('0' + pick(0, 9));
        return s;
    }

    char oddByte() {
        static const std::string kOdd = std::string("inxeE.+-#vfVF \r\n\t,;") + '\0';
        if (chance(70)) return kOdd[static_cast<std::size_t>(pick(0, kOdd.size() - 1))];
        return static_cast<char>(pick(0, 255));
    }

    std::string blanks() {
        static const std::string kBlank = " \t\n\v\f\r";
        std::string s;
        const int n = chance(50) ? 1 : pick(0, 4);
        for (int k = 0; k < n; ++k) s += kBlank[static_cast<std::size_t>(pick(0, kBlank.size() - 1))];
        return s;
    }

    std::string garbage() {
        std::string s;
        const int n = pick(1, 6);
        for (int k = 0; k < n; ++k) s += oddByte();
        return s;
    }

    std::string field(bool wantFloat) {
        switch (pick(0, 9)) {
            case 0: return garbage();
            case 1: return wantFloat ? intLike() : floatLike();
            default: return wantFloat ? floatLike() : intLike();
        }
    }

    std::string record(char letter, int fields, bool wantFloat) {
        std::string s(1, letter);
        const int n = pick(0, fields + 1);
        for (int k = 0; k < n; ++k) {
            s += chance(80) ? blanks() : std::string();
            s += field(wantFloat);
        }
        if (chance(30)) s += garbage();
        s += chance(50) ? "\n" : (chance(50) ? "\r\n" : "");
        return s;
    }

    std::string vertexRecord() { return record(chance(95) ? 'v' : 'V', 2, true); }
    std::string triangleRecord() { return record(chance(95) ? 'f' : 'F', 3, false); }

    std::mt19937 rng_;
};

TEST(ReaderReference, RandomInputs) {
    InputMaker maker(20240611u);
    for (int n = 0; n < 6000; ++n) {
        const std::string text = maker.input();
        ASSERT_TRUE(agreesWithReference(text)) << "random input " << n;
        // A reason exactly for what validation refuses.
        const Parsed p = parse(text);
        const MeshRefusal refusal = refuseFileMesh(text.data(), text.size(), p.vertices, p.indices, p.flags);
        ASSERT_EQ(p.valid, refusal.fault == MeshFault::None) << "random input " << n;
    }
}

// Read in pieces side by side, every input gives the same arrays and flags as
// read in one: random inputs are full of numbers that cannot be read, so
// pieces often start where the values of the piece before must carry over.
TEST(ReaderPieces, SameResultInAnyNumberOfPieces) {
    InputMaker maker(31u);
    auto same = [](const std::vector<Point2>& a, const std::vector<Point2>& b) {
        return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
    };
    for (int n = 0; n < 1500; ++n) {
        std::string text;
        for (int k = 0; k < 8; ++k) text += maker.input();
        // Arrays that already hold something are appended to.
        const std::vector<Point2> firstVertices{{1.5f, -2.0f}};
        const std::vector<std::uint32_t> firstIndices{7, 8, 9};
        std::vector<Point2> v1 = firstVertices;
        std::vector<std::uint32_t> i1 = firstIndices;
        const TriangleParseFlags f1 = parseTriangleDataInPieces(text.data(), text.size(), v1, i1, 1, 1);
        for (const std::size_t pieces : {2u, 3u, 7u, 64u}) {
            std::vector<Point2> v = firstVertices;
            std::vector<std::uint32_t> i = firstIndices;
            const TriangleParseFlags f = parseTriangleDataInPieces(text.data(), text.size(), v, i, pieces, 3);
            ASSERT_TRUE(same(v1, v)) << "input " << n << ", " << pieces << " pieces";
            ASSERT_EQ(i1, i) << "input " << n << ", " << pieces << " pieces";
            ASSERT_EQ(f1.nonFiniteCoordinate, f.nonFiniteCoordinate);
            ASSERT_EQ(f1.indexOutOfRange, f.indexOutOfRange);
            ASSERT_EQ(f1.firstNonFiniteAt, f.firstNonFiniteAt);
            ASSERT_EQ(f1.firstOutOfRangeIndexAt, f.firstOutOfRangeIndexAt);
        }
    }
}

TEST(ReaderReference, RandomNumberFields) {
    // Many single fields in one fixed frame, so that each number is converted
    // from a clean start.
    InputMaker maker(7u);
    for (int n = 0; n < 20000; ++n) {
        const std::string vertex = "v " + maker.floatLike() + " " + maker.floatLike();
        ASSERT_TRUE(agreesWithReference(vertex));
        const std::string triangle = "f " + maker.intLike() + " " + maker.intLike() + " " + maker.intLike();
        ASSERT_TRUE(agreesWithReference(triangle));
    }
}

TEST(ReaderReference, EightDigitDecimals) {
    // Every placement of the point in random 8-character decimals, the fields
    // whose conversion needs a correctly rounded quotient.
    std::mt19937 rng(99u);
    std::uniform_int_distribution<int> digit(0, 9);
    for (int n = 0; n < 5000; ++n) {
        std::string d;
        for (int k = 0; k < 7; ++k) d += static_cast<char>('0' + digit(rng));
        std::string text = "v " + d + "9 -" + d + "\n";
        for (std::size_t point = 0; point <= d.size(); ++point) {
            std::string field = d;
            field.insert(point, 1, '.');
            text += "v " + field + " -" + field.substr(0, 7) + "\n";
        }
        ASSERT_TRUE(agreesWithReference(text));
    }
}

TEST(ReaderReference, EveryPrefixOfAFile) {
    const std::string file =
        "# a mesh with every kind of record\r\n"
        "v 0 0\r\n"
        "v 1.5 -2.25\n"
        "v\t-1e3  +.5\n"
        "v 123.456789 2.0\n"
        "v 1e 7\n"
        "v 1E-3 4e+2\n"
        "v 12345678e5 1\n"
        "v 0x10 9\n"
        "v -0 .0\n"
        "v 1e-50 -1e-50\n"
        "v 1e-45 16777217\n"
        "v 3 4 5 6\n"
        "v 1e-2.5 -. 7\n"
        "f 0 1 2\r\n"
        "f 2 3 4\n"
        "f +3 -0 00005\n"
        "f 6\n"
        "f 7 8 9 10\n"
        "f\t10\n11\n12\n"
        "  vertex list ends; first triangle again:\n"
        "f 1 2 x\n"
        "F 99 99 99 V 1e39\n"
        "f 12 13 1\n";
    const Parsed whole = parse(file);
    ASSERT_TRUE(whole.valid);
    ASSERT_GE(whole.vertices.size(), 14u);
    for (std::size_t size = 0; size <= file.size(); ++size) {
        // The bytes behind `size` stay in place: reading them would change a
        // value cut short at the end.
        ASSERT_TRUE(agreesWithReference(file.data(), size)) << "prefix of " << size << " bytes";
    }
}

// ---------------------------------------------------------------------------
// Validation.

TEST(ReaderValidation, Rules) {
    const std::vector<Point2> three(3);
    const TriangleParseFlags clean;
    EXPECT_TRUE(validateFileMesh(three, {0, 1, 2}, clean));
    EXPECT_TRUE(validateFileMesh(three, {2, 2, 2, 0, 0, 0}, clean));
    EXPECT_TRUE(validateFileMesh(std::vector<Point2>(1), {0, 0, 0}, clean));

    EXPECT_FALSE(validateFileMesh({}, {0, 0, 0}, clean));
    EXPECT_FALSE(validateFileMesh(three, {}, clean));
    EXPECT_FALSE(validateFileMesh(three, {0, 1, 2, 0}, clean));
    EXPECT_FALSE(validateFileMesh(three, {0, 1}, clean));

    // The largest index, compared unsigned, must name a vertex.
    EXPECT_FALSE(validateFileMesh(three, {0, 1, 3}, clean));
    EXPECT_FALSE(validateFileMesh(three, {3, 0, 0, 0, 1, 2}, clean));
    EXPECT_FALSE(validateFileMesh(three, {0, 1, 4294967295u}, clean));
    EXPECT_FALSE(validateFileMesh(three, {2147483648u, 0, 0}, clean));

    TriangleParseFlags nonFinite;
    nonFinite.nonFiniteCoordinate = true;
    TriangleParseFlags outOfRange;
    outOfRange.indexOutOfRange = true;
    EXPECT_FALSE(validateFileMesh(three, {0, 1, 2}, nonFinite));
    EXPECT_FALSE(validateFileMesh(three, {0, 1, 2}, outOfRange));
}

// Why a file is refused, from what was read: the fault, the line of the number
// at fault and the sentence, the same when the file is read in pieces.
TEST(ReaderValidation, RefusalNamesTheFaultAndItsLine) {
    struct Case {
        std::string text;
        MeshFault fault;
        std::size_t line;
        std::string sentence;
    };
    std::vector<Case> cases = {
        {"", MeshFault::EmptyFile, 0, "The file is empty."},
        {"# none here\nf 0 1 2\n", MeshFault::NoVertex, 0, "The file holds no vertex."},
        // The faults of the whole file come first.
        {"v 0 0\nv 1e39 0\n", MeshFault::NoTriangle, 0, "The file holds no triangle."},
        // The line of the index itself, also when a record spans lines.
        {"v 0 0\nv 1 0\nv 0 1\nf 0 1 2\n\nf 2 1\n 3\n", MeshFault::IndexNamesNoVertex, 7,
         "Line 7: index 3 names no vertex (the file has 3)."},
        {"v 0 0\r\nv 1 0\r\nf 0 -1 1\r\n", MeshFault::IndexNamesNoVertex, 3,
         "Line 3: index -1 names no vertex (the file has 2)."},
        // A record that keeps the value repeats it: the first one is named.
        {"v 0 0\nf 0 0 5\nf 0 0 x\n", MeshFault::IndexNamesNoVertex, 2,
         "Line 2: index 5 names no vertex (the file has 1)."},
        {"v 0 0\nv 1 0\nv 0 1\nv 3 -1e39\nf 0 1 2\n", MeshFault::CoordinateOutOfRange, 4,
         "Line 4: a coordinate lies beyond the 32-bit float range."},
        {"v 0 0\nf 0 0 4294967296\n", MeshFault::IndexOutOfRange, 2,
         "Line 2: an index lies beyond the signed 32-bit range."},
        // Out of range and, wrapped, naming no vertex: out of range.
        {"v 0 0\nf 0 0\n\n-2147483649\n", MeshFault::IndexOutOfRange, 4,
         "Line 4: an index lies beyond the signed 32-bit range."},
        // Of several faults the earliest.
        {"v 0 0\nf 0 0 7\nv -1e39 0\n", MeshFault::IndexNamesNoVertex, 2,
         "Line 2: index 7 names no vertex (the file has 2)."},
        {"v -1e39 0\nf 0 0 7\n", MeshFault::CoordinateOutOfRange, 1,
         "Line 1: a coordinate lies beyond the 32-bit float range."},
        // Forward references are fine.
        {"f 0 1 2\nv 0 0\nv 1 0\nv 0 1\n", MeshFault::None, 0, ""},
    };
    // A large file whose fault, on a kept value's heels, lies in a later piece.
    std::string large;
    for (int k = 0; k < 3000; ++k) large += "v " + std::to_string(k % 97) + " 1\nf 0 1 " + std::to_string(k) + "\n";
    large += "f 0 0 x\nf 1 2\n3000\n";
    cases.push_back(
        {large, MeshFault::IndexNamesNoVertex, 6003, "Line 6003: index 3000 names no vertex (the file has 3000)."});

    for (const Case& c : cases) {
        for (const std::size_t pieces : {1u, 2u, 3u, 7u}) {
            std::vector<Point2> vertices;
            std::vector<std::uint32_t> indices;
            const TriangleParseFlags flags =
                parseTriangleDataInPieces(c.text.data(), c.text.size(), vertices, indices, pieces, 2);
            const MeshRefusal refusal = refuseFileMesh(c.text.data(), c.text.size(), vertices, indices, flags);
            const std::string what = shown(c.text.substr(0, 60)) + ", " + std::to_string(pieces) + " pieces";
            EXPECT_EQ(refusal.fault, c.fault) << what;
            EXPECT_EQ(refusal.line, c.line) << what;
            EXPECT_EQ(refusalText(refusal), c.sentence) << what;
            EXPECT_EQ(validateFileMesh(vertices, indices, flags), c.fault == MeshFault::None) << what;
        }
    }
}

// ---------------------------------------------------------------------------
// Reading files.

class ReadFileBytes : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("orrelin_reader_test_" + std::to_string(::getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::filesystem::path dir_;
};

TEST_F(ReadFileBytes, MissingFileFails) {
    std::string bytes;
    EXPECT_FALSE(readFileBytes((dir_ / "missing.tri").string(), bytes));
}

// On ext4 a directory opens with fopen and reports LONG_MAX as its end offset;
// that size must not be used to size the read.
TEST_F(ReadFileBytes, DirectoryFails) {
    std::string bytes;
    bool ok = true;
    EXPECT_NO_THROW(ok = readFileBytes(dir_.string(), bytes));
    EXPECT_FALSE(ok);
}

TEST_F(ReadFileBytes, EmptyFile) {
    std::string bytes = "left over";
    EXPECT_TRUE(readFileBytes(write("empty.tri", ""), bytes));
    EXPECT_EQ(bytes.size(), 0u);
}

TEST_F(ReadFileBytes, ExactBytes) {
    const std::string small = "v 0 0\r\n\0v 1 0\x80\xFF\nf 0 1 2"s;
    std::string bytes = "left over";
    ASSERT_TRUE(readFileBytes(write("small.tri", small), bytes));
    EXPECT_EQ(bytes, small);

    // Larger than the first read block of an unknown size.
    std::string large;
    std::mt19937 rng(3u);
    for (int k = 0; k < 300000; ++k) large += static_cast<char>(rng() & 0xFF);
    ASSERT_TRUE(readFileBytes(write("large.tri", large), bytes));
    EXPECT_EQ(bytes.size(), large.size());
    EXPECT_TRUE(bytes == large);
}

#ifndef _WIN32
// The outcome of readFileBytes run on a thread of its own, or nothing when the
// call has not returned within `limit`: a call that blocks fails the test
// instead of hanging it.
std::optional<bool> readWithin(const std::string& path, std::chrono::milliseconds limit) {
    auto outcome = std::make_shared<std::promise<bool>>();
    std::future<bool> result = outcome->get_future();
    std::thread([path, outcome] {
        std::string bytes;
        outcome->set_value(readFileBytes(path, bytes));
    }).detach();
    if (result.wait_for(limit) != std::future_status::ready) return std::nullopt;
    return result.get();
}

// Only regular files are read. A FIFO would block the open until a writer
// comes (or the read until it writes), a device may never end (/dev/zero) and
// a socket cannot be read as a file: each is refused at once.
TEST_F(ReadFileBytes, NonRegularFilesAreRefusedWithoutBlocking) {
    constexpr std::chrono::seconds kLimit{2};
    const std::string mesh = "v 0 0\nv 1 0\nv 0 1\nf 0 1 2\n";

    const std::string lonely = (dir_ / "lonely.tri").string();
    ASSERT_EQ(0, ::mkfifo(lonely.c_str(), 0600));
    const std::optional<bool> lonelyRead = readWithin(lonely, kLimit);
    EXPECT_EQ(std::optional<bool>(false), lonelyRead) << "a FIFO without a writer";
    if (!lonelyRead) {
        // Lets the blocked open go on, so the thread ends.
        const int writer = ::open(lonely.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }

    // A writer that has written a mesh and holds the FIFO open: a read to the
    // end would wait for it forever.
    const std::string held = (dir_ / "held.tri").string();
    const int writer = fifoWithSilentWriter(held, mesh);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(std::optional<bool>(false), readWithin(held, kLimit)) << "a FIFO with a silent writer";
    ::close(writer);

    const std::string socketPath = (dir_ / "socket.tri").string();
    const int listener = listeningSocket(socketPath);
    ASSERT_GE(listener, 0);
    EXPECT_EQ(std::optional<bool>(false), readWithin(socketPath, kLimit)) << "a listening socket";
    ::close(listener);

    for (const std::string device : {"/dev/null", "/dev/zero", "/dev/urandom"}) {
        EXPECT_EQ(std::optional<bool>(false), readWithin(device, kLimit)) << device;
    }
    EXPECT_EQ(std::optional<bool>(false), readWithin(dir_.string(), kLimit)) << "a directory";

    // A regular file behind a symbolic link is still read.
    const std::string link = (dir_ / "link.tri").string();
    ASSERT_EQ(0, ::symlink(write("target.tri", mesh).c_str(), link.c_str()));
    std::string bytes;
    EXPECT_TRUE(readFileBytes(link, bytes));
    EXPECT_EQ(mesh, bytes);
}
#endif

}  // namespace
