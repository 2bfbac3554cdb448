#pragma once
// Generated triangle meshes as .tri text: a kind, an exact triangle count and
// a seed give the same bytes on every platform.
//
// Every kind is a lattice of cells, two triangles per cell, laid out row by row
// from the bottom; the last row is cut short so that the count comes out exact.
// Only the column lines, the row lines and the jitter differ between the kinds:
//   grid      evenly spaced lines, every inner vertex jittered by up to 1/8 cell;
//   density   column and row lines drawn together around a few centres, so the
//             cell size varies by a factor of 16 along each axis;
//   slivers   one row of cells (more only when the columns would get too thin)
//             whose triangles run from the bottom edge to the top edge;
//   holes     a square grid whose cells inside two circles are left out (every
//             row full; the cells are taken in order until the count is met).
// The text holds every vertex ("v X Y"), then every triangle ("f A B C",
// 0-based), one record a line, inside the square [0, 1000] x [0, 1000].

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

enum class MeshKind { Grid, Density, Slivers, Holes };

// Triangle t is addressed by the 32-bit offset 3t, which bounds the count.
inline constexpr std::uint64_t kMaxGeneratedTriangles = 0xFFFFFFFFull / 3;

// The most triangles generateMeshText makes in memory (the page's limit).
inline constexpr std::uint64_t kMaxTrianglesInMemory = 2'000'000;

// The kind named "grid", "density", "slivers" or "holes"; false for any other name.
bool meshKindFromName(std::string_view name, MeshKind& kind);

// The name of a kind, as meshKindFromName reads it.
const char* meshKindName(MeshKind kind);

// Receives the text in consecutive pieces, with the number of records written
// so far and in all. Returning false stops the generation.
using MeshTextSink = std::function<bool(std::string_view piece, std::uint64_t recordsDone, std::uint64_t recordsTotal)>;

// Hands the text of the mesh of `triangles` triangles to `sink`, piece by
// piece. False when the sink stopped it. Requires: 1 <= triangles <=
// kMaxGeneratedTriangles.
bool writeGeneratedMesh(MeshKind kind, std::uint64_t triangles, std::uint64_t seed, const MeshTextSink& sink);

enum class GenerateResult { Done, CountOutOfRange, Cancelled };

// The whole text in `text`, for 1 to kMaxTrianglesInMemory triangles; a count
// outside that range is refused before any work. `progress`, when set, is
// called with the records done and in all after each piece and cancels the
// generation by returning false (`text` is then empty). May throw
// std::bad_alloc.
GenerateResult generateMeshText(MeshKind kind, std::uint64_t triangles, std::uint64_t seed, std::string& text,
                                const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress = {});
