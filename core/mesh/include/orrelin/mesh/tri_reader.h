#pragma once
// The .tri reader: a pure parser over a byte buffer, the validation of what it
// read, and the file read that feeds it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orrelin/mesh/mesh_types.h"

// A byte offset that names no place in the input.
inline constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

// What the parser saw besides the records themselves. Either flag makes the
// file invalid: such values would otherwise load as infinities or wrap into
// valid-looking vertex indices. The offsets say where the first such number's
// text begins in the input.
struct TriangleParseFlags {
    bool nonFiniteCoordinate = false;  // a coordinate that is not finite as a 32-bit float
    bool indexOutOfRange = false;      // an index that does not fit a signed 32-bit integer
    std::size_t firstNonFiniteAt = kNoOffset;
    std::size_t firstOutOfRangeIndexAt = kNoOffset;
};

// Reads the triangle records of `data[0, size)` and appends them to `vertices`
// and `indices`. Every lower-case 'v' starts a vertex (two numbers of at most
// 8 characters each), every lower-case 'f' a triangle (three decimal integers);
// every other byte is skipped. A number that cannot be read keeps the value
// last read into its place, and so does every later number of the same record.
// Independent of the C locale. `data` may be null when `size` is 0.
// Large inputs are read in pieces side by side, with the same result.
TriangleParseFlags parseTriangleData(const char* data, std::size_t size, std::vector<Point2>& vertices,
                                     std::vector<std::uint32_t>& indices);

// parseTriangleData with the input cut into at most `pieces` pieces (each
// beginning at a record letter) read on up to `threads` threads (0: as many as
// the machine has). The result is the same for any numbers. Requires: pieces >= 1.
TriangleParseFlags parseTriangleDataInPieces(const char* data, std::size_t size, std::vector<Point2>& vertices,
                                             std::vector<std::uint32_t>& indices, std::size_t pieces, unsigned threads);

// One coordinate typed alone, read as a vertex record reads its numbers: white
// space, then at most 8 characters of a decimal number (what follows is
// ignored). False, with `out` unchanged, when no number starts there or its
// value lies beyond the float range.
bool readCoordinate(std::string_view text, float& out);

// True when the arrays read from a file form a usable mesh: at least one vertex,
// a non-zero multiple of three indices, every index below the vertex count, and
// neither flag raised.
bool validateFileMesh(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices,
                      const TriangleParseFlags& flags);

// Why the records read from a file do not form a usable mesh.
enum class MeshFault {
    None,
    EmptyFile,             // the file has no bytes
    NoVertex,              // no vertex record
    NoTriangle,            // vertices but no triangle record
    PartialTriangle,       // an index count that is not a multiple of three (arrays not read by the parser)
    IndexNamesNoVertex,    // the first index not below the vertex count
    CoordinateOutOfRange,  // the first coordinate beyond the 32-bit float range
    IndexOutOfRange,       // the first index beyond the signed 32-bit range
};

struct MeshRefusal {
    MeshFault fault = MeshFault::None;
    std::size_t line = 0;         // 1-based line of the number at fault; 0 for a fault of the whole file
    std::int32_t index = 0;       // IndexNamesNoVertex: the index as the file writes it
    std::size_t vertexCount = 0;  // the number of vertices read
};

// Why validateFileMesh refuses what parseTriangleData read from data[0, size)
// into the (at first empty) arrays with `flags`; MeshFault::None exactly when
// it accepts them. Of the faults of single numbers the one earliest in the
// data is given; the faults of the whole file come before them.
MeshRefusal refuseFileMesh(const char* data, std::size_t size, const std::vector<Point2>& vertices,
                           const std::vector<std::uint32_t>& indices, const TriangleParseFlags& flags);

// The refusal as one English sentence, such as "Line 7: index 12 names no
// vertex (the file has 9)."; empty for MeshFault::None.
std::string refusalText(const MeshRefusal& refusal);

// Reads the whole file into `bytes`: in one read when its size stays what it
// was when it was opened, in further reads while it grows. Only regular files
// are read; anything else (a folder, a FIFO, a socket, a device) is refused at
// once without waiting. False when the file cannot be opened or read, or its
// bytes do not fit in memory.
bool readFileBytes(const std::string& path, std::string& bytes);
