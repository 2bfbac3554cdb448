#include "orrelin/mesh/tri_reader.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <string>
#include <system_error>

#include "orrelin/base/contract.h"
#include "orrelin/base/parallel.h"
#include "orrelin/base/text_chars.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A field of a vertex record holds at most this many characters.
constexpr std::size_t kFloatFieldWidth = 8;

struct Cursor {
    const char* data;
    std::size_t size;
    std::size_t pos;

    void skipSpace() {
        while (pos < size && isSpace(data[pos])) ++pos;
    }
};

// Converts the scanned field text[0, len) to the nearest 32-bit float. The text
// holds an optional sign, at least one mantissa digit, at most one decimal point
// and possibly an exponent marker with optional sign and digits. Sets
// `nonFinite` when the value lies beyond the float range (the conversion then
// gives an infinity without reporting an error).
float convertFloatField(const char* text, std::size_t len, bool& nonFinite) {
    const bool plus = text[0] == '+';  // the conversion takes a '-' but no '+'
    float value = 0.0f;
    fast_float::from_chars(text + (plus ? 1 : 0), text + len, value);
    if (std::isinf(value)) nonFinite = true;
    return value;
}

// Raises a flag and, the first time, notes where its number begins.
void raise(bool& flag, std::size_t& firstAt, std::size_t at) {
    if (!flag) firstAt = at;
    flag = true;
}

// One "%8f" conversion: skips white space, then consumes at most 8 characters of
// a decimal floating-point number. On success stores the value and returns true;
// on failure leaves `out` unchanged. Either way the cursor ends right behind the
// last character consumed.
bool readFloatField(Cursor& cur, float& out, TriangleParseFlags& flags) {
    cur.skipSpace();
    const std::size_t start = cur.pos;
    const std::size_t limit = std::min(cur.size, start + kFloatFieldWidth);
    std::size_t p = start;
    if (p < limit && (cur.data[p] == '+' || cur.data[p] == '-')) ++p;
    bool gotDigit = false;
    bool gotDot = false;
    bool gotExponent = false;
    std::size_t numberEnd = start;  // behind the last character that completes a number
    while (p < limit) {
        const char c = cur.data[p];
        if (isDigit(c)) {
            gotDigit = true;
            numberEnd = p + 1;
        } else if (c == '.' && !gotDot) {
            gotDot = true;
            if (gotDigit) numberEnd = p + 1;
        } else if ((c == 'e' || c == 'E') && gotDigit && !gotExponent) {
            gotExponent = true;
            gotDot = true;  // no decimal point after the exponent marker
        } else if ((c == '+' || c == '-') && gotExponent && (cur.data[p - 1] == 'e' || cur.data[p - 1] == 'E')) {
            // sign of the exponent
        } else {
            break;
        }
        ++p;
    }
    // An exponent marker (and its sign) without digits is consumed but does not
    // count: "1e" reads as 1, like the C library's conversions.
    cur.pos = p;
    if (!gotDigit) return false;
    bool nonFinite = false;
    out = convertFloatField(cur.data + start, numberEnd - start, nonFinite);
    if (nonFinite) raise(flags.nonFiniteCoordinate, flags.firstNonFiniteAt, start);
    return true;
}

// One "%d" conversion: skips white space, then consumes an optional sign and all
// decimal digits that follow. On success stores the value (its low 32 bits) and
// returns true; a value outside the signed 32-bit range raises the flag.
bool readIntField(Cursor& cur, std::int32_t& out, TriangleParseFlags& flags) {
    cur.skipSpace();
    const std::size_t start = cur.pos;
    std::size_t p = start;
    bool negative = false;
    if (p < cur.size && (cur.data[p] == '+' || cur.data[p] == '-')) {
        negative = cur.data[p] == '-';
        ++p;
    }
    const std::size_t digitsStart = p;
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t kSaturated = std::uint64_t{1} << 40;
    while (p < cur.size && isDigit(cur.data[p])) {
        if (magnitude < kSaturated) magnitude = magnitude * 10 + static_cast<std::uint64_t>(cur.data[p] - '0');
        ++p;
    }
    cur.pos = p;
    if (p == digitsStart) return false;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
    if (magnitude > limit) raise(flags.indexOutOfRange, flags.firstOutOfRangeIndexAt, start);
    const std::uint32_t low = static_cast<std::uint32_t>(magnitude);
    out = static_cast<std::int32_t>(negative ? 0u - low : low);
    return true;
}

}  // namespace

namespace {

// The values of the last successful conversions, which a failed one keeps.
struct RecordValues {
    Point2 v;
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::int32_t c = 0;
};

// What parsing a piece of the data gave besides the records.
struct PieceResult {
    TriangleParseFlags flags;
    RecordValues last;  // the values at the end of the piece
    // Which values the piece converted itself (x, y, a, b, c); the others are
    // still those it started with.
    bool converted[5] = {false, false, false, false, false};
    // Whether a record took a value the piece had not converted itself.
    bool usedStartValues = false;
};

// Where a piece's records go: appended to the arrays (a file read in one
// piece), or written into room made for them (pieces read side by side).
struct AppendRecords {
    std::vector<Point2>& vertices;
    std::vector<std::uint32_t>& indices;
    void vertex(Point2 v) { vertices.push_back(v); }
    void triangle(std::int32_t a, std::int32_t b, std::int32_t c) {
        indices.push_back(static_cast<std::uint32_t>(a));
        indices.push_back(static_cast<std::uint32_t>(b));
        indices.push_back(static_cast<std::uint32_t>(c));
    }
};

struct WriteRecords {
    Point2* vertexOut;
    std::uint32_t* indexOut;
    void vertex(Point2 v) { *vertexOut++ = v; }
    void triangle(std::int32_t a, std::int32_t b, std::int32_t c) {
        *indexOut++ = static_cast<std::uint32_t>(a);
        *indexOut++ = static_cast<std::uint32_t>(b);
        *indexOut++ = static_cast<std::uint32_t>(c);
    }
};

// Parses the records whose letters lie in data[from, to) starting from the
// values `start` and hands them to `out`; a record's numbers may extend beyond
// `to`. Requires: from is 0 or the position of a record letter, and `out` has
// room for every letter in the piece.
template <typename Records>
PieceResult parsePiece(const char* data, std::size_t size, std::size_t from, std::size_t to, const RecordValues& start,
                       Records out) {
    PieceResult r;
    RecordValues& s = r.last;
    s = start;
    bool* done = r.converted;
    Cursor cur{data, size, from};
    while (cur.pos < to) {
        const char ch = data[cur.pos++];
        if (ch == 'v') {
            if (readFloatField(cur, s.v.x, r.flags)) {
                done[0] = true;
                done[1] |= readFloatField(cur, s.v.y, r.flags);
            }
            r.usedStartValues |= !done[0] || !done[1];
            out.vertex(s.v);
        } else if (ch == 'f') {
            if (readIntField(cur, s.a, r.flags)) {
                done[2] = true;
                if (readIntField(cur, s.b, r.flags)) {
                    done[3] = true;
                    done[4] |= readIntField(cur, s.c, r.flags);
                }
            }
            r.usedStartValues |= !done[2] || !done[3] || !done[4];
            out.triangle(s.a, s.b, s.c);
        }
    }
    return r;
}

// The values after a piece that started from `before`.
RecordValues valuesAfter(const PieceResult& piece, const RecordValues& before) {
    const RecordValues& p = piece.last;
    const bool* done = piece.converted;
    return RecordValues{Point2{done[0] ? p.v.x : before.v.x, done[1] ? p.v.y : before.v.y}, done[2] ? p.a : before.a,
                        done[3] ? p.b : before.b, done[4] ? p.c : before.c};
}

// The number of 'v' and 'f' bytes in data[from, to).
void countLetters(const char* data, std::size_t from, std::size_t to, std::size_t& vCount, std::size_t& fCount) {
    vCount = 0;
    fCount = 0;
    // Counted in blocks with byte-sized counters, which vectorises well.
    for (std::size_t start = from; start < to; start += 255) {
        const std::size_t end = std::min(to, start + 255);
        std::uint8_t v = 0;
        std::uint8_t f = 0;
        for (std::size_t i = start; i < end; ++i) {
            v = static_cast<std::uint8_t>(v + (data[i] == 'v'));
            f = static_cast<std::uint8_t>(f + (data[i] == 'f'));
        }
        vCount += v;
        fCount += f;
    }
}

// Below this size a file is read in one piece.
constexpr std::size_t kBytesPerPiece = std::size_t{1} << 22;

}  // namespace

TriangleParseFlags parseTriangleData(const char* data, std::size_t size, std::vector<Point2>& vertices,
                                     std::vector<std::uint32_t>& indices) {
    // A few pieces per thread even out their different speeds; one thread
    // reads the file in one piece.
    const unsigned threads = threadsFor(0);
    const std::size_t pieces = threads == 1 ? 1 : std::min<std::size_t>(4 * threads, size / kBytesPerPiece + 1);
    return parseTriangleDataInPieces(data, size, vertices, indices, pieces, threads);
}

TriangleParseFlags parseTriangleDataInPieces(const char* data, std::size_t size, std::vector<Point2>& vertices,
                                             std::vector<std::uint32_t>& indices, std::size_t pieces,
                                             unsigned threads) {
    ORRELIN_REQUIRE(data != nullptr || size == 0);
    ORRELIN_REQUIRE(pieces >= 1);
    if (size == 0) return TriangleParseFlags{};

    // No field takes in a 'v' or an 'f', so every such byte starts a record:
    // the pieces begin at record letters, and each piece's records go right
    // behind those of the pieces before it.
    std::vector<std::size_t> bounds{0};
    for (std::size_t k = 1; k < pieces; ++k) {
        std::size_t at = std::max(bounds.back() + 1, size / pieces * k);
        while (at < size && data[at] != 'v' && data[at] != 'f') ++at;
        if (at >= size) break;
        bounds.push_back(at);
    }
    bounds.push_back(size);
    const std::size_t count = bounds.size() - 1;
    threads = threadsFor(threads);

    std::vector<std::size_t> vFirst(count + 1, vertices.size());
    std::vector<std::size_t> iFirst(count + 1, indices.size());
    runParallel(threads, count,
                [&](std::size_t k) { countLetters(data, bounds[k], bounds[k + 1], vFirst[k + 1], iFirst[k + 1]); });
    for (std::size_t k = 0; k < count; ++k) {
        vFirst[k + 1] += vFirst[k];
        iFirst[k + 1] = iFirst[k] + 3 * iFirst[k + 1];
    }
    if (count == 1) {
        vertices.reserve(vFirst[1]);
        indices.reserve(iFirst[1]);
        return parsePiece(data, size, 0, size, RecordValues{}, AppendRecords{vertices, indices}).flags;
    }
    vertices.resize(vFirst[count]);
    indices.resize(iFirst[count]);

    // Each piece starts as if the file started there; the first is exact.
    std::vector<PieceResult> results(count);
    runParallel(threads, count, [&](std::size_t k) {
        results[k] = parsePiece(data, size, bounds[k], bounds[k + 1], RecordValues{},
                                WriteRecords{vertices.data() + vFirst[k], indices.data() + iFirst[k]});
    });
    // A piece whose records took values from before its start is read again
    // from the values the pieces before it left (rare: only a number that
    // cannot be read at the start of a piece leaves them in place).
    TriangleParseFlags flags;
    RecordValues values;
    for (std::size_t k = 0; k < count; ++k) {
        if (results[k].usedStartValues && k > 0) {
            results[k] = parsePiece(data, size, bounds[k], bounds[k + 1], values,
                                    WriteRecords{vertices.data() + vFirst[k], indices.data() + iFirst[k]});
        }
        values = valuesAfter(results[k], values);
        const TriangleParseFlags& f = results[k].flags;
        if (f.nonFiniteCoordinate) raise(flags.nonFiniteCoordinate, flags.firstNonFiniteAt, f.firstNonFiniteAt);
        if (f.indexOutOfRange) raise(flags.indexOutOfRange, flags.firstOutOfRangeIndexAt, f.firstOutOfRangeIndexAt);
    }
    return flags;
}

bool readCoordinate(std::string_view text, float& out) {
    Cursor cur{text.data(), text.size(), 0};
    TriangleParseFlags flags;
    float value = 0.0f;
    if (!readFloatField(cur, value, flags) || flags.nonFiniteCoordinate) return false;
    out = value;
    return true;
}

bool validateFileMesh(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices,
                      const TriangleParseFlags& flags) {
    if (vertices.empty()) return false;
    if (indices.empty()) return false;
    if (indices.size() % 3 != 0) return false;
    const std::uint32_t largest = *std::max_element(indices.begin(), indices.end());
    if (static_cast<std::uint64_t>(largest) > static_cast<std::uint64_t>(vertices.size()) - 1) return false;
    return !flags.nonFiniteCoordinate && !flags.indexOutOfRange;
}

namespace {

// Where the number in field `field` (0 to 2) of the `record`-th triangle
// record begins: the records are counted by their letters, as the parser
// counts them. Requires: that record converted the field.
std::size_t indexFieldAt(const char* data, std::size_t size, std::size_t record, int field) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < size; ++at) {
        if (data[at] == 'f' && seen++ == record) break;
    }
    ORRELIN_REQUIRE(at < size);
    Cursor cur{data, size, at + 1};
    TriangleParseFlags ignored;
    std::int32_t value = 0;
    for (int k = 0; k < field; ++k) readIntField(cur, value, ignored);
    cur.skipSpace();
    return cur.pos;
}

std::size_t lineAt(const char* data, std::size_t offset) {
    return 1 + static_cast<std::size_t>(std::count(data, data + offset, '\n'));
}

}  // namespace

MeshRefusal refuseFileMesh(const char* data, std::size_t size, const std::vector<Point2>& vertices,
                           const std::vector<std::uint32_t>& indices, const TriangleParseFlags& flags) {
    MeshRefusal r;
    r.vertexCount = vertices.size();
    if (size == 0)
        r.fault = MeshFault::EmptyFile;
    else if (vertices.empty())
        r.fault = MeshFault::NoVertex;
    else if (indices.empty())
        r.fault = MeshFault::NoTriangle;
    else if (indices.size() % 3 != 0)
        r.fault = MeshFault::PartialTriangle;
    if (r.fault != MeshFault::None) return r;

    // The faults of single numbers, the earliest first; an index beyond the
    // 32-bit range before what its wrapped value names.
    std::size_t at = kNoOffset;
    const auto consider = [&](MeshFault fault, std::size_t offset) {
        if (offset < at) {
            at = offset;
            r.fault = fault;
        }
    };
    if (flags.indexOutOfRange) consider(MeshFault::IndexOutOfRange, flags.firstOutOfRangeIndexAt);
    if (flags.nonFiniteCoordinate) consider(MeshFault::CoordinateOutOfRange, flags.firstNonFiniteAt);
    const auto beyond =
        std::find_if(indices.begin(), indices.end(), [&](std::uint32_t v) { return v >= r.vertexCount; });
    if (beyond != indices.end()) {
        // The first index past the vertices was converted in its own record:
        // a record that keeps a value repeats one an earlier record holds.
        const auto k = static_cast<std::size_t>(beyond - indices.begin());
        const std::size_t before = at;
        consider(MeshFault::IndexNamesNoVertex, indexFieldAt(data, size, k / 3, static_cast<int>(k % 3)));
        // A number beyond the signed range comes first, so this one was in
        // it: its value as the file writes it.
        if (at != before) r.index = static_cast<std::int32_t>(*beyond);
    }
    if (r.fault != MeshFault::None) r.line = lineAt(data, at);
    return r;
}

std::string refusalText(const MeshRefusal& refusal) {
    const std::string line = "Line " + std::to_string(refusal.line) + ": ";
    switch (refusal.fault) {
        case MeshFault::None: return {};
        case MeshFault::EmptyFile: return "The file is empty.";
        case MeshFault::NoVertex: return "The file holds no vertex.";
        case MeshFault::NoTriangle: return "The file holds no triangle.";
        case MeshFault::PartialTriangle: return "The last triangle lacks an index.";
        case MeshFault::IndexNamesNoVertex:
            return line + "index " + std::to_string(refusal.index) + " names no vertex (the file has " +
                   std::to_string(refusal.vertexCount) + ").";
        case MeshFault::CoordinateOutOfRange: return line + "a coordinate lies beyond the 32-bit float range.";
        case MeshFault::IndexOutOfRange: return line + "an index lies beyond the signed 32-bit range.";
    }
    return {};
}

namespace {

// 64-bit file offsets on every platform (long is 32 bits on Windows).
bool seekToEnd(std::FILE* file) {
#ifdef _WIN32
    return _fseeki64(file, 0, SEEK_END) == 0;
#else
    return fseeko(file, 0, SEEK_END) == 0;
#endif
}

long long tellOffset(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<long long>(ftello(file));
#endif
}

// Opens a regular file for reading. Elsewhere than on Windows the open cannot
// block (a FIFO without a writer would wait forever) and anything that is not
// a regular file is refused: a FIFO, a socket, a device or a directory.
std::FILE* openRegularFile(const std::string& path) {
#ifdef _WIN32
    return std::fopen(path.c_str(), "rb");
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    // Reads then behave as those of a file opened without O_NONBLOCK.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
#endif
}

}  // namespace

bool readFileBytes(const std::string& path, std::string& bytes) {
    bytes.clear();
    std::FILE* file = openRegularFile(path);
    if (file == nullptr) return false;
    // The first block is one byte larger than the file, so a file that does not
    // change while it is read is read by one call; one that grows is still read
    // to its end. What the size query reports for something that is not a
    // regular file (a directory reports nonsense) is only trusted up to a limit.
    constexpr long long kTrustedSize =
        std::min<long long>(1LL << 40, static_cast<long long>(std::numeric_limits<std::size_t>::max() / 2));
    std::size_t block = 1 << 16;
    if (seekToEnd(file)) {
        const long long end = tellOffset(file);
        if (end > 0 && end < kTrustedSize) block = static_cast<std::size_t>(end) + 1;
        std::rewind(file);
    }
    bool ok = true;
    try {
        std::size_t filled = 0;
        for (;;) {
            bytes.resize(filled + block);
            const std::size_t got = std::fread(bytes.data() + filled, 1, block, file);
            filled += got;
            if (got < block) {
                ok = std::ferror(file) == 0;
                break;
            }
            block = 1 << 20;
        }
        bytes.resize(filled);
    } catch (const std::exception&) {  // no memory for the file's bytes
        ok = false;
    }
    std::fclose(file);
    if (!ok) std::string().swap(bytes);
    return ok;
}
