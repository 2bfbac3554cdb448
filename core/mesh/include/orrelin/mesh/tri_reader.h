#pragma once
// The .tri reader: a pure parser over a byte buffer, the validation of what it
// read, and the file read that feeds it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orrelin/mesh/mesh_types.h"

// What the parser saw besides the records themselves. Either flag makes the
// file invalid: such values would otherwise load as infinities or wrap into
// valid-looking vertex indices.
struct TriangleParseFlags {
    bool nonFiniteCoordinate = false;  // a coordinate that is not finite as a 32-bit float
    bool indexOutOfRange = false;      // an index that does not fit a signed 32-bit integer
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

// Reads the whole file into `bytes`: in one read when its size stays what it
// was when it was opened, in further reads while it grows. Only regular files
// are read; anything else (a folder, a FIFO, a socket, a device) is refused at
// once without waiting. False when the file cannot be opened or read, or its
// bytes do not fit in memory.
bool readFileBytes(const std::string& path, std::string& bytes);
